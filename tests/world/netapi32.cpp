// netapi32.dll of the test world: NetShareEnum at level 1,
// NetApiBufferFree and NetApiBufferSize, serving the world's computers. Every buffer ends exactly
// at an inaccessible page, so a read past a record or a string faults.
#include <windows.h>
#include <lm.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "world_file.h"

namespace {

// A block of `size` bytes whose last byte is followed by a guard page.
BYTE* GuardedAlloc(size_t size)
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    const size_t pages = (size + page - 1) / page + 1;
    BYTE* base = static_cast<BYTE*>(VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!base)
        return nullptr;
    DWORD old;
    VirtualProtect(base + (pages - 1) * page, page, PAGE_NOACCESS, &old);
    return base + (pages - 1) * page - size;
}

// Readable, but not in any buffer the service hands out.
const wchar_t kOutside[] = L"outside the buffer";

std::string Narrow(const wchar_t* w)
{
    if (!w)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

struct Share {
    bool hasName, hasRemark;
    std::wstring name, remark;
    DWORD type;
};

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI FerrolinkFixture()
{
    return 0x4E54;   // "NT"
}

__declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer)
{
    if (!buffer)
        return NERR_Success;
    MEMORY_BASIC_INFORMATION mbi;
    if (!VirtualQuery(buffer, &mbi, sizeof mbi))
        return ERROR_INVALID_PARAMETER;
    VirtualFree(mbi.AllocationBase, 0, MEM_RELEASE);
    return NERR_Success;
}

// The bytes from `buffer` to the end of its block (the guard page).
__declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferSize(LPVOID buffer, LPDWORD size)
{
    MEMORY_BASIC_INFORMATION mbi;
    if (!buffer || !size || !VirtualQuery(buffer, &mbi, sizeof mbi) || mbi.State != MEM_COMMIT)
        return ERROR_INVALID_PARAMETER;
    *size = static_cast<DWORD>(static_cast<BYTE*>(mbi.BaseAddress) + mbi.RegionSize - static_cast<BYTE*>(buffer));
    return NERR_Success;
}

// A computer the world does not have gets ERROR_BAD_NETPATH (53). Knobs beyond
// the shares: "more_data_empty" (every pass says ERROR_MORE_DATA and delivers
// nothing), "fail_pass": {"pass": k, "code": c} (0-based pass k fails),
// "entries_read": n (the count read claims n), "remark_outside" (remark
// pointers outside the buffer).
__declspec(dllexport) NET_API_STATUS WINAPI NetShareEnum(LMSTR server, DWORD level, LPBYTE* bufptr, DWORD,
                                                          LPDWORD read, LPDWORD total, LPDWORD resume)
{
    if (!bufptr || !read || !total)
        return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    *read = 0;
    *total = 0;
    if (level != 1)
        return ERROR_INVALID_LEVEL;
    const std::string name = Narrow(server);
    const nlohmann::json* c = FindComputer(name);
    if (!c)
        return ERROR_BAD_NETPATH;
    if (const DWORD refusal = ServerRefusal(*c, name))
        return refusal;
    if (c->value("more_data_empty", false))
        return ERROR_MORE_DATA;

    std::vector<Share> shares;
    if (c->contains("shares") && (*c)["shares"].is_array()) {
        for (const auto& s : (*c)["shares"]) {
            Share share = {};
            std::string text;
            share.hasName = ShareText(s, "name", &text);
            share.name = WideFromUtf8(text);
            share.hasRemark = ShareText(s, "remark", &text);
            share.remark = WideFromUtf8(text);
            share.type = s.value("type", 0u);
            shares.push_back(share);
        }
    }
    const DWORD pass = resume ? *resume : 0;
    const nlohmann::json failPass = c->value("fail_pass", nlohmann::json::object());
    if (failPass.is_object() && failPass.value("pass", -1) == static_cast<int>(pass))
        return failPass.value("code", 5u);
    const size_t passes = std::max<size_t>(1, c->value("passes", 1u));
    const size_t per = (shares.size() + passes - 1) / passes;
    const size_t first = std::min<size_t>(shares.size(), pass * per);
    const size_t last = pass + 1 >= passes ? shares.size() : std::min(shares.size(), first + per);

    size_t strings = 0;
    for (size_t i = first; i < last; ++i)
        strings += (shares[i].hasName ? shares[i].name.size() + 1 : 0) + (shares[i].hasRemark ? shares[i].remark.size() + 1 : 0);
    const bool outside = c->value("remark_outside", false);
    const DWORD claimed = c->value("entries_read", static_cast<unsigned>(last - first));
    // Records first, strings last, as the system lays them out; the strings
    // end at the guard page, so reading past one, or past the buffer for a
    // count that lies, faults.
    const size_t records = (last - first) * sizeof(SHARE_INFO_1);
    const size_t text = strings * sizeof(wchar_t);
    const size_t align = alignof(SHARE_INFO_1);
    const size_t size = std::max<size_t>(1, records + text + (align - (records + text) % align) % align);
    BYTE* block = GuardedAlloc(size);
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    BYTE* end = block + size;
    SHARE_INFO_1* out = reinterpret_cast<SHARE_INFO_1*>(block);
    wchar_t* next = reinterpret_cast<wchar_t*>(end - text);
    auto put = [&next](const std::wstring& s) {
        std::memcpy(next, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
        wchar_t* at = next;
        next += s.size() + 1;
        return at;
    };
    for (size_t i = first; i < last; ++i) {
        SHARE_INFO_1& r = out[i - first];
        r.shi1_type = shares[i].type;
        r.shi1_netname = shares[i].hasName ? put(shares[i].name) : nullptr;
        r.shi1_remark = shares[i].hasRemark ? put(shares[i].remark) : nullptr;
        if (outside)
            r.shi1_remark = const_cast<wchar_t*>(kOutside);
    }
    *bufptr = block;
    *read = claimed;
    *total = static_cast<DWORD>(shares.size());
    if (last < shares.size()) {
        if (resume)
            *resume = pass + 1;
        return ERROR_MORE_DATA;
    }
    if (resume)
        *resume = 0;
    return NERR_Success;
}

} // extern "C"
