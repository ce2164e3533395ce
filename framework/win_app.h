// CWinApp: the one application object; WinMain runs its InitInstance.
#pragma once
#include "framework/wnd.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Return FALSE to end the program without a message loop.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int Run();
    virtual int ExitInstance() { return 0; }
    // Commands no window handled: the application's command map.
    virtual BOOL OnCmdMsg(UINT id);

    // The 3-D control look is the system's own on Win32; kept for callers.
    BOOL Enable3dControls() { return TRUE; }
    void OnHelp();

    // Fills in the instance and the title (program file's base name unless
    // the constructor named one). WinMain and the tests call it.
    void InitApplication(HINSTANCE instance);

    HINSTANCE m_hInstance = nullptr;
    const char* m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;

private:
    char m_title[MAX_PATH] = {};
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// A message box with the application's title as caption, on the calling thread.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
