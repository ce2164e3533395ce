#include "net/net_update.h"
#include "app/ferrolink_dlg.h"
#include "res/resource.h"
#include "framework/late_module.h"
#include "framework/proc_address.h"
#include <cstring>

const UINT g_netUpdateNotifyMsg = ::RegisterWindowMessageA("Message_net_update_notify");
std::atomic<int> g_updateRunning{0};
std::atomic<int> g_stopRequested{0};

namespace {

// Raised when the main window is destroyed: the second condition of every
// stop test.
std::atomic<int> g_windowClosing{0};

const DWORD kBufferSize = 16384;

bool StopTest()
{
    return g_stopRequested || g_windowClosing;
}

// The record's remote name, read only inside the buffer and only up to its
// end: a router that hands back a pointer elsewhere gives an empty name.
const char* RemoteNameInBuffer(const NETRESOURCEA* entry, const char* buffer)
{
    const char* name = entry->lpRemoteName;
    if (!name || name < buffer || name >= buffer + kBufferSize)
        return nullptr;
    if (!std::memchr(name, '\0', buffer + kBufferSize - name))
        return nullptr;
    return name;
}

// Set once the main window is shown and waits for input, or is closing.
// Kept for the process, like the router.
HANDLE WindowReadyEvent()
{
    static const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// The tree the running walk fills, looked up at its first computer: under
// Wine each look-up is a call to the server. Worker only.
HWND g_walkTree = nullptr;

void InsertComputer(const char* remote)
{
    HWND main = g_mainWnd;
    if (!main || g_windowClosing)
        return;
    if (!g_walkTree)
        g_walkTree = ::GetDlgItem(main, IDC_TREE);
    HWND tree = g_walkTree;
    if (!tree)
        return;
    const CString text = ComputerNameFromRemote(remote);
    TVINSERTSTRUCTA tvis = {};
    tvis.hParent = TVI_ROOT;
    tvis.hInsertAfter = TVI_LAST;
    tvis.item.mask = TVIF_TEXT | TVIF_PARAM;
    tvis.item.pszText = const_cast<char*>(text.GetString());
    tvis.item.lParam = 0;
    ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tvis));
}

void ShowWalkError(const char* text)
{
    // Nobody is left to read a box once the window is going.
    if (!g_windowClosing)
        AfxMessageBox(text, MB_OK, 0);
}

bool IsEnterable(const NETRESOURCEA& entry)
{
    return entry.dwUsage == RESOURCEUSAGE_CONTAINER && entry.dwDisplayType != RESOURCEDISPLAYTYPE_SERVER;
}

// One request for one entry. A success that delivers no entry has nothing
// in the buffer to read: it ends the level like ERROR_NO_MORE_ITEMS.
DWORD Request(HANDLE handle, char* buffer)
{
    DWORD count = 1;
    DWORD size = kBufferSize;
    const DWORD result = g_netCalls.enumResource(handle, &count, buffer, &size);
    if (result == NO_ERROR && count == 0)
        return ERROR_NO_MORE_ITEMS;
    return result;
}

void WalkTop(HANDLE handle, char* buffer)
{
    const NETRESOURCEA* entry = reinterpret_cast<const NETRESOURCEA*>(buffer);
    if (Request(handle, buffer) != NO_ERROR)
        return;
    if (entry->dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK || IsEnterable(*entry))
        WalkNetwork(const_cast<NETRESOURCEA*>(entry));
    if (StopTest())
        return;
    if (g_osKind == 0x22 || g_osKind == 0x23) {
        if (Request(handle, buffer) != NO_ERROR)
            return;
        if (entry->dwDisplayType == RESOURCEDISPLAYTYPE_NETWORK || IsEnterable(*entry))
            WalkNetwork(const_cast<NETRESOURCEA*>(entry));
    }
}

void WalkContainer(HANDLE handle, char* buffer)
{
    const NETRESOURCEA* entry = reinterpret_cast<const NETRESOURCEA*>(buffer);
    DWORD result = Request(handle, buffer);
    if (result != NO_ERROR)
        return;
    for (;;) {
        if (StopTest())
            return;
        switch (result) {
        case NO_ERROR:
            break;
        case ERROR_MORE_DATA:
            ShowWalkError("ERROR_MORE_DATA");
            return;
        case ERROR_NO_NETWORK:
            ShowWalkError("ERROR_NO_NETWORK");
            return;
        case ERROR_EXTENDED_ERROR:
            ShowWalkError("ERROR_EXTENDED_ERROR");
            return;
        default:
            return;
        }
        if (entry->dwDisplayType == RESOURCEDISPLAYTYPE_SERVER)
            InsertComputer(RemoteNameInBuffer(entry, buffer));
        if (IsEnterable(*entry))
            WalkNetwork(const_cast<NETRESOURCEA*>(entry));
        if (StopTest())
            return;
        result = Request(handle, buffer);
        if (result == ERROR_NO_MORE_ITEMS)
            return;
    }
}

// The router's DLL is loaded by the first walk, on the worker, rather than
// with the program: under Wine loading MPR loads every network provider at
// once, which the window need not wait for. It stays loaded.
struct RouterEntries {
    HMODULE module = nullptr;
    decltype(&::WNetOpenEnumA) openEnum = nullptr;
    decltype(&::WNetEnumResourceA) enumResource = nullptr;
    decltype(&::WNetCloseEnum) closeEnum = nullptr;

    void Resolve()
    {
        openEnum = ProcAddress<decltype(openEnum)>(module, "WNetOpenEnumA");
        enumResource = ProcAddress<decltype(enumResource)>(module, "WNetEnumResourceA");
        closeEnum = ProcAddress<decltype(closeEnum)>(module, "WNetCloseEnum");
    }
    bool Complete() const { return openEnum && enumResource && closeEnum; }
};

CLateModule<RouterEntries> g_router("mpr.dll");

// Raised by the walk that found the router missing, for the window to say.
std::atomic<int> g_routerMissing{0};

// The completion message's wParam when the walk found no router.
const WPARAM kWalkFoundNoRouter = 1;

// Without the router (or one of its three calls) there is no network to walk.
DWORD APIENTRY RouterOpenEnum(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA container, LPHANDLE handle)
{
    bool loadedHere = false;
    const RouterEntries& router = g_router.Get(&loadedHere);
    if (!router.Complete()) {
        if (loadedHere)
            g_routerMissing = 1;
        return ERROR_NO_NETWORK;
    }
    return router.openEnum(scope, type, usage, container, handle);
}

DWORD APIENTRY RouterEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize)
{
    const auto call = g_router.Get().enumResource;
    return call ? call(handle, count, buffer, bufferSize) : ERROR_NO_NETWORK;
}

DWORD APIENTRY RouterCloseEnum(HANDLE handle)
{
    const auto call = g_router.Get().closeEnum;
    return call ? call(handle) : ERROR_NO_NETWORK;
}

} // namespace

NetUpdateCalls DefaultNetUpdateCalls()
{
    return {&RouterOpenEnum, &RouterEnumResource, &RouterCloseEnum, &AfxBeginThread};
}

NetUpdateCalls g_netCalls = DefaultNetUpdateCalls();

CString ComputerNameFromRemote(const char* remote)
{
    if (!remote)
        return CString();
    if (remote[0] == '\\')
        return remote[1] ? CString(remote + 2) : CString();
    return CString(remote);
}

void NetUpdateWindowClosing()
{
    g_windowClosing = 1;
    NetUpdateWindowReady();
}

void NetUpdateWindowOpening()
{
    g_windowClosing = 0;
    if (HANDLE ready = WindowReadyEvent())
        ::ResetEvent(ready);
}

void NetUpdateWindowReady()
{
    if (HANDLE ready = WindowReadyEvent())
        ::SetEvent(ready);
}

void WalkNetwork(LPNETRESOURCEA container)
{
    if (StopTest())
        return;
    HANDLE handle = nullptr;
    if (g_netCalls.openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, container, &handle) !=
        NO_ERROR)
        return;
    if (container && StopTest()) {
        g_netCalls.closeEnum(handle);
        return;
    }
    HGLOBAL memory = ::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kBufferSize);
    if (!memory) {
        g_netCalls.closeEnum(handle);
        return;
    }
    char* buffer = static_cast<char*>(memory);
    std::memset(buffer, 0, kBufferSize);
    if (container)
        WalkContainer(handle, buffer);
    else
        WalkTop(handle, buffer);
    g_netCalls.closeEnum(handle);
    ::GlobalFree(memory);
}

UINT NetUpdateThread(LPVOID)
{
    g_walkTree = nullptr;
    // The first walk begins while the window is still being shown. On one
    // processor its start (loading the router, which loads every network
    // provider, and the first requests) would hold that up: it waits until
    // the window first waits for input, half a second at most.
    if (HANDLE ready = WindowReadyEvent())
        ::WaitForSingleObject(ready, 500);
    WalkNetwork(nullptr);
    const WPARAM noRouter = g_routerMissing.exchange(0) ? kWalkFoundNoRouter : 0;
    HWND main = g_mainWnd;
    if (main && !g_windowClosing)
        ::SendMessageA(main, g_netUpdateNotifyMsg, noRouter, 0);
    g_updateRunning = 0;
    return 0;
}

void CFerrolinkDlg::OnScan()
{
    m_tree.SetFocus();
    if (g_updateRunning) {
        g_stopRequested = 1;
        SetStatusText("Stopping...", 255, 0);
        return;
    }
    g_stopRequested = 0;
    m_ignoreSelChange = 1;
    m_tree.DeleteAllItems();
    m_ignoreSelChange = 0;

    m_backButton.EnableWindow(TRUE);
    m_forwardButton.EnableWindow(TRUE);

    // Raised before the worker exists, so its lowering always comes after.
    g_updateRunning = 1;
    if (!g_netCalls.beginThread(&NetUpdateThread, AfxGetApp(), THREAD_PRIORITY_NORMAL, 0, 0, nullptr)) {
        g_updateRunning = 0;
        AfxMessageBox("Error", MB_OK, 0);
        return;
    }
    m_scanButton.EnableWindow(FALSE);
    ::EnableMenuItem(::GetSubMenu(GetMenu(), 0), ID_NET_UPDATE, MF_BYCOMMAND | MF_GRAYED);
    SetStatusText("Net update in progress...", 255, 0);
}

void CFerrolinkDlg::OnFirstIdle()
{
    NetUpdateWindowReady();
}

void CFerrolinkDlg::OnStop()
{
    m_tree.SetFocus();
    if (g_updateRunning) {
        g_stopRequested = 1;
        SetStatusText("Stopping...", 255, 0);
        m_tree.SetFocus();
    }
}

LRESULT CFerrolinkDlg::OnNetUpdateNotify(WPARAM wp, LPARAM)
{
    // The last computers show with the message that the walk is over.
    m_tree.DrawPendingInserts();
    // A system without the provider router has no network: said once, by
    // the walk that found it so, with the code a router gives for that. The
    // window owns the box, so nothing else can start meanwhile.
    if (wp == kWalkFoundNoRouter)
        MessageBox("ERROR_NO_NETWORK", nullptr, MB_OK);
    SetStatusText("Net update complete", 255, 0);
    m_scanButton.EnableWindow(TRUE);
    ::EnableMenuItem(::GetSubMenu(GetMenu(), 0), ID_NET_UPDATE, MF_BYCOMMAND | MF_ENABLED);
    return 1;
}
