// ferronp.dll: a network provider that serves the test world's "providers".
// Wine's router (mpr) loads it once per registered provider; the provider a
// call is for comes from the record's lpProvider, and every record we hand
// out carries its node's index in lpComment so deeper levels find it again.
#include <windows.h>
#include <winnetwk.h>
extern "C" {
#include <npapi.h>
}
#include <nlohmann/json.hpp>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Node {
    bool hasRemote = false;
    std::wstring remote;
    DWORD display = RESOURCEDISPLAYTYPE_GENERIC;
    DWORD usage = 0;
    DWORD delayMs = 0;
    long failAfter = -1;
    DWORD failCode = 0;
    DWORD openError = 0;
    std::vector<size_t> children;   // indices into g_nodes
    std::wstring provider;          // name of the provider this node is under
};

std::vector<Node> g_nodes;
std::vector<size_t> g_providers;   // node index of each provider, world order
std::once_flag g_loaded;

std::wstring Widen(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// "{i}" is the entry's 1-based number among its generated siblings, "{p}" its
// parent's; a width may follow a colon: "{i:03}".
std::string Expand(const std::string& pattern, size_t i, size_t p)
{
    std::string out;
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (pattern[k] == '{' && k + 2 < pattern.size() && (pattern[k + 1] == 'i' || pattern[k + 1] == 'p')) {
            const size_t close = pattern.find('}', k);
            if (close != std::string::npos) {
                const size_t value = pattern[k + 1] == 'i' ? i : p;
                std::string spec = pattern.substr(k + 2, close - k - 2);
                char buf[32];
                if (!spec.empty() && spec[0] == ':')
                    std::snprintf(buf, sizeof buf, ("%" + spec.substr(1) + "zu").c_str(), value);
                else
                    std::snprintf(buf, sizeof buf, "%zu", value);
                out += buf;
                k = close;
                continue;
            }
        }
        out += pattern[k];
    }
    return out;
}

size_t AddNode(const nlohmann::json& j, const std::wstring& provider, size_t index, size_t parentIndex);

void AddEntries(Node& parentCopyTarget, size_t parent, const nlohmann::json& entries, const std::wstring& provider,
                size_t parentIndex)
{
    (void)parentCopyTarget;
    if (!entries.is_array())
        return;
    for (const auto& e : entries) {
        if (e.contains("generate")) {
            const auto& g = e["generate"];
            const size_t count = g.value("count", 0);
            for (size_t i = 1; i <= count; ++i) {
                const size_t child = AddNode(g, provider, i, parentIndex);
                g_nodes[parent].children.push_back(child);
            }
        } else {
            const size_t child = AddNode(e, provider, 0, parentIndex);
            g_nodes[parent].children.push_back(child);
        }
    }
}

size_t AddNode(const nlohmann::json& j, const std::wstring& provider, size_t index, size_t parentIndex)
{
    Node n;
    if (j.contains("remote") && j["remote"].is_string()) {
        n.hasRemote = true;
        std::string remote = j["remote"].get<std::string>();
        if (index)
            remote = Expand(remote, index, parentIndex);
        if (j.contains("repeat") && j["repeat"].is_number())
            remote = std::string(j["repeat"].get<size_t>(), remote.empty() ? 'X' : remote[0]);
        n.remote = Widen(remote);
    }
    n.display = j.value("display", 0u);
    n.usage = j.value("usage", 0u);
    n.delayMs = j.value("delay_ms", 0u);
    n.openError = j.value("open_error", 0u);
    if (j.contains("fail") && j["fail"].is_object()) {
        n.failAfter = j["fail"].value("after", -1L);
        n.failCode = j["fail"].value("code", 0u);
    }
    n.provider = provider;
    g_nodes.push_back(n);
    const size_t self = g_nodes.size() - 1;
    if (j.contains("entries"))
        AddEntries(g_nodes[self], self, j["entries"], provider, index);
    return self;
}

std::string WorldPath()
{
    char path[MAX_PATH * 4] = {};
    const DWORD n = GetEnvironmentVariableA("FERROLINK_WORLD", path, sizeof path);
    return n && n < sizeof path ? std::string(path) : std::string();
}

void Load()
{
    std::ifstream in(WorldPath());
    if (!in)
        return;
    nlohmann::json world = nlohmann::json::parse(in, nullptr, false);
    if (world.is_discarded() || !world.contains("providers") || !world["providers"].is_array())
        return;
    g_nodes.reserve(1024);
    for (const auto& p : world["providers"]) {
        const std::wstring name = Widen(p.value("name", std::string()));
        Node top;
        top.hasRemote = true;
        top.remote = name;
        top.display = RESOURCEDISPLAYTYPE_NETWORK;
        top.usage = RESOURCEUSAGE_CONTAINER;
        top.openError = p.value("open_error", 0u);
        top.delayMs = p.value("delay_ms", 0u);
        if (p.contains("fail") && p["fail"].is_object()) {
            top.failAfter = p["fail"].value("after", -1L);
            top.failCode = p["fail"].value("code", 0u);
        }
        top.provider = name;
        g_nodes.push_back(top);
        const size_t self = g_nodes.size() - 1;
        g_providers.push_back(self);
        if (p.contains("entries"))
            AddEntries(g_nodes[self], self, p["entries"], name, 0);
    }
}

struct Enumeration {
    size_t node;
    size_t pos = 0;
};

const wchar_t kTag[] = L"ferro:";

} // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI NPGetCaps(DWORD index)
{
    switch (index) {
    case WNNC_SPEC_VERSION: return WNNC_SPEC_VERSION51;
    case WNNC_NET_TYPE: return 0x00FE0000;
    case WNNC_ENUMERATION: return WNNC_ENUM_GLOBAL;
    case WNNC_START: return 1;
    }
    return 0;
}

__declspec(dllexport) DWORD WINAPI NPOpenEnum(DWORD, DWORD, DWORD, LPNETRESOURCEW res, LPHANDLE handle)
{
    std::call_once(g_loaded, Load);
    if (!handle)
        return WN_BAD_POINTER;
    size_t node = static_cast<size_t>(-1);
    if (res && res->lpComment && wcsncmp(res->lpComment, kTag, 6) == 0) {
        node = wcstoul(res->lpComment + 6, nullptr, 10);
    } else if (res && !res->lpRemoteName && res->lpProvider) {
        for (size_t p : g_providers)
            if (g_nodes[p].remote == res->lpProvider)
                node = p;
    } else if (!res && g_providers.size() == 1) {
        node = g_providers[0];
    }
    if (node >= g_nodes.size())
        return WN_BAD_VALUE;
    if (g_nodes[node].openError)
        return g_nodes[node].openError;
    *handle = new Enumeration{node};
    return WN_SUCCESS;
}

__declspec(dllexport) DWORD WINAPI NPEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size)
{
    Enumeration* e = static_cast<Enumeration*>(handle);
    if (!e || !count || !buffer || !size)
        return WN_BAD_POINTER;
    const Node& level = g_nodes[e->node];
    if (level.delayMs)
        Sleep(level.delayMs);
    DWORD wanted = *count ? *count : 1;
    DWORD given = 0;
    BYTE* front = static_cast<BYTE*>(buffer);
    BYTE* back = front + *size;
    while (given < wanted && e->pos < level.children.size()) {
        if (level.failAfter >= 0 && e->pos == static_cast<size_t>(level.failAfter))
            break;
        const size_t index = level.children[e->pos];
        const Node& n = g_nodes[index];
        const std::wstring tag = kTag + std::to_wstring(index);
        const size_t strings = (tag.size() + 1 + n.provider.size() + 1 + (n.hasRemote ? n.remote.size() + 1 : 0)) *
                               sizeof(wchar_t);
        if (front + sizeof(NETRESOURCEW) + strings > back)
            break;
        NETRESOURCEW* r = reinterpret_cast<NETRESOURCEW*>(front);
        front += sizeof(NETRESOURCEW);
        auto put = [&](const std::wstring& s) {
            back -= (s.size() + 1) * sizeof(wchar_t);
            memcpy(back, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
            return reinterpret_cast<LPWSTR>(back);
        };
        ZeroMemory(r, sizeof *r);
        r->dwScope = RESOURCE_GLOBALNET;
        r->dwType = RESOURCETYPE_ANY;
        r->dwDisplayType = n.display;
        r->dwUsage = n.usage;
        r->lpComment = put(tag);
        r->lpProvider = put(n.provider);
        r->lpRemoteName = n.hasRemote ? put(n.remote) : nullptr;
        ++given;
        ++e->pos;
    }
    *count = given;
    if (given)
        return WN_SUCCESS;
    if (level.failAfter >= 0 && e->pos == static_cast<size_t>(level.failAfter)) {
        ++e->pos;   // the failure is reported once, then the level goes on
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
