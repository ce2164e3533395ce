// Runs the main window modally on a thread of its own, as the program does,
// while the test thread plays the user: messages in, control state out.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <vector>
#include "app/ferrolink_dlg.h"

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool ownerEnabled = false;   // while the box showed
};

class DialogHarness {
public:
    DialogHarness();
    ~DialogHarness();

    HWND wnd() const { return m_wnd; }
    CFerrolinkDlg& dlg() { return *m_dlg; }
    HWND item(int id) const { return ::GetDlgItem(m_wnd, id); }

    std::string Status() const;
    std::vector<std::string> Tree() const;
    bool Enabled(int id) const { return ::IsWindowEnabled(item(id)) != FALSE; }
    bool MenuGrayed(UINT id) const;
    void Click(int id) { ::SendMessageA(m_wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id))); }
    void Command(UINT id) { ::SendMessageA(m_wnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    // Waits until the status bar shows `text`.
    bool WaitStatus(const std::string& text, DWORD timeoutMs = 10000) const;
    // Waits until the update worker is finished.
    bool WaitIdle(DWORD timeoutMs = 10000) const;
    // Waits for a message box of this process, reads it and presses OK.
    bool TakeMessageBox(MessageBoxSeen* seen, DWORD timeoutMs = 5000) const;
    // Closes the window and waits for the modal loop to return.
    bool Close(DWORD timeoutMs = 5000);

    // Every status text shown, in order.
    std::vector<std::string> StatusHistory() const;

private:
    static DWORD WINAPI UiThread(LPVOID self);
    HANDLE m_thread = nullptr;
    HANDLE m_ready = nullptr;
    HWND m_wnd = nullptr;
    CFerrolinkDlg* m_dlg = nullptr;
};

// Waits for a message box of this process, reads it and presses OK.
bool TakeAnyMessageBox(MessageBoxSeen* seen, DWORD timeoutMs);

// Pumps nothing; sleeps in small steps until `done` holds.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs);
