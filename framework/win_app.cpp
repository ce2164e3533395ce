#include "framework/win_app.h"
#include <commctrl.h>
#include <cstring>

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp(const char* appName)
{
    g_app = this;
    if (appName) {
        lstrcpynA(m_title, appName, sizeof m_title);
        m_pszAppName = m_title;
    }
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

void CWinApp::InitApplication(HINSTANCE instance)
{
    m_hInstance = instance;
    // The dialog templates use the tree, list and status bar classes; the
    // plain call exists on every system the program runs on.
    ::InitCommonControls();
    if (m_pszAppName)
        return;
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(instance, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        path[0] = '\0';
    const char* base = path;
    for (const char* p = path; *p; p = ::CharNextA(p))
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    lstrcpynA(m_title, base, sizeof m_title);
    if (char* dot = std::strrchr(m_title, '.'))
        *dot = '\0';
    m_pszAppName = m_title;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

BOOL CWinApp::OnCmdMsg(UINT)
{
    return FALSE;
}

void CWinApp::OnHelp()
{
    // The help file sits beside the program, named after it.
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(m_hInstance, path, sizeof path);
    if (n == 0 || n >= sizeof path - 4)
        return;
    if (char* dot = std::strrchr(path, '.'))
        *dot = '\0';
    lstrcatA(path, ".hlp");
    HWND owner = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    ::WinHelpA(owner, path, HELP_FINDER, 0);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

int AfxMessageBox(const char* text, UINT type, UINT)
{
    // Owned by the calling thread's active window, if it has one, so a box
    // of a worker thread never disables a window of another thread.
    HWND owner = ::GetActiveWindow();
    const char* caption = g_app && g_app->m_pszAppName ? g_app->m_pszAppName : "";
    return ::MessageBoxA(owner, text, caption, type);
}
