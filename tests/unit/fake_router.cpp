#include "tests/unit/fake_router.h"
#include <cstring>
#include <functional>
#include "net/net_update.h"

FakeNode FakeRouter::s_top;
std::vector<const FakeNode*> FakeRouter::s_nodes;
std::atomic<int> FakeRouter::s_requests{0};
std::atomic<int> FakeRouter::s_open{0};

namespace {
struct Level {
    const FakeNode* node;
    size_t pos;
};

CWinThread* NoThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES)
{
    return nullptr;
}
} // namespace

FakeNode Computer(const char* remote)
{
    FakeNode n;
    if (remote)
        n.remote = remote;
    return n;
}

FakeNode Group(const char* remote, std::vector<FakeNode> children, DWORD display)
{
    FakeNode n;
    if (remote)
        n.remote = remote;
    n.display = display;
    n.children = std::move(children);
    return n;
}

FakeNode Provider(const char* name, std::vector<FakeNode> children)
{
    FakeNode n = Group(name, std::move(children), RESOURCEDISPLAYTYPE_NETWORK);
    n.usage = RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_RESERVED;
    return n;
}

FakeRouter::FakeRouter(FakeNode top, bool threadStarts)
{
    s_top = std::move(top);
    s_nodes.clear();
    std::function<void(const FakeNode&)> index = [&](const FakeNode& n) {
        s_nodes.push_back(&n);
        for (const auto& c : n.children)
            index(c);
    };
    index(s_top);
    s_requests = 0;
    s_open = 0;
    NetUpdateCalls calls = DefaultNetUpdateCalls();
    calls.openEnum = &Open;
    calls.enumResource = &Enum;
    calls.closeEnum = &Close;
    if (!threadStarts)
        calls.beginThread = &NoThread;
    g_netCalls = calls;
}

FakeRouter::~FakeRouter()
{
    g_netCalls = DefaultNetUpdateCalls();
}

DWORD APIENTRY FakeRouter::Open(DWORD, DWORD, DWORD, LPNETRESOURCEA container, LPHANDLE handle)
{
    const FakeNode* node = &s_top;
    if (container) {
        // The record carries its node's index in lpComment, which the walk
        // never reads.
        if (!container->lpComment || container->lpComment[0] != '#')
            return ERROR_INVALID_PARAMETER;
        node = s_nodes.at(std::strtoul(container->lpComment + 1, nullptr, 10));
    }
    if (node->openError)
        return node->openError;
    *handle = new Level{node, 0};
    ++s_open;
    return NO_ERROR;
}

DWORD APIENTRY FakeRouter::Enum(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size)
{
    ++s_requests;
    Level* level = static_cast<Level*>(handle);
    const FakeNode& node = *level->node;
    if (node.delayMs)
        ::Sleep(node.delayMs);
    if (node.failAfter >= 0 && level->pos == static_cast<size_t>(node.failAfter)) {
        *count = 0;
        return node.failCode;
    }
    if (level->pos >= node.children.size()) {
        *count = 0;
        return ERROR_NO_MORE_ITEMS;
    }
    const FakeNode& child = node.children[level->pos];
    size_t index = 0;
    while (s_nodes[index] != &child)
        ++index;
    const std::string comment = "#" + std::to_string(index);
    const size_t need = sizeof(NETRESOURCEA) + comment.size() + 1 + (child.remote ? child.remote->size() + 1 : 0);
    if (need > *size) {
        *size = static_cast<DWORD>(need);
        return ERROR_MORE_DATA;
    }
    ++level->pos;
    NETRESOURCEA* rec = static_cast<NETRESOURCEA*>(buffer);
    std::memset(rec, 0, sizeof *rec);
    rec->dwScope = RESOURCE_GLOBALNET;
    rec->dwDisplayType = child.display;
    rec->dwUsage = child.usage;
    char* strings = reinterpret_cast<char*>(rec + 1);
    std::memcpy(strings, comment.c_str(), comment.size() + 1);
    rec->lpComment = strings;
    strings += comment.size() + 1;
    if (child.remote) {
        std::memcpy(strings, child.remote->c_str(), child.remote->size() + 1);
        rec->lpRemoteName = strings;
    }
    *count = 1;
    return NO_ERROR;
}

DWORD APIENTRY FakeRouter::Close(HANDLE handle)
{
    delete static_cast<Level*>(handle);
    --s_open;
    return NO_ERROR;
}
