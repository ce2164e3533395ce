// walkcheck.exe: walks the network through the router as a client would and
// prints what each level gives, to check the provider against its world.
//   walkcheck [--count N] [--buffer BYTES] [--again] [--quiet] [--program [--send]]
// --count: entries asked per request (default 1); --buffer: the client's
// buffer (default 16384); --again: ask once more after an error, to see the
// level go on; --quiet: print only the totals.
// --program: the benchmark's baseline, the router calls exactly as the
// program's walk makes them (container usage, one entry per request into one
// zeroed 16384-byte block per level, only the first top-level entry, the
// program's test for entering a container) and nothing else; prints items
// (computers) and ms. --send: besides, one synchronous TVM_INSERTITEM per
// computer into a tree, drawing off, owned by a second thread that runs a
// message loop: what the walk cannot do without under Wine.
#include <windows.h>
#include <winnetwk.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

DWORD g_count = 1;
DWORD g_buffer = 16384;
bool g_again = false;
bool g_quiet = false;
unsigned long g_items = 0;

void PrintName(const char* name)
{
    if (!name) {
        std::printf("(null)");
        return;
    }
    const size_t length = std::strlen(name);
    if (length > 64)
        std::printf("'%.8s...' (%zu chars)", name, length);
    else
        std::printf("'%s'", name);
}

void Walk(NETRESOURCEA* container, int depth)
{
    HANDLE handle;
    DWORD r = WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, &handle);
    if (r != NO_ERROR) {
        if (!g_quiet)
            std::printf("%*sopen -> %lu\n", depth * 2, "", r);
        return;
    }
    std::vector<char> buffer(g_buffer);
    bool retried = false;
    for (;;) {
        DWORD count = g_count, size = g_buffer;
        r = WNetEnumResourceA(handle, &count, buffer.data(), &size);
        if (r != NO_ERROR) {
            if (!g_quiet)
                std::printf("%*s-> %lu\n", depth * 2, "", r);
            if (r != ERROR_NO_MORE_ITEMS && g_again && !retried) {
                retried = true;
                continue;
            }
            break;
        }
        // Each record is walked from a copy: the buffer is reused at once.
        std::vector<char> copy(buffer.begin(), buffer.begin() + g_buffer);
        NETRESOURCEA* records = reinterpret_cast<NETRESOURCEA*>(copy.data());
        for (DWORD i = 0; i < count; ++i) {
            NETRESOURCEA& e = records[i];
            ++g_items;
            if (!g_quiet) {
                std::printf("%*s", depth * 2, "");
                PrintName(e.lpRemoteName);
                std::printf(" display=%lu usage=0x%lx\n", e.dwDisplayType, e.dwUsage);
            }
            if ((e.dwUsage & RESOURCEUSAGE_CONTAINER) && e.dwDisplayType != RESOURCEDISPLAYTYPE_SERVER)
                Walk(&e, depth + 1);
        }
    }
    WNetCloseEnum(handle);
}

// --program --send: the tree and the thread that owns it.
HWND g_tree = nullptr;
HANDLE g_treeReady = nullptr;

DWORD WINAPI TreeThread(LPVOID)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    // Hidden: a window of ours must not make the program's repaint.
    g_tree = CreateWindowExA(0, "SysTreeView32", "walkcheck", WS_OVERLAPPEDWINDOW, 0, 0, 300, 400,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (g_tree)
        SendMessageA(g_tree, WM_SETREDRAW, FALSE, 0);
    SetEvent(g_treeReady);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

// One level as the program walks it.
void WalkLikeProgram(NETRESOURCEA* container)
{
    HANDLE handle;
    if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, container, &handle) != NO_ERROR)
        return;
    HGLOBAL memory = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 16384);
    if (!memory) {
        WNetCloseEnum(handle);
        return;
    }
    char* buffer = static_cast<char*>(memory);
    std::memset(buffer, 0, 16384);
    NETRESOURCEA* entry = reinterpret_cast<NETRESOURCEA*>(buffer);
    for (bool first = true;; first = false) {
        DWORD count = 1, size = 16384;
        if (WNetEnumResourceA(handle, &count, buffer, &size) != NO_ERROR || count == 0)
            break;
        if (container && entry->dwDisplayType == RESOURCEDISPLAYTYPE_SERVER) {
            ++g_items;
            if (g_tree) {
                const char* name = entry->lpRemoteName ? entry->lpRemoteName : "";
                TVINSERTSTRUCTA tvis = {};
                tvis.hParent = TVI_ROOT;
                tvis.hInsertAfter = TVI_LAST;
                tvis.item.mask = TVIF_TEXT | TVIF_PARAM;
                tvis.item.pszText = const_cast<char*>(name[0] == '\\' && name[1] ? name + 2 : name);
                SendMessageA(g_tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tvis));
            }
        }
        if (entry->dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK ||
            (entry->dwUsage == RESOURCEUSAGE_CONTAINER && entry->dwDisplayType != RESOURCEDISPLAYTYPE_SERVER))
            WalkLikeProgram(entry);
        if (!container && first)
            break;   // the first top-level entry only
    }
    WNetCloseEnum(handle);
    GlobalFree(memory);
}

double MsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

int RunLikeProgram(bool send)
{
    if (send) {
        g_treeReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        CreateThread(nullptr, 0, &TreeThread, nullptr, 0, nullptr);
        WaitForSingleObject(g_treeReady, INFINITE);
        if (!g_tree) {
            std::fprintf(stderr, "walkcheck: no tree window\n");
            return 1;
        }
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    WalkLikeProgram(nullptr);
    const double ms = MsSince(start);
    std::printf("items: %lu\n", g_items);
    std::printf("ms: %.1f\n", ms);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool program = false, send = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--count") && i + 1 < argc)
            g_count = std::strtoul(argv[++i], nullptr, 0);
        else if (!std::strcmp(argv[i], "--buffer") && i + 1 < argc)
            g_buffer = std::strtoul(argv[++i], nullptr, 0);
        else if (!std::strcmp(argv[i], "--again"))
            g_again = true;
        else if (!std::strcmp(argv[i], "--quiet"))
            g_quiet = true;
        else if (!std::strcmp(argv[i], "--program"))
            program = true;
        else if (!std::strcmp(argv[i], "--send"))
            send = true;
        else {
            std::fprintf(stderr, "usage: walkcheck [--count N] [--buffer BYTES] [--again] [--quiet] [--program [--send]]\n");
            return 2;
        }
    }
    if (program)
        return RunLikeProgram(send);
    const DWORD start = GetTickCount();
    Walk(nullptr, 0);
    std::printf("items: %lu\n", g_items);
    if (g_quiet)
        std::printf("ms: %lu\n", GetTickCount() - start);
    return 0;
}
