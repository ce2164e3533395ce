// CWnd: an object bound to a window handle. Subclassing swaps in one static
// window procedure that finds the object and calls its virtual WindowProc.
#pragma once
#include <windows.h>
#include "framework/rect.h"
#include "framework/string.h"

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a window by SubclassWindow, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Attaches to an existing window: PreSubclassWindow, then the window
    // procedure is swapped and the previous one kept for Default().
    BOOL SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();
    virtual void PreSubclassWindow() {}
    virtual BOOL PreTranslateMessage(MSG*) { return FALSE; }
    virtual BOOL DestroyWindow();

    // Wrappers of the USER calls the program makes.
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageA(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageA(m_hWnd, msg, wp, lp); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    CString GetWindowText() const;
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    void SetRedraw(BOOL redraw = TRUE) { SendMessage(WM_SETREDRAW, redraw); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
    void ClientToScreen(LPRECT r) const;
    void ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
    void ScreenToClient(LPRECT r) const;
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags)
    { return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags); }
    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big)
    { return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big, reinterpret_cast<LPARAM>(icon))); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    BOOL SetCapture() { return ::SetCapture(m_hWnd) != nullptr; }
    // A message box this window owns (it is disabled until the answer);
    // the application's title as caption unless one is given.
    int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

    // Handles one message; the default passes it to the previous procedure.
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    // A reflected message from the parent: return TRUE when handled.
    virtual BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
    // WM_NOTIFY from a child: TRUE when handled, *result the answer.
    virtual BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result);
    // The notification entries of a window's message map; none by default.
    virtual BOOL OnNotifyEntry(NMHDR*, LRESULT*) { return FALSE; }
    // Called after the window is gone and the object detached.
    virtual void PostNcDestroy() {}

protected:
    // Runs the current message through the previous window procedure.
    LRESULT Default();
    LRESULT DefaultWith(UINT msg, WPARAM wp, LPARAM lp);

    static LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM);
    // Binds the object to a window whose procedure was already swapped.
    void AttachSubclassed(HWND hWnd, WNDPROC previous);

private:
    // Offers the parent's copy of a control message to the control's object.
    static BOOL ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

    WNDPROC m_prevProc = nullptr;
    struct CurrentMsg { UINT msg; WPARAM wp; LPARAM lp; };
    CurrentMsg m_current{};
};
