#include "framework/wnd.h"
#include "framework/handle_map.h"
#include "framework/win_app.h"

CWnd::~CWnd()
{
    // A control object may die with its window still alive (a dialog object
    // leaving scope after its window is gone is the usual case, but not the
    // only one): give the window its own procedure back.
    if (m_hWnd && ::IsWindow(m_hWnd))
        UnsubclassWindow();
    else if (m_hWnd)
        CHandleMap::Permanent().Remove(m_hWnd, this);   // the window went without telling us
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? CHandleMap::Permanent().Find(hWnd) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd))
        return FALSE;
    m_hWnd = hWnd;
    CHandleMap::Permanent().Add(hWnd, this);
    PreSubclassWindow();
    m_prevProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWndProc)));
    return TRUE;
}

void CWnd::AttachSubclassed(HWND hWnd, WNDPROC previous)
{
    m_hWnd = hWnd;
    m_prevProc = previous;
    CHandleMap::Permanent().Add(hWnd, this);
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return nullptr;
    if (m_prevProc)
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_prevProc));
    CHandleMap::Permanent().Remove(hWnd, this);
    m_prevProc = nullptr;
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

CString CWnd::GetWindowText() const
{
    const int len = ::GetWindowTextLengthA(m_hWnd);
    if (len <= 0)
        return CString();
    std::string buf(len + 1, '\0');
    const int got = ::GetWindowTextA(m_hWnd, &buf[0], len + 1);
    return CString(buf.c_str(), got);
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type)
{
    if (!caption)
        caption = AfxGetApp() && AfxGetApp()->m_pszAppName ? AfxGetApp()->m_pszAppName : "";
    return ::MessageBoxA(m_hWnd, text, caption, type);
}

void CWnd::ClientToScreen(LPRECT r) const
{
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<LPPOINT>(r), 2);
}

void CWnd::ScreenToClient(LPRECT r) const
{
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(r), 2);
}

LRESULT CWnd::Default()
{
    return DefaultWith(m_current.msg, m_current.wp, m_current.lp);
}

LRESULT CWnd::DefaultWith(UINT msg, WPARAM wp, LPARAM lp)
{
    if (m_prevProc)
        return ::CallWindowProcA(m_prevProc, m_hWnd, msg, wp, lp);
    return ::DefWindowProcA(m_hWnd, msg, wp, lp);
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM)
{
    return Default();
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lp, LRESULT* result)
{
    return OnNotifyEntry(reinterpret_cast<NMHDR*>(lp), result);
}

BOOL CWnd::ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result)
{
    HWND child = nullptr;
    switch (msg) {
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(lp);
        break;
    case WM_NOTIFY:
        child = lp ? reinterpret_cast<NMHDR*>(lp)->hwndFrom : nullptr;
        break;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (dis && dis->CtlType != ODT_MENU)
            child = dis->hwndItem;
        break;
    }
    case WM_CTLCOLORSTATIC:
        child = reinterpret_cast<HWND>(lp);
        break;
    default:
        return FALSE;
    }
    CWnd* obj = FromHandlePermanent(child);
    return obj && obj->OnChildNotify(msg, wp, lp, result);
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWnd* self = FromHandlePermanent(hWnd);
    if (!self)
        return ::DefWindowProcA(hWnd, msg, wp, lp);

    LRESULT result = 0;
    if (ReflectToChild(msg, wp, lp, &result))
        return result;

    const CurrentMsg saved = self->m_current;
    self->m_current = {msg, wp, lp};
    if (msg == WM_NCDESTROY) {
        // Let the window finish with its own procedure, then detach so no
        // later call can reach a window that is gone.
        WNDPROC prev = self->m_prevProc;
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
        result = prev ? ::CallWindowProcA(prev, hWnd, msg, wp, lp) : ::DefWindowProcA(hWnd, msg, wp, lp);
        CHandleMap::Permanent().Remove(hWnd, self);
        self->m_prevProc = nullptr;
        self->m_hWnd = nullptr;
        self->PostNcDestroy();
        return result;
    }
    result = self->WindowProc(msg, wp, lp);
    self->m_current = saved;
    return result;
}
