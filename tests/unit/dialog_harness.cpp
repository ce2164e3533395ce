#include <algorithm>
#include "tests/unit/dialog_harness.h"
#include <mutex>
#include "net/net_update.h"
#include "res/resource.h"

namespace {
std::mutex g_historyLock;
std::vector<std::string> g_history;
HHOOK g_hook = nullptr;

// Sees every SB_SETTEXT the window thread sends to its status bar.
LRESULT CALLBACK StatusHook(int code, WPARAM wp, LPARAM lp)
{
    const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && cwp->message == SB_SETTEXTA && ::GetDlgCtrlID(cwp->hwnd) == IDC_STATUSBAR &&
        cwp->lParam) {
        std::lock_guard<std::mutex> lock(g_historyLock);
        g_history.emplace_back(reinterpret_cast<const char*>(cwp->lParam));
    }
    return ::CallNextHookEx(g_hook, code, wp, lp);
}

struct FindBox {
    DWORD pid;
    HWND main;
    HWND found;
};

BOOL CALLBACK FindBoxProc(HWND h, LPARAM lp)
{
    FindBox* f = reinterpret_cast<FindBox*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    char cls[32] = {};
    ::GetClassNameA(h, cls, sizeof cls);
    if (pid == f->pid && h != f->main && lstrcmpA(cls, "#32770") == 0 && ::IsWindowVisible(h) &&
        ::GetDlgItem(h, 0xFFFF)) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

std::string TextOf(HWND h)
{
    char buf[4096] = {};
    ::GetWindowTextA(h, buf, sizeof buf);
    return buf;
}
} // namespace

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(5);
    }
    return true;
}

DialogHarness::DialogHarness()
{
    {
        std::lock_guard<std::mutex> lock(g_historyLock);
        g_history.clear();
    }
    m_thread = ::CreateThread(nullptr, 0, &UiThread, this, 0, nullptr);
    // The window counts as open once OnInitDialog has published it.
    WaitFor([] { HWND h = g_mainWnd; return h && ::IsWindowVisible(h); }, 10000);
    m_wnd = g_mainWnd;
}

DialogHarness::~DialogHarness()
{
    Close();
    ::CloseHandle(m_thread);
}

DWORD WINAPI DialogHarness::UiThread(LPVOID p)
{
    DialogHarness* self = static_cast<DialogHarness*>(p);
    g_hook = ::SetWindowsHookExA(WH_CALLWNDPROC, &StatusHook, nullptr, ::GetCurrentThreadId());
    {
        CFerrolinkDlg dlg;
        self->m_dlg = &dlg;
        AfxGetApp()->m_pMainWnd = &dlg;
        dlg.DoModal();
        AfxGetApp()->m_pMainWnd = nullptr;
        self->m_dlg = nullptr;
    }
    ::UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    CDC::ReleaseThreadWrappers();
    return 0;
}

std::string DialogHarness::Status() const
{
    // WM_GETTEXT does not see a simple-mode bar's text; Wine's comctl32
    // answers it for part 0, Windows for part 255.
    HWND bar = item(IDC_STATUSBAR);
    for (int part : {0, 255}) {
        const int len = LOWORD(::SendMessageA(bar, SB_GETTEXTLENGTHA, part, 0));
        if (len == 0)
            continue;
        // SB_GETTEXT takes no buffer size, and the window may set a longer
        // text between the two questions: room for any text it can hold.
        std::string text(std::max(len + 1, 65536), '\0');
        const int got = LOWORD(::SendMessageA(bar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(&text[0])));
        text.resize(std::min<size_t>(got, lstrlenA(text.c_str())));
        return text;
    }
    return std::string();
}

std::vector<std::string> DialogHarness::StatusHistory() const
{
    std::lock_guard<std::mutex> lock(g_historyLock);
    return g_history;
}

std::vector<std::string> DialogHarness::Tree() const
{
    std::vector<std::string> names;
    HWND tree = item(IDC_TREE);
    for (HTREEITEM it = TreeView_GetRoot(tree); it; it = TreeView_GetNextSibling(tree, it)) {
        std::vector<char> buf(32768, '\0');
        TVITEMA tvi = {};
        tvi.mask = TVIF_TEXT;
        tvi.hItem = it;
        tvi.pszText = buf.data();
        tvi.cchTextMax = static_cast<int>(buf.size());
        ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi));
        names.emplace_back(buf.data());
    }
    return names;
}

bool DialogHarness::MenuGrayed(UINT id) const
{
    const UINT state = ::GetMenuState(::GetSubMenu(::GetMenu(m_wnd), 0), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED);
}

bool DialogHarness::WaitStatus(const std::string& text, DWORD timeoutMs) const
{
    return WaitFor([&] { return Status() == text; }, timeoutMs);
}

bool DialogHarness::WaitIdle(DWORD timeoutMs) const
{
    return WaitFor([] { return g_updateRunning == 0; }, timeoutMs);
}

bool DialogHarness::TakeMessageBox(MessageBoxSeen* seen, DWORD timeoutMs) const
{
    return TakeAnyMessageBox(seen, timeoutMs);
}

bool TakeAnyMessageBox(MessageBoxSeen* seen, DWORD timeoutMs)
{
    FindBox f = {::GetCurrentProcessId(), g_mainWnd, nullptr};
    if (!WaitFor([&] { f.found = nullptr; ::EnumWindows(&FindBoxProc, reinterpret_cast<LPARAM>(&f)); return f.found != nullptr; },
                 timeoutMs))
        return false;
    if (seen) {
        seen->caption = TextOf(f.found);
        seen->text = TextOf(::GetDlgItem(f.found, 0xFFFF));
        seen->owner = ::GetWindow(f.found, GW_OWNER);
        seen->ownerEnabled = seen->owner && ::IsWindowEnabled(seen->owner);
    }
    ::PostMessageA(f.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return WaitFor([&] { return !::IsWindow(f.found) || !::IsWindowVisible(f.found); }, timeoutMs);
}

bool DialogHarness::Close(DWORD timeoutMs)
{
    if (!m_thread)
        return true;
    if (m_wnd && ::IsWindow(m_wnd))
        ::PostMessageA(m_wnd, WM_CLOSE, 0, 0);
    return ::WaitForSingleObject(m_thread, timeoutMs) == WAIT_OBJECT_0;
}
