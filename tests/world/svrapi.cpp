// svrapi.dll of the test world: the 9x NetShareEnum at level 1, writing
// share_info_1 records into the caller's buffer, remarks after them.
#include "world_file.h"
#include <cstring>
#include <string>
#define _SVRAPI_   // we are the DLL: define the functions, do not import them
#include <svrapi.h>

namespace {

const char kOutside[] = "a remark outside the caller's buffer";

std::string Ansi(const std::string& utf8)
{
    const std::wstring w = WideFromUtf8(utf8);
    if (w.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI FerrolinkFixture()
{
    return 0x3958;   // "9X"
}

// Knobs: "name_unterminated" (13 name bytes, no terminator), "remark_outside"
// (remark pointers outside the buffer), "entries_read": n (the count claims n).
__declspec(dllexport) API_RET_TYPE WINAPI NetShareEnum(const char* server, short level, char* buffer,
                                                       unsigned short size, unsigned short* read, unsigned short* total)
{
    if (!read || !total || !buffer)
        return ERROR_INVALID_PARAMETER;
    *read = 0;
    *total = 0;
    if (level != 1)
        return ERROR_INVALID_LEVEL;
    const std::string name = server ? server : "";
    const nlohmann::json* c = FindComputer(name);
    if (!c)
        return ERROR_BAD_NETPATH;
    if (const DWORD refusal = ServerRefusal(*c, name))
        return refusal;
    const bool unterminated = c->value("name_unterminated", false);
    const bool outside = c->value("remark_outside", false);

    size_t front = 0, back = size;
    unsigned short fitted = 0, all = 0;
    if (c->contains("shares") && (*c)["shares"].is_array()) {
        for (const auto& s : (*c)["shares"]) {
            ++all;
            std::string shareName, remark;
            ShareText(s, "name", &shareName);
            const bool hasRemark = ShareText(s, "remark", &remark);
            shareName = Ansi(shareName);
            remark = Ansi(remark);
            const size_t need = sizeof(share_info_1) + (hasRemark ? remark.size() + 1 : 0);
            if (fitted != all - 1 || front + need > back)
                continue;   // once one does not fit, the rest are only counted
            share_info_1 r = {};
            if (unterminated)
                std::memset(r.shi1_netname, 'N', sizeof r.shi1_netname);
            else
                lstrcpynA(r.shi1_netname, shareName.c_str(), sizeof r.shi1_netname);
            r.shi1_type = static_cast<unsigned short>(s.value("type", 0u));
            if (hasRemark) {
                back -= remark.size() + 1;
                std::memcpy(buffer + back, remark.c_str(), remark.size() + 1);
                r.shi1_remark = outside ? const_cast<char*>(kOutside) : buffer + back;
            }
            std::memcpy(buffer + front, &r, sizeof r);
            front += sizeof r;
            ++fitted;
        }
    }
    *read = static_cast<unsigned short>(c->value("entries_read", static_cast<unsigned>(fitted)));
    *total = all;
    return fitted < all ? ERROR_MORE_DATA : NERR_Success;
}

} // extern "C"
