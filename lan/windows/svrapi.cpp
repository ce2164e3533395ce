// svrapi.dll for Wine: the 9x NetShareEnum at level 1, answered by the
// helper from the real network, written into the caller's buffer as 9x
// share_info_1 records with their remarks after them, in the ANSI code page.
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>
#include "lan/windows/client.h"
#define _SVRAPI_   // we are the DLL: define the functions, do not import them
#include <svrapi.h>

namespace {

// UTF-8 to the ANSI code page; `exact` tells whether every character has a
// form there (else the code page's default character stands in).
std::string Ansi(const std::string& utf8, bool* exact)
{
    const std::wstring wide = lanclient::Wide(utf8);
    *exact = true;
    if (wide.empty())
        return std::string();
    BOOL defaulted = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, &defaulted);
    if (n <= 0) {
        *exact = false;
        return std::string();
    }
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], n, nullptr, &defaulted);
    out.resize(static_cast<size_t>(n) - 1);
    *exact = !defaulted;
    return out;
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
// counted in the total, and ERROR_MORE_DATA says there are more. As a real
// server does in this old reply, a share whose name a 9x client could not
// address is left out: one longer than the record's 12 characters (in the
// code page's bytes, so no character is ever cut in two), or one with a
// character the code page lacks.
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
    if (status == lanclient::kNoHelper)
        return ERROR_NO_NETWORK;
    if (status)
        return static_cast<API_RET_TYPE>(status);

    size_t front = 0, back = size;
    unsigned short fitted = 0, all = 0;
    for (const lanproto::Record& r : records) {
        if (all == 0xFFFF)
            break;
        bool exact = true, unused = true;
        const std::string shareName = Ansi(r[0], &exact);
        if (!exact || shareName.empty() || shareName.size() >= sizeof(share_info_1::shi1_netname))
            continue;
        ++all;
        const std::string remark = Ansi(r[2], &unused);
        uint32_t type = 0;
        lanproto::ParseType(r[1], &type);   // checked when the reply was read
        const size_t need = sizeof(share_info_1) + remark.size() + 1;
        if (fitted != all - 1 || front + need > back)
            continue;   // once one does not fit, the rest are only counted
        share_info_1 out = {};
        std::memcpy(out.shi1_netname, shareName.c_str(), shareName.size() + 1);
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
