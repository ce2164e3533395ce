// netapi32.dll for Wine: NetShareEnum at level 1 answered by the helper
// from the real network, NetApiBufferFree and NetApiBufferSize. Wine's own
// answers 50 for any remote server. Without a helper the answer is Windows'
// for no network at all, 1222.
#include <windows.h>
#include <lm.h>
#include <cstring>
#include <string>
#include <vector>
#include "lan/windows/client.h"

namespace {

// Every buffer we hand out starts with its size, so NetApiBufferSize can
// tell it and NetApiBufferFree gives back the whole block.
struct Header {
    SIZE_T size;
    SIZE_T pad;   // keeps what follows aligned for any record
};

BYTE* Allocate(size_t size)
{
    Header* h = static_cast<Header*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Header) + size));
    if (!h)
        return nullptr;
    h->size = size;
    return reinterpret_cast<BYTE*>(h + 1);
}

Header* HeaderOf(LPVOID buffer)
{
    return static_cast<Header*>(buffer) - 1;
}

struct Share {
    std::wstring name, remark;
    DWORD type;
};

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI FerrolinkLan()
{
    return 0x4C414E;   // "LAN"
}

__declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer)
{
    if (buffer)
        ::HeapFree(::GetProcessHeap(), 0, HeaderOf(buffer));
    return NERR_Success;
}

__declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferSize(LPVOID buffer, LPDWORD size)
{
    if (!buffer || !size)
        return ERROR_INVALID_PARAMETER;
    *size = static_cast<DWORD>(HeaderOf(buffer)->size);
    return NERR_Success;
}

// The shares from the first the resume handle names; as many as
// `preferred` bytes hold (at least one), the rest after ERROR_MORE_DATA.
__declspec(dllexport) NET_API_STATUS WINAPI NetShareEnum(LMSTR server, DWORD level, LPBYTE* bufptr, DWORD preferred,
                                                          LPDWORD read, LPDWORD total, LPDWORD resume)
{
    if (!bufptr || !read || !total)
        return ERROR_INVALID_PARAMETER;
    *bufptr = nullptr;
    *read = 0;
    *total = 0;
    if (level != 1)
        return ERROR_INVALID_LEVEL;
    std::wstring name = server ? server : L"";
    if (name.compare(0, 2, L"\\\\") == 0)
        name.erase(0, 2);
    if (name.empty())
        name = L"127.0.0.1";   // the local machine's own server
    std::vector<lanproto::Record> records;
    const uint32_t status = lanclient::Ask(lanproto::Verb::Shares, lanclient::Utf8(name.c_str()), &records);
    if (status == lanclient::kNoHelper)
        return ERROR_NO_NETWORK;
    if (status)
        return status;

    std::vector<Share> shares;
    for (const lanproto::Record& r : records) {
        Share s;
        s.name = lanclient::Wide(r[0]);
        s.remark = lanclient::Wide(r[2]);
        uint32_t type = 0;
        lanproto::ParseType(r[1], &type);   // checked when the reply was read
        s.type = type;
        shares.push_back(std::move(s));
    }
    const size_t first = resume ? *resume : 0;
    if (first > shares.size())
        return ERROR_INVALID_PARAMETER;
    auto need = [](const Share& s) {
        return sizeof(SHARE_INFO_1) + (s.name.size() + 1 + s.remark.size() + 1) * sizeof(wchar_t);
    };
    size_t last = first, bytes = 0;
    while (last < shares.size() &&
           (preferred == MAX_PREFERRED_LENGTH || last == first || bytes + need(shares[last]) <= preferred))
        bytes += need(shares[last++]);

    BYTE* block = Allocate(bytes ? bytes : 1);
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    SHARE_INFO_1* out = reinterpret_cast<SHARE_INFO_1*>(block);
    wchar_t* next = reinterpret_cast<wchar_t*>(block + (last - first) * sizeof(SHARE_INFO_1));
    auto put = [&next](const std::wstring& s) {
        std::memcpy(next, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
        wchar_t* at = next;
        next += s.size() + 1;
        return at;
    };
    for (size_t i = first; i < last; ++i) {
        out[i - first].shi1_netname = put(shares[i].name);
        out[i - first].shi1_type = shares[i].type;
        out[i - first].shi1_remark = put(shares[i].remark);
    }
    *bufptr = block;
    *read = static_cast<DWORD>(last - first);
    *total = static_cast<DWORD>(shares.size());
    if (resume)
        *resume = last < shares.size() ? static_cast<DWORD>(last) : 0;
    return last < shares.size() ? ERROR_MORE_DATA : NERR_Success;
}

} // extern "C"
