// ferrolan.dll: a network provider for Wine's router (mpr) that lists the
// real network through the helper: the workgroups at its top, a workgroup's
// computers, a computer's shares. Each level is asked for when it is opened;
// a level that cannot be listed fails to open with the code Windows gives
// for an unreachable network.
#include <windows.h>
#include <winnetwk.h>
#include <lm.h>
extern "C" {
#include <npapi.h>
}
#include <cstring>
#include <string>
#include <vector>
#include "lan/client.h"

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

// What a level lists; 0, or the code its opening fails with.
DWORD List(const NETRESOURCEW* container, std::vector<Entry>* entries)
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
    if (status == ERROR_ACCESS_DENIED)
        return WN_ACCESS_DENIED;
    if (status != 0)
        return WN_NO_NETWORK;
    for (const lanproto::Record& r : records) {
        Entry e = {RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, {}, {}};
        std::wstring text;
        if (!lanclient::Wide(r[0], &text) || !lanclient::Wide(r.back(), &e.comment))
            return WN_NO_NETWORK;
        if (verb == Verb::Workgroups) {
            e.remote = text;
        } else if (verb == Verb::Servers) {
            e.display = RESOURCEDISPLAYTYPE_SERVER;
            e.remote = L"\\\\" + text;
        } else {
            // Hidden shares stay hidden, as on Windows.
            if (EndsWithDollar(r[0]))
                continue;
            uint32_t type = 0;
            lanproto::ParseType(r[1], &type);
            e.type = type == STYPE_PRINTQ ? RESOURCETYPE_PRINT : type == STYPE_DISKTREE ? RESOURCETYPE_DISK
                                                                                         : RESOURCETYPE_ANY;
            e.display = RESOURCEDISPLAYTYPE_SHARE;
            e.usage = RESOURCEUSAGE_CONNECTABLE;
            const std::wstring server = container->lpRemoteName;
            e.remote = server + L"\\" + text;
        }
        entries->push_back(std::move(e));
    }
    return WN_SUCCESS;
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

__declspec(dllexport) DWORD WINAPI NPOpenEnum(DWORD scope, DWORD, DWORD, LPNETRESOURCEW container, LPHANDLE handle)
{
    if (!handle)
        return WN_BAD_POINTER;
    if (scope != RESOURCE_GLOBALNET)
        return WN_NOT_SUPPORTED;
    Enumeration* e = new Enumeration;
    if (container && container->lpProvider)
        e->provider = container->lpProvider;
    const DWORD status = List(container, &e->entries);
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
    // Records from the front of the buffer, their strings from the back.
    BYTE* front = static_cast<BYTE*>(buffer);
    BYTE* back = front + *size;
    auto bytes = [](const std::wstring& s) { return (s.size() + 1) * sizeof(wchar_t); };
    while (given < wanted && e->pos < e->entries.size()) {
        const Entry& entry = e->entries[e->pos];
        const size_t bare = sizeof(NETRESOURCEW) + bytes(entry.remote) + bytes(e->provider);
        // A comment too long for the buffer is left out rather than the entry.
        const bool withComment = front + bare + bytes(entry.comment) <= back;
        if (front + bare > back)
            break;
        auto put = [&back](const std::wstring& s) {
            back -= (s.size() + 1) * sizeof(wchar_t);
            std::memcpy(back, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
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
        r->lpComment = withComment ? put(entry.comment) : nullptr;
        ++given;
        ++e->pos;
    }
    *count = given;
    if (given)
        return WN_SUCCESS;
    if (e->pos >= e->entries.size())
        return WN_NO_MORE_ENTRIES;
    // Not even the name fits. Wine's router cannot take ERROR_MORE_DATA
    // from a provider, so the entry is skipped with a provider error.
    ++e->pos;
    return WN_EXTENDED_ERROR;
}

__declspec(dllexport) DWORD WINAPI NPCloseEnum(HANDLE handle)
{
    delete static_cast<Enumeration*>(handle);
    return WN_SUCCESS;
}

} // extern "C"
