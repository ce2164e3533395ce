#include "app/ferrolink_dlg.h"
#include "net/net_update.h"
#include "res/resource.h"
#include "framework/proc_address.h"

int g_osKind = 0;
CFerrolinkDlg* g_mainDlg = nullptr;
std::atomic<HWND> g_mainWnd{nullptr};

#ifdef __i386__
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes on 32-bit Windows");
#endif

CFerrolinkDlg::CFerrolinkDlg(CWnd* parent)
    : CDialog(IDD_FERROLINK_DIALOG, parent)
{
    m_icon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CFerrolinkDlg::~CFerrolinkDlg() = default;

void CFerrolinkDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Control(dx, IDC_SITE_LINK, m_siteLink);
    DDX_Control(dx, IDC_TREE, m_tree);
    DDX_Control(dx, IDC_SCAN, m_scanButton);
    DDX_Control(dx, IDC_STOP, m_stopButton);
    DDX_Control(dx, IDC_LIST, m_list);
    DDX_Control(dx, IDC_LOCATION, m_locationBar);
    DDX_Control(dx, IDC_MENU_RULE, m_menuRule);
    DDX_Control(dx, IDC_TOOLBAR_RULE, m_toolbarRule);
    DDX_Control(dx, IDC_FORWARD, m_forwardButton);
    DDX_Control(dx, IDC_BACK, m_backButton);
}

int OsKindFromVersion(const OSVERSIONINFOA& v, int unchanged)
{
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return v.dwMinorVersion == 0 ? 1 : 2;
    if (v.dwMajorVersion == 4)
        return 0x20;
    switch (v.dwMinorVersion) {
    case 0: return 0x21;
    case 1: return 0x22;
    case 2: return 0x23;
    }
    return unchanged;
}

BOOL CFerrolinkDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // The About item at the foot of the system menu.
    if (HMENU sysMenu = GetSystemMenu(FALSE)) {
        char about[256] = {};
        if (::LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, about, sizeof about) > 0) {
            ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    SetIcon(m_icon, TRUE);
    SetIcon(m_icon, FALSE);

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (::GetVersionExA(&version))
        g_osKind = OsKindFromVersion(version, g_osKind);

    g_mainDlg = this;
    g_mainWnd = m_hWnd;
    NetUpdateWindowOpening();

    if (g_osKind & 0x20) {
        m_shareLib = ::LoadLibraryA("netapi32.dll");
        m_pfnNetShareEnumNT = ProcAddress<PFN_NETSHAREENUM_NT>(m_shareLib, "NetShareEnum");
        m_pfnNetApiBufferFree = ProcAddress<PFN_NETAPIBUFFERFREE>(m_shareLib, "NetApiBufferFree");
        m_pfnNetApiBufferSize = ProcAddress<PFN_NETAPIBUFFERSIZE>(m_shareLib, "NetApiBufferSize");
    } else {
        m_shareLib = ::LoadLibraryA("svrapi.dll");
        m_pfnNetShareEnum9x = ProcAddress<PFN_NETSHAREENUM_9X>(m_shareLib, "NetShareEnum");
    }

    CString title;
    title.Format("%s %s", "Ferrolink", "1.0");
    SetWindowText(title);

    // Flat icon-over-caption buttons framed only under the mouse, and a
    // grey caption bar that ignores the mouse.
    m_backButton.SetStyle(13);
    m_backButton.SetIcon(IDI_BACK, nullptr);
    m_backButton.SetWindowText("Back");
    m_forwardButton.SetStyle(13);
    m_forwardButton.SetIcon(IDI_FORWARD, nullptr);
    m_forwardButton.SetWindowText("Forward");
    m_stopButton.SetStyle(13);
    m_stopButton.SetIcon(IDI_STOP, nullptr);
    m_stopButton.SetWindowText("Stop");
    m_scanButton.SetStyle(13);
    m_scanButton.SetIcon(IDI_SCAN, nullptr);
    m_scanButton.SetWindowText("Scan");
    m_locationBar.SetStyle(0x30003);
    m_locationBar.SetWindowText("");
    m_locationBar.SetFont(20, "Verdana", 100);
    m_locationBar.SetColors(0, 0, 0xFFFFFF, 0x808080);
    m_siteLink.SetURL(FL_VENDOR_URL);

    m_tree.SetItemHeight(20);
    // A walk inserts thousands of computers one by one: drawn in batches
    // rather than after each, they go in many times faster.
    m_tree.SetInsertBatching(200);

    m_list.InsertColumn(0, "Name", LVCFMT_LEFT, 120, 0);
    m_list.InsertColumn(1, "Type", LVCFMT_LEFT, 50, 1);
    m_list.InsertColumn(2, "Comment", LVCFMT_LEFT, 220, 2);
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP |
                            LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE | LVS_EX_UNDERLINEHOT |
                            LVS_EX_LABELTIP);

    m_statusBar.Create(WS_CHILD | SBARS_TOOLTIPS | CCS_BOTTOM, CRect(), this, IDC_STATUSBAR);
    m_statusBar.SetSimple(TRUE);
    m_statusBar.ShowWindow(SW_SHOW);
    SetStatusText("Ready", 255, 0);

    m_backButton.EnableWindow(FALSE);
    m_forwardButton.EnableWindow(FALSE);

    CRect client;
    GetClientRect(&client);
    LayoutControls(0, client.Width(), client.Height());

    OnScan();
    return TRUE;
}

void CFerrolinkDlg::SetStatusText(const char* text, int part, int type)
{
    m_statusBar.SendMessage(SB_SETTEXTA, part | type, reinterpret_cast<LPARAM>(text));
}

LRESULT CFerrolinkDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == g_netUpdateNotifyMsg && msg != 0)
        return OnNetUpdateNotify(wp, lp);

    switch (msg) {
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wp), lp);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wp), CPoint(lp));
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_COMMAND:
        if (lp != 0 && HIWORD(wp) != BN_CLICKED)
            break;
        switch (LOWORD(wp)) {
        case IDC_BACK: OnBack(); return 0;
        case IDC_FORWARD: OnForward(); return 0;
        case IDC_STOP: OnStop(); return 0;
        case IDC_SCAN: OnScan(); return 0;
        case ID_HELP_ABOUT: OnAbout(); return 0;
        case ID_NET_UPDATE: OnUpdateNet(); return 0;
        case ID_NET_BREAK: OnBreakUpdate(); return 0;
        }
        break;
    case WM_SIZING:
        OnSizing(static_cast<UINT>(wp), reinterpret_cast<LPRECT>(lp));
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        break;
    }
    return CDialog::WindowProc(msg, wp, lp);
}

BOOL CFerrolinkDlg::OnNotifyEntry(NMHDR* header, LRESULT* result)
{
    if (header->idFrom == IDC_TREE && (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW)) {
        OnTreeSelChanged(header, result);
        return TRUE;
    }
    // Emptying the tree for a walk deletes thousands of items, each with a
    // notification nothing here reads: answered at once.
    if (header->idFrom == IDC_TREE && (header->code == TVN_DELETEITEMA || header->code == TVN_DELETEITEMW)) {
        *result = 0;
        return TRUE;
    }
    return CDialog::OnNotifyEntry(header, result);
}

void CFerrolinkDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    CRect rect;
    GetClientRect(&rect);
    const int x = (rect.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_icon);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR CFerrolinkDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_icon);
}

void CFerrolinkDlg::OnLButtonDown(UINT, CPoint)
{
    Default();
    // A press on the window's own background moves the window, as a drag
    // of its caption would.
    if (g_mainDlg && g_mainDlg->m_hWnd)
        ::SendMessageA(g_mainDlg->m_hWnd, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, 0);
}

void CFerrolinkDlg::OnDestroy()
{
    // From here on the worker finds no window: it stops at its next stop
    // test and sends nothing more.
    g_mainWnd = nullptr;
    NetUpdateWindowClosing();
}
