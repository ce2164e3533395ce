// A scripted provider router in the process, played through the update's
// call table: it can give what Wine's router cannot (ERROR_MORE_DATA).
#pragma once
#include <windows.h>
#include <winnetwk.h>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct FakeNode {
    std::optional<std::string> remote;   // nullopt: lpRemoteName NULL
    DWORD display = RESOURCEDISPLAYTYPE_SERVER;
    DWORD usage = RESOURCEUSAGE_CONTAINER;
    std::vector<FakeNode> children;
    DWORD openError = 0;                 // what opening this container returns
    int failAfter = -1;                  // after that many entries ...
    DWORD failCode = 0;                  // ... the next request returns this
    DWORD delayMs = 0;                   // every request of this level waits
};

FakeNode Computer(const char* remote);
FakeNode Group(const char* remote, std::vector<FakeNode> children, DWORD display = RESOURCEDISPLAYTYPE_DOMAIN);
FakeNode Provider(const char* name, std::vector<FakeNode> children);

class FakeRouter {
public:
    // Installs itself into the update's call table; the destructor restores it.
    explicit FakeRouter(FakeNode top, bool threadStarts = true);
    ~FakeRouter();

    // Requests made so far (all levels).
    int requests() const { return s_requests; }
    int openHandles() const { return s_open; }

private:
    static DWORD APIENTRY Open(DWORD, DWORD, DWORD, LPNETRESOURCEA container, LPHANDLE handle);
    static DWORD APIENTRY Enum(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size);
    static DWORD APIENTRY Close(HANDLE handle);

    static FakeNode s_top;
    static std::vector<const FakeNode*> s_nodes;
    static std::atomic<int> s_requests;
    static std::atomic<int> s_open;
};
