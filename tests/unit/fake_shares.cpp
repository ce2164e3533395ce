#include "tests/unit/fake_shares.h"
#include <cstring>

namespace {
FakeShareService g_service;
const char kOutsideRemark[] = "not in the caller's buffer";

std::string Narrow(const wchar_t* w)
{
    char buf[4096] = {};
    ::WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf - 1, nullptr, nullptr);
    return buf;
}

bool ServerOk(const std::string& server)
{
    return !g_service.needsBackslashes || server.rfind("\\\\", 0) == 0;
}

NET_API_STATUS WINAPI FakeEnumNT(LMSTR server, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read, LPDWORD total,
                                 LPDWORD resume)
{
    FakeShareService& s = g_service;
    ++s.calls;
    s.serversSeen.push_back(Narrow(server));
    *buffer = nullptr;
    *read = 0;
    if (level != 1)
        return ERROR_INVALID_LEVEL;
    if (!ServerOk(s.serversSeen.back()))
        return NERR_InvalidComputer;
    if (s.status)
        return s.status;
    if (s.moreDataEmpty)
        return ERROR_MORE_DATA;
    const int pass = static_cast<int>(*resume);
    if (pass == s.failPass)
        return s.failCode;
    const size_t n = s.shares.size();
    const size_t per = (n + s.passes - 1) / (s.passes ? s.passes : 1);
    const size_t first = pass * per;
    const size_t last = pass + 1 >= s.passes ? n : std::min(n, first + per);
    std::vector<SHARE_INFO_1>* records = new std::vector<SHARE_INFO_1>();
    for (size_t i = first; i < last; ++i) {
        SHARE_INFO_1 r = {};
        r.shi1_netname = s.shares[i].name ? const_cast<wchar_t*>(s.shares[i].name->c_str()) : nullptr;
        r.shi1_type = s.shares[i].type;
        r.shi1_remark = s.shares[i].remark ? const_cast<wchar_t*>(s.shares[i].remark->c_str()) : nullptr;
        records->push_back(r);
    }
    // The vector itself stands at the start of the block so Free can find it.
    LPBYTE block = static_cast<LPBYTE>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(void*) + records->size() * sizeof(SHARE_INFO_1) + 1));
    std::memcpy(block, &records, sizeof(void*));
    if (!records->empty())
        std::memcpy(block + sizeof(void*), records->data(), records->size() * sizeof(SHARE_INFO_1));
    *buffer = block + sizeof(void*);
    *read = static_cast<DWORD>(records->size());
    *total = static_cast<DWORD>(n);
    if (last < n) {
        *resume = pass + 1;
        return ERROR_MORE_DATA;
    }
    *resume = 0;
    return NERR_Success;
}

NET_API_STATUS WINAPI FakeFree(LPVOID buffer)
{
    LPBYTE block = static_cast<LPBYTE>(buffer) - sizeof(void*);
    std::vector<SHARE_INFO_1>* records;
    std::memcpy(&records, block, sizeof(void*));
    delete records;
    ::HeapFree(::GetProcessHeap(), 0, block);
    return NERR_Success;
}

DWORD WINAPI FakeEnum9x(const char* server, short level, char* buffer, unsigned short size, unsigned short* read,
                        unsigned short* total)
{
    FakeShareService& s = g_service;
    ++s.calls;
    s.serversSeen.push_back(server);
    *read = 0;
    *total = 0;
    if (level != 1)
        return ERROR_INVALID_LEVEL;
    if (!ServerOk(server))
        return NERR_InvalidComputer;
    if (s.status)
        return s.status;
    // Records from the front, remarks from the back, as many as fit.
    size_t front = 0, back = size;
    unsigned short fitted = 0;
    for (const FakeShare& share : s.shares) {
        const std::string remark = share.remark ? Narrow(share.remark->c_str()) : std::string();
        if (front + sizeof(ShareInfo1_9x) + remark.size() + 1 > back)
            break;
        ShareInfo1_9x r = {};
        const std::string name = share.name ? Narrow(share.name->c_str()) : std::string();
        if (s.nameUnterminated)
            std::memset(r.shi1_netname, 'N', sizeof r.shi1_netname);
        else
            lstrcpynA(r.shi1_netname, name.c_str(), sizeof r.shi1_netname);
        r.shi1_type = static_cast<unsigned short>(share.type);
        back -= remark.size() + 1;
        std::memcpy(buffer + back, remark.c_str(), remark.size() + 1);
        r.shi1_remark = s.remarkOutside ? const_cast<char*>(kOutsideRemark) : buffer + back;
        std::memcpy(buffer + front, &r, sizeof r);
        front += sizeof r;
        ++fitted;
    }
    *read = static_cast<unsigned short>(fitted + s.countLie);
    *total = static_cast<unsigned short>(s.shares.size());
    return fitted < s.shares.size() ? ERROR_MORE_DATA : NERR_Success;
}
} // namespace

FakeShareService& Shares()
{
    return g_service;
}

void InstallFakeShares(CFerrolinkDlg& dlg, bool nt)
{
    g_service = FakeShareService();
    dlg.m_pfnNetShareEnumNT = nt ? &FakeEnumNT : nullptr;
    dlg.m_pfnNetApiBufferFree = nt ? &FakeFree : nullptr;
    // The fake's strings live outside its block: it tells no size.
    dlg.m_pfnNetApiBufferSize = nullptr;
    dlg.m_pfnNetShareEnum9x = nt ? nullptr : &FakeEnum9x;
}
