// svrapi.dll for Wine: the 9x NetShareEnum at level 1, answered by the
// helper from the real network, written into the caller's buffer as 9x
// share_info_1 records with their remarks after them, in the ANSI code page.
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>
#include "lan/client.h"
#define _SVRAPI_   // we are the DLL: define the functions, do not import them
#include <svrapi.h>

namespace {

// UTF-8 to the ANSI code page, with the code page's default character for
// what it cannot show; false for text that is not UTF-8.
bool Ansi(const std::string& utf8, std::string* out)
{
    std::wstring wide;
    if (!lanclient::Wide(utf8, &wide))
        return false;
    out->clear();
    if (wide.empty())
        return true;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return false;
    out->resize(static_cast<size_t>(n));
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &(*out)[0], n, nullptr, nullptr);
    out->resize(static_cast<size_t>(n) - 1);
    return true;
}

// The ANSI code page to UTF-8, for the helper.
std::string Utf8FromAnsi(const std::string& ansi)
{
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    if (n <= 1)
        return std::string();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], n);
    return lanclient::Utf8(wide.c_str());
}

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI FerrolinkLan()
{
    return 0x4C414E;   // "LAN"
}

// As many records as the buffer holds, with their remarks; the rest are
// counted in the total, and ERROR_MORE_DATA says there are more. A name
// longer than the record's 12 characters is cut.
__declspec(dllexport) API_RET_TYPE WINAPI NetShareEnum(const char* server, short level, char* buffer,
                                                       unsigned short size, unsigned short* read, unsigned short* total)
{
    if (!read || !total || !buffer)
        return ERROR_INVALID_PARAMETER;
    *read = 0;
    *total = 0;
    if (level != 1)
        return ERROR_INVALID_LEVEL;
    std::string name = server ? server : "";
    if (name.compare(0, 2, "\\\\") == 0)
        name.erase(0, 2);
    std::vector<lanproto::Record> records;
    const uint32_t status =
        lanclient::Ask(lanproto::Verb::Shares, name.empty() ? "127.0.0.1" : Utf8FromAnsi(name), &records);
    if (status == lanclient::kUnreachable)
        return ERROR_BAD_NETPATH;
    if (status)
        return static_cast<API_RET_TYPE>(status);

    size_t front = 0, back = size;
    unsigned short fitted = 0, all = 0;
    for (const lanproto::Record& r : records) {
        if (all == 0xFFFF)
            break;
        ++all;
        std::string shareName, remark;
        uint32_t type = 0;
        if (!Ansi(r[0], &shareName) || !Ansi(r[2], &remark) || !lanproto::ParseType(r[1], &type))
            return ERROR_BAD_NETPATH;
        const size_t need = sizeof(share_info_1) + remark.size() + 1;
        if (fitted != all - 1 || front + need > back)
            continue;   // once one does not fit, the rest are only counted
        share_info_1 out = {};
        lstrcpynA(out.shi1_netname, shareName.c_str(), sizeof out.shi1_netname);
        out.shi1_type = static_cast<unsigned short>(type);
        back -= remark.size() + 1;
        std::memcpy(buffer + back, remark.c_str(), remark.size() + 1);
        out.shi1_remark = buffer + back;
        std::memcpy(buffer + front, &out, sizeof out);
        front += sizeof out;
        ++fitted;
    }
    *read = fitted;
    *total = all;
    return fitted < all ? ERROR_MORE_DATA : NERR_Success;
}

} // extern "C"
