// ferrolan.dll: a network provider for Wine's router (mpr) that lists the
// real network through the helper: the workgroups at its top, a workgroup's
// computers, a computer's shares. Each level is asked for when it is opened;
// a level that cannot be listed fails to open with the code Windows gives:
// 53 for a computer that cannot be reached, 6118 for a workgroup whose
// browser cannot be found, 5 for access denied, 1222 when there is no
// network at all (no helper).
#include <windows.h>
#include <winnetwk.h>
#include <lm.h>
extern "C" {
#include <npapi.h>
}
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "lan/windows/client.h"

namespace {

using lanproto::Verb;

struct Entry {
    DWORD type, display, usage;
    std::wstring remote, comment;
};

struct Enumeration {
    std::wstring provider;   // the name the router knows us by
    std::vector<Entry> entries;
    size_t pos = 0;
};

bool EndsWithDollar(const std::string& name)
{
    return !name.empty() && name.back() == '$';
}

// Whether an entry is one the caller asked for: containers are listed
// whatever the type (they hold resources of every type), shares only of
// the type asked for; the usage asked for, if any, must be the entry's.
bool Wanted(const Entry& e, DWORD type, DWORD usage)
{
    if (usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER)) {
        if (!(e.usage & usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER)))
            return false;
    }
    return type == RESOURCETYPE_ANY || (e.usage & RESOURCEUSAGE_CONTAINER) || e.type == type;
}

// What a level lists; 0, or the code its opening fails with.
DWORD List(const NETRESOURCEW* container, DWORD type, DWORD usage, std::vector<Entry>* entries)
{
    Verb verb = Verb::Workgroups;
    std::string name;
    if (container && container->lpRemoteName) {
        std::wstring remote = container->lpRemoteName;
        if (remote.compare(0, 2, L"\\\\") == 0) {
            remote.erase(0, 2);
            // A share is no container.
            if (remote.empty() || remote.find(L'\\') != std::wstring::npos)
                return WN_BAD_VALUE;
            verb = Verb::Shares;
        } else {
            verb = Verb::Servers;
        }
        name = lanclient::Utf8(remote.c_str());
    }
    std::vector<lanproto::Record> records;
    const uint32_t status = lanclient::Ask(verb, name, &records);
    if (status == lanclient::kNoHelper)
        return WN_NO_NETWORK;
    if (status != 0)
        return status;
    for (const lanproto::Record& r : records) {
        Entry e = {RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, {}, lanclient::Wide(r.back())};
        const std::wstring text = lanclient::Wide(r[0]);
        if (verb == Verb::Workgroups) {
            e.remote = text;
        } else if (verb == Verb::Servers) {
            e.display = RESOURCEDISPLAYTYPE_SERVER;
            e.remote = L"\\\\" + text;
        } else {
            // Hidden shares stay hidden, as on Windows.
            if (EndsWithDollar(r[0]))
                continue;
            uint32_t shareType = 0;
            lanproto::ParseType(r[1], &shareType);
            e.type = shareType == STYPE_PRINTQ    ? RESOURCETYPE_PRINT
                     : shareType == STYPE_DISKTREE ? RESOURCETYPE_DISK
                                                   : RESOURCETYPE_ANY;
            e.display = RESOURCEDISPLAYTYPE_SHARE;
            e.usage = RESOURCEUSAGE_CONNECTABLE;
            e.remote = std::wstring(container->lpRemoteName) + L"\\" + text;
        }
        if (Wanted(e, type, usage))
            entries->push_back(std::move(e));
    }
    return WN_SUCCESS;
}

// The router's WNetSetLastErrorW, stdcall as the router exports it (the
// headers declare it otherwise); the router is loaded, as it loaded us.
void SetProviderError(DWORD code, const wchar_t* text, const std::wstring& provider)
{
    using SetLastErrorFn = VOID(WINAPI*)(DWORD, LPWSTR, LPWSTR);
    HMODULE mpr = ::GetModuleHandleA("mpr.dll");
    auto set = mpr ? reinterpret_cast<SetLastErrorFn>(reinterpret_cast<void*>(::GetProcAddress(mpr, "WNetSetLastErrorW")))
                   : nullptr;
    if (set)
        set(code, const_cast<LPWSTR>(text), const_cast<LPWSTR>(provider.c_str()));
}

size_t Bytes(const std::wstring& s)
{
    return (s.size() + 1) * sizeof(wchar_t);
}

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI FerrolinkLan()
{
    return 0x4C414E;   // "LAN"
}

__declspec(dllexport) DWORD WINAPI NPGetCaps(DWORD index)
{
    switch (index) {
    case WNNC_SPEC_VERSION: return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE: return WNNC_NET_SMB;
    case WNNC_ENUMERATION: return WNNC_ENUM_GLOBAL;
    case WNNC_START: return 1;
    }
    return 0;
}

__declspec(dllexport) DWORD WINAPI NPOpenEnum(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEW container,
                                              LPHANDLE handle)
{
    if (!handle)
        return WN_BAD_POINTER;
    if (scope != RESOURCE_GLOBALNET)
        return WN_NOT_SUPPORTED;
    if (type != RESOURCETYPE_ANY && type != RESOURCETYPE_DISK && type != RESOURCETYPE_PRINT)
        return WN_BAD_VALUE;
    if (usage & ~static_cast<DWORD>(RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_ATTACHED))
        return WN_BAD_VALUE;
    Enumeration* e = new Enumeration;
    if (container && container->lpProvider)
        e->provider = container->lpProvider;
    const DWORD status = List(container, type, usage, &e->entries);
    if (status != WN_SUCCESS) {
        delete e;
        return status;
    }
    *handle = e;
    return WN_SUCCESS;
}

__declspec(dllexport) DWORD WINAPI NPEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size)
{
    Enumeration* e = static_cast<Enumeration*>(handle);
    if (!e || !count || !buffer || !size)
        return WN_BAD_POINTER;
    const DWORD wanted = *count ? *count : 1;
    DWORD given = 0;
    // Records from the front of the buffer, their strings from the back,
    // each on an even address, whatever the buffer's size.
    BYTE* front = static_cast<BYTE*>(buffer);
    BYTE* back = reinterpret_cast<BYTE*>(reinterpret_cast<uintptr_t>(front + *size) & ~static_cast<uintptr_t>(1));
    while (given < wanted && e->pos < e->entries.size()) {
        const Entry& entry = e->entries[e->pos];
        const size_t bare = sizeof(NETRESOURCEW) + Bytes(entry.remote) + Bytes(e->provider);
        const bool fits = front + bare + Bytes(entry.comment) <= back;
        // An entry ends the batch where it does not fit whole; only the
        // first of a batch goes without a comment too long for the buffer.
        if (!fits && (given > 0 || front + bare > back))
            break;
        auto put = [&back](const std::wstring& s) {
            back -= Bytes(s);
            std::memcpy(back, s.c_str(), Bytes(s));
            return reinterpret_cast<LPWSTR>(back);
        };
        NETRESOURCEW* r = reinterpret_cast<NETRESOURCEW*>(front);
        front += sizeof(NETRESOURCEW);
        ZeroMemory(r, sizeof *r);
        r->dwScope = RESOURCE_GLOBALNET;
        r->dwType = entry.type;
        r->dwDisplayType = entry.display;
        r->dwUsage = entry.usage;
        r->lpRemoteName = put(entry.remote);
        r->lpProvider = put(e->provider);
        r->lpComment = fits ? put(entry.comment) : nullptr;
        ++given;
        ++e->pos;
    }
    *count = given;
    if (given)
        return WN_SUCCESS;
    if (e->pos >= e->entries.size())
        return WN_NO_MORE_ENTRIES;
    // Not even the name fits. Wine's router cannot take ERROR_MORE_DATA
    // from a provider, so the entry is skipped with a provider error, whose
    // text the router keeps for WNetGetLastError.
    ++e->pos;
    SetProviderError(ERROR_MORE_DATA, L"An entry of the network is too long for the buffer", e->provider);
    return WN_EXTENDED_ERROR;
}

__declspec(dllexport) DWORD WINAPI NPCloseEnum(HANDLE handle)
{
    delete static_cast<Enumeration*>(handle);
    return WN_SUCCESS;
}

} // extern "C"
