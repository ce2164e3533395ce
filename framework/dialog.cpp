#include "framework/dialog.h"
#include "framework/data_exchange.h"
#include "framework/win_app.h"

DWORD (WINAPI *g_queueStatus)(UINT flags) = &::GetQueueStatus;

namespace {
// What the modal loop waits on: input, posted messages, timers, paints and
// hot keys, by the flags every system from 95 and NT 4.0 on knows. Today's
// QS_INPUT carries QS_RAWINPUT (XP), and an older system refuses a flag it
// does not know by failing the whole call.
const UINT kQueueBusy = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY;

// Whether nothing but sent messages waits (those are answered inside
// GetMessage). A call that fails says nothing of the queue: not idle.
bool QueueIdle()
{
    ::SetLastError(ERROR_SUCCESS);
    const DWORD status = g_queueStatus(kQueueBusy);
    if (status == 0)
        return ::GetLastError() == ERROR_SUCCESS;
    return HIWORD(status) == 0;
}

// The top-level window that holds `hWnd`: what GetAncestor(GA_ROOT) gives
// on 98 and 2000, which Windows 95 and NT 4.0 do not have.
HWND RootWindow(HWND hWnd)
{
    while (hWnd && (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD)) {
        const HWND parent = ::GetParent(hWnd);
        if (!parent)
            break;
        hWnd = parent;
    }
    return hWnd;
}

// Places a dialog centred over its owner, or over the screen's work area
// without one; a dialog centred over the screen stays inside the work area.
void CentreOverOwner(HWND hWnd)
{
    RECT work;
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        ::SetRect(&work, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    RECT area = work;
    const HWND owner = ::GetWindow(hWnd, GW_OWNER);
    const bool overOwner = owner && ::IsWindowVisible(owner) && !::IsIconic(owner);
    if (overOwner)
        ::GetWindowRect(owner, &area);
    RECT r;
    ::GetWindowRect(hWnd, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    if (!overOwner) {
        x = x + width > work.right ? work.right - width : x;
        y = y + height > work.bottom ? work.bottom - height : y;
        x = x < work.left ? work.left : x;
        y = y < work.top ? work.top : y;
    }
    ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
} // namespace

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_parent(parent)
{
}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND hWnd, UINT msg, WPARAM, LPARAM lp)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    // Route the dialog's messages through the object from here on; the
    // dialog manager's own procedure stays behind Default().
    CDialog* self = reinterpret_cast<CDialog*>(lp);
    WNDPROC prev = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWndProc)));
    self->AttachSubclassed(hWnd, prev);
    RECT before;
    ::GetWindowRect(hWnd, &before);
    const BOOL result = self->OnInitDialog();
    // Unless the template or OnInitDialog placed it, the dialog opens
    // centred, as a Windows program's dialogs do.
    RECT after;
    const LONG style = ::IsWindow(hWnd) ? ::GetWindowLongA(hWnd, GWL_STYLE) : WS_CHILD;
    if (!(style & (WS_CHILD | DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) && ::GetWindowRect(hWnd, &after) &&
        ::EqualRect(&before, &after))
        CentreOverOwner(hWnd);
    return result;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = m_parent ? m_parent->m_hWnd : nullptr;
    if (!owner) {
        // Without a parent the owner is the application's main window,
        // unless that is this dialog itself.
        CWnd* main = AfxGetApp() ? AfxGetApp()->m_pMainWnd : nullptr;
        if (main && main != this && main->IsWindow())
            owner = RootWindow(main->m_hWnd);
    }
    m_endRequested = false;
    m_modalResult = -1;
    HWND hWnd = ::CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_templateId), owner,
                                     &CDialog::StaticDlgProc, reinterpret_cast<LPARAM>(this));
    if (!hWnd)
        return -1;

    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled)
        ::EnableWindow(owner, FALSE);
    if (!m_endRequested)
        ::ShowWindow(hWnd, SW_SHOWNORMAL);

    m_inModalLoop = true;
    MSG msg;
    bool idle = false;
    while (!m_endRequested && ::IsWindow(hWnd)) {
        if (!idle && QueueIdle()) {
            idle = true;
            OnFirstIdle();
            continue;
        }
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0)
            break;
        if (PreTranslateForDialog(&msg))
            continue;
        if (::IsDialogMessageA(hWnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_inModalLoop = false;

    if (ownerWasEnabled) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (::IsWindow(hWnd))
        ::DestroyWindow(hWnd);
    return m_modalResult;
}

void CDialog::EndDialog(int result)
{
    m_modalResult = result;
    m_endRequested = true;
    if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
        // Wake the loop in case nothing else is queued.
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    }
}

BOOL CDialog::PreTranslateForDialog(MSG* msg)
{
    for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
        CWnd* obj = FromHandlePermanent(h);
        if (obj && obj->PreTranslateMessage(msg))
            return TRUE;
        if (h == m_hWnd)
            break;
    }
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED || lp == 0) {
            switch (LOWORD(wp)) {
            case IDOK: OnOK(); return 0;
            case IDCANCEL: OnCancel(); return 0;
            }
        }
        // Commands no window took go to the application's command map.
        if (lp == 0 && AfxGetApp() && AfxGetApp()->OnCmdMsg(LOWORD(wp)))
            return 0;
        break;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(wp, lp, &result))
            return result;
        break;
    }
    }
    return Default();
}
