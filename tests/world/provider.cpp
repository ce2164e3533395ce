// ferronp.dll: a network provider that serves the test world's "providers".
// Wine's router (mpr) loads it once per registered provider; the provider a
// top-level call is for comes from lpProvider, and every record we hand out
// carries its node's index in lpComment ("ferro:N"), so deeper levels find
// their container even when names are NULL or repeated. The tree is built
// once per process, each level's entries when the level is first opened: a
// world of 10,000 computers costs no more to open than a small one, and each
// request costs the same in a big world as in a small one.
#include <windows.h>
#include <winnetwk.h>
extern "C" {
#include <npapi.h>
}
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <string>
#include <vector>
#include "world_file.h"

namespace {

struct Node {
    bool hasRemote = false;
    std::wstring remote;
    DWORD display = RESOURCEDISPLAYTYPE_GENERIC;
    DWORD usage = 0;
    DWORD delayMs = 0;
    long failAfter = -1;            // entries before the failure; -1: none
    DWORD failCode = 0;
    DWORD openError = 0;
    std::vector<size_t> children;   // indices into g_nodes
    size_t provider = 0;            // index of the provider node above
    // The entries not yet made into children, and this node's number among
    // generated siblings (0: not generated).
    const nlohmann::json* entries = nullptr;
    size_t number = 0;
};

// Grows while a walk goes on: a deque keeps references to nodes valid, and
// the lock keeps its inner map whole.
std::deque<Node> g_nodes;
std::vector<size_t> g_providers;   // node index of each provider, world order
WorldLock g_lock;

const wchar_t kTag[] = L"ferro:";
const size_t kTagLength = 6;

// "{i}" is the entry's 1-based number among its generated siblings, "{p}" its
// generated parent's; a zero-padded width may follow a colon: "{i:03}".
std::string Expand(const std::string& pattern, size_t i, size_t p)
{
    std::string out;
    for (size_t k = 0; k < pattern.size(); ++k) {
        const size_t close = pattern.find('}', k);
        if (pattern[k] == '{' && close != std::string::npos && close > k + 1 &&
            (pattern[k + 1] == 'i' || pattern[k + 1] == 'p')) {
            const std::string width = pattern.substr(k + 2, close - k - 2);
            bool digits = width.empty() || (width[0] == ':' && width.size() > 1);
            for (size_t d = 1; digits && d < width.size(); ++d)
                digits = std::isdigit(static_cast<unsigned char>(width[d])) != 0;
            if (digits) {
                char buf[32];
                const int w = width.empty() ? 0 : std::atoi(width.c_str() + 1);
                std::snprintf(buf, sizeof buf, "%0*zu", w, pattern[k + 1] == 'i' ? i : p);
                out += buf;
                k = close;
                continue;
            }
        }
        out += pattern[k];
    }
    return out;
}

void ReadFail(const nlohmann::json& j, Node& n)
{
    if (j.contains("fail") && j["fail"].is_object()) {
        n.failAfter = j["fail"].value("after", -1L);
        n.failCode = j["fail"].value("code", 0u);
    }
}

size_t AddNode(const nlohmann::json& j, size_t provider, size_t number, size_t parentNumber);

// A level's entries, made when it is opened; {"generate": {"count": N,
// ...entry...}} stands for N entries.
void AddEntries(size_t parent)
{
    const nlohmann::json* list = g_nodes[parent].entries;
    g_nodes[parent].entries = nullptr;
    if (!list || !list->is_array())
        return;
    const nlohmann::json& entries = *list;
    const size_t provider = g_nodes[parent].provider;
    const size_t parentNumber = g_nodes[parent].number;
    for (const auto& e : entries) {
        if (!e.is_object())
            continue;
        if (e.contains("generate") && e["generate"].is_object()) {
            const size_t count = e["generate"].value("count", 0u);
            for (size_t i = 1; i <= count; ++i) {
                const size_t child = AddNode(e["generate"], provider, i, parentNumber);
                g_nodes[parent].children.push_back(child);
            }
        } else {
            const size_t child = AddNode(e, provider, 0, parentNumber);
            g_nodes[parent].children.push_back(child);
        }
    }
}

// `number` is the entry's number among generated siblings (0: not generated).
size_t AddNode(const nlohmann::json& j, size_t provider, size_t number, size_t parentNumber)
{
    Node n;
    if (j.contains("remote") && j["remote"].is_string()) {
        n.hasRemote = true;
        std::string remote = j["remote"].get<std::string>();
        if (number)
            remote = Expand(remote, number, parentNumber);
        // "repeat": N makes the name N copies of its first character.
        if (j.contains("repeat") && j["repeat"].is_number_unsigned())
            remote = std::string(j["repeat"].get<size_t>(), remote.empty() ? 'X' : remote[0]);
        n.remote = WideFromUtf8(remote);
    }
    n.display = j.value("display", 0u);
    n.usage = j.value("usage", 0u);
    n.delayMs = j.value("delay_ms", 0u);
    ReadFail(j, n);
    n.provider = provider;
    n.number = number;
    if (j.contains("entries"))
        n.entries = &j["entries"];
    g_nodes.push_back(n);
    return g_nodes.size() - 1;
}

void Load()
{
    const nlohmann::json& world = World();
    if (!world.is_object() || !world.contains("providers") || !world["providers"].is_array())
        return;
    for (const auto& p : world["providers"]) {
        if (!p.is_object())
            continue;
        Node top;
        top.hasRemote = true;
        top.remote = WideFromUtf8(p.value("name", std::string()));
        top.display = RESOURCEDISPLAYTYPE_NETWORK;
        top.usage = RESOURCEUSAGE_CONTAINER;
        top.openError = p.value("open_error", 0u);
        top.delayMs = p.value("delay_ms", 0u);
        ReadFail(p, top);
        top.provider = g_nodes.size();
        if (p.contains("entries"))
            top.entries = &p["entries"];
        g_nodes.push_back(top);
        g_providers.push_back(top.provider);
    }
}

// The node a client's record stands for; g_nodes.size() when none.
size_t FindNode(const NETRESOURCEW* res)
{
    const size_t none = g_nodes.size();
    if (!res)
        return g_providers.size() == 1 ? g_providers[0] : none;
    if (res->lpComment && wcsncmp(res->lpComment, kTag, kTagLength) == 0) {
        const size_t index = wcstoul(res->lpComment + kTagLength, nullptr, 10);
        return index < none ? index : none;
    }
    size_t provider = none;
    for (size_t p : g_providers)
        if (res->lpProvider && g_nodes[p].remote == res->lpProvider)
            provider = p;
    if (provider == none || !res->lpRemoteName)
        return provider;
    // A record the client made up: the first container of that name among
    // the levels opened so far.
    for (size_t i = provider; i < none; ++i)
        if (g_nodes[i].provider == provider && g_nodes[i].hasRemote && g_nodes[i].remote == res->lpRemoteName)
            return i;
    return none;
}

struct Enumeration {
    size_t node;
    size_t pos = 0;
    bool failed = false;   // the level's failure has been reported

    // Whether the next request is the one that fails; a failure counted past
    // the last entry comes in place of the end.
    bool FailsNow(const Node& level) const
    {
        return level.failAfter >= 0 && !failed &&
               pos == std::min(level.children.size(), static_cast<size_t>(level.failAfter));
    }
};

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI NPGetCaps(DWORD index)
{
    switch (index) {
    case WNNC_SPEC_VERSION: return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE: return 0x00FE0000;   // an unassigned network type
    case WNNC_ENUMERATION: return WNNC_ENUM_GLOBAL;
    case WNNC_START: return 1;
    }
    return 0;
}

__declspec(dllexport) DWORD WINAPI NPOpenEnum(DWORD, DWORD, DWORD, LPNETRESOURCEW res, LPHANDLE handle)
{
    static const bool loaded = (Load(), true);
    (void)loaded;
    if (!handle)
        return WN_BAD_POINTER;
    Locked lock(g_lock);
    const size_t node = FindNode(res);
    if (node >= g_nodes.size())
        return WN_BAD_VALUE;
    if (g_nodes[node].openError)
        return g_nodes[node].openError;
    AddEntries(node);
    *handle = new Enumeration{node};
    return WN_SUCCESS;
}

__declspec(dllexport) DWORD WINAPI NPEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size)
{
    Enumeration* e = static_cast<Enumeration*>(handle);
    if (!e || !count || !buffer || !size)
        return WN_BAD_POINTER;
    DWORD delay;
    {
        Locked lock(g_lock);
        delay = g_nodes[e->node].delayMs;
    }
    if (delay)
        Sleep(delay);
    Locked lock(g_lock);
    const Node& level = g_nodes[e->node];
    const DWORD wanted = *count ? *count : 1;
    DWORD given = 0;
    // Records from the front of the buffer, their strings from the back.
    BYTE* front = static_cast<BYTE*>(buffer);
    BYTE* back = front + *size;
    while (given < wanted && e->pos < level.children.size()) {
        if (e->FailsNow(level))
            break;
        const size_t index = level.children[e->pos];
        const Node& n = g_nodes[index];
        const std::wstring tag = kTag + std::to_wstring(index);
        const std::wstring& provider = g_nodes[n.provider].remote;
        const size_t strings =
            (tag.size() + 1 + provider.size() + 1 + (n.hasRemote ? n.remote.size() + 1 : 0)) * sizeof(wchar_t);
        if (front + sizeof(NETRESOURCEW) + strings > back)
            break;
        auto put = [&back](const std::wstring& s) {
            back -= (s.size() + 1) * sizeof(wchar_t);
            memcpy(back, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
            return reinterpret_cast<LPWSTR>(back);
        };
        NETRESOURCEW* r = reinterpret_cast<NETRESOURCEW*>(front);
        front += sizeof(NETRESOURCEW);
        ZeroMemory(r, sizeof *r);
        r->dwScope = RESOURCE_GLOBALNET;
        r->dwType = RESOURCETYPE_ANY;
        r->dwDisplayType = n.display;
        r->dwUsage = n.usage;
        r->lpComment = put(tag);
        r->lpProvider = put(provider);
        r->lpRemoteName = n.hasRemote ? put(n.remote) : nullptr;
        ++given;
        ++e->pos;
    }
    *count = given;
    if (given)
        return WN_SUCCESS;
    if (e->FailsNow(level)) {
        e->failed = true;   // reported once; asked again, the level goes on
        return level.failCode;
    }
    if (e->pos >= level.children.size())
        return WN_NO_MORE_ENTRIES;
    // The entry does not fit even alone. Wine's router cannot take
    // ERROR_MORE_DATA from a provider, so skip it with a provider error.
    ++e->pos;
    return WN_EXTENDED_ERROR;
}

__declspec(dllexport) DWORD WINAPI NPCloseEnum(HANDLE handle)
{
    delete static_cast<Enumeration*>(handle);
    return WN_SUCCESS;
}

} // extern "C"
