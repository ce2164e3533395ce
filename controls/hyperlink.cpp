#include "controls/hyperlink.h"

BOOL (WINAPI *g_pfnLinkBeep)(UINT type) = &::MessageBeep;

namespace {

// Whether `text` begins with the ASCII `prefix`, letters in either case.
// Only ASCII letters fold: a locale's own rules (a Turkish one has no
// lower-case "i" for "I") must not decide what a scheme is.
bool StartsWithNoCase(const CString& text, const char* prefix)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    int i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.GetLength() || lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

} // namespace

CHyperLink::CHyperLink() = default;

CHyperLink::~CHyperLink()
{
    m_underlineFont.DeleteObject();
    if (m_handCursor) {
        // Never leave the shown cursor pointing at a destroyed one.
        if (::GetCursor() == m_handCursor)
            ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
        ::DestroyCursor(m_handCursor);
        m_handCursor = nullptr;
    }
}

void CHyperLink::SetURL(CString url)
{
    m_url = url;
    if (!IsWindow())
        return;
    FitToText();
    BuildTipText(m_url);
    m_tip.UpdateTipText(m_tipText, this, 1);
}

void CHyperLink::MarkVisited(BOOL visited)
{
    m_visited = visited;
    if (IsWindow())
        InvalidateRect(nullptr, TRUE);
}

void CHyperLink::SetHandCursor(HCURSOR cursor)
{
    if (cursor && cursor == m_handCursor)
        return;
    const HCURSOR old = m_handCursor;
    m_handCursor = cursor;
    if (!m_handCursor)
        LoadHandCursor();
    if (old) {
        // The old cursor may be the one on screen: show the new one first.
        if (::GetCursor() == old)
            ::SetCursor(m_handCursor ? m_handCursor : ::LoadCursorA(nullptr, IDC_ARROW));
        ::DestroyCursor(old);
    }
}

void CHyperLink::SetUnderlineMode(int mode)
{
    if (mode == m_underlineMode)
        return;
    if (IsWindow()) {
        const HFONT font = mode == 1 ? static_cast<HFONT>(m_underlineFont) : static_cast<HFONT>(m_normalFont);
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        InvalidateRect(nullptr, TRUE);
    }
    m_underlineMode = mode;
}

void CHyperLink::PreSubclassWindow()
{
    // With SS_NOTIFY the static takes mouse input and sends STN_CLICKED.
    ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(GetStyle() | SS_NOTIFY));

    if (m_url.IsEmpty()) {
        m_url = GetWindowText();
        if (StartsWithNoCase(m_url, "www."))
            m_url = "http://" + m_url;
    }
    if (GetWindowText().IsEmpty())
        SetWindowText(m_url);

    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT));
    if (!font)
        font = ::GetStockObject(DEFAULT_GUI_FONT);
    if (!font)
        font = ::GetStockObject(ANSI_VAR_FONT);
    LOGFONTA logFont = {};
    ::GetObjectA(font, sizeof logFont, &logFont);
    m_normalFont.CreateFontIndirect(&logFont);
    logFont.lfUnderline = TRUE;
    m_underlineFont.CreateFontIndirect(&logFont);

    FitToText();
    LoadHandCursor();
    SetUnderlineMode(-1);
    BuildTipText(m_url);

    CRect client;
    GetClientRect(&client);
    m_tip.Create(this, 0);
    m_tip.AddTool(this, m_tipText, &client, 1);

    CStatic::PreSubclassWindow();
}

BOOL CHyperLink::DestroyWindow()
{
    if (m_hWnd)
        KillTimer(m_hoverTimerId);
    return CStatic::DestroyWindow();
}

BOOL CHyperLink::PreTranslateMessage(MSG* msg)
{
    if (m_tip.m_hWnd)
        m_tip.RelayEvent(msg);
    return CStatic::PreTranslateMessage(msg);
}

void CHyperLink::FitToText()
{
    if (!IsWindow())
        return;
    CRect window;
    GetWindowRect(&window);
    CRect client;
    GetClientRect(&client);
    ClientToScreen(&client);
    if (HWND parent = GetParent()) {
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&window), 2);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&client), 2);
    }

    // Measured in the underlined font, the wider of the two.
    SIZE text = {0, 0};
    if (HDC hdc = ::GetDC(m_hWnd)) {
        if (CDC* dc = CDC::FromHandle(hdc)) {
            const CString caption = GetWindowText();
            const HGDIOBJ old = dc->SelectObject(m_underlineFont);
            text = dc->GetTextExtent(caption, caption.GetLength());
            dc->SelectObject(old);
        }
        ::ReleaseDC(m_hWnd, hdc);
    }

    // Whatever border the control has is kept.
    const int width = text.cx + (window.Width() - client.Width());
    const int height = text.cy + (window.Height() - client.Height());
    const DWORD style = GetStyle();
    if (style & SS_CENTERIMAGE)
        window.InflateRect(0, -((window.Height() - height) / 2));
    else
        window.bottom = window.top + height;
    if (style & SS_CENTER)
        window.InflateRect(-((window.Width() - width) / 2), 0);
    else if (style & SS_RIGHT)
        window.left = window.right - width;
    else
        window.right = window.left + width;
    SetWindowPos(nullptr, window.left, window.top, window.Width(), window.Height(), SWP_NOZORDER);
}

void CHyperLink::BuildTipText(const CString& url)
{
    m_tipText.Empty();
    if (StartsWithNoCase(url, "http://"))
        m_tipText = "Go to " + url.Mid(7);
    else if (StartsWithNoCase(url, "mailto:"))
        m_tipText = "E-mail " + url.Mid(7);
    else
        m_tipText = url;
}

void CHyperLink::LoadHandCursor()
{
    if (m_handCursor)
        return;
    char path[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryA(path, sizeof path);
    const char file[] = "\\winhlp32.exe";
    if (n == 0 || n + sizeof file > sizeof path)
        return;
    lstrcatA(path, file);
    HMODULE module = ::LoadLibraryA(path);
    if (!module)
        return;
    // The copy outlives the module it came from.
    if (HCURSOR hand = ::LoadCursorA(module, MAKEINTRESOURCEA(106)))
        m_handCursor = static_cast<HCURSOR>(::CopyIcon(hand));
    ::FreeLibrary(module);
}

LRESULT CHyperLink::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SETCURSOR:
        return OnSetCursor(reinterpret_cast<HWND>(wp), LOWORD(lp), HIWORD(lp));
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wp), CPoint(lp));
        return 0;
    case WM_TIMER:
        OnTimer(wp);
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wp)));
    }
    return CStatic::WindowProc(msg, wp, lp);
}

BOOL CHyperLink::OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result)
{
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        *result = reinterpret_cast<LRESULT>(CtlColor(CDC::FromHandle(reinterpret_cast<HDC>(wp)), CTLCOLOR_STATIC));
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wp) == STN_CLICKED) {
            OnClicked();
            *result = 0;
            return TRUE;
        }
        break;
    }
    return CStatic::OnChildNotify(msg, wp, lp, result);
}

HBRUSH CHyperLink::CtlColor(CDC* dc, UINT)
{
    if (!dc)
        return nullptr;
    dc->SetTextColor(m_hovering ? m_hoverColor : m_visited ? m_visitedColor : m_linkColor);
    dc->SetBkMode(TRANSPARENT);
    // The background is WM_ERASEBKGND's; the static paints none of its own.
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

BOOL CHyperLink::OnSetCursor(HWND, UINT, UINT)
{
    if (!m_handCursor)
        return FALSE;
    ::SetCursor(m_handCursor);
    return TRUE;
}

void CHyperLink::OnMouseMove(UINT, CPoint)
{
    if (!m_hovering) {
        m_hovering = TRUE;
        if (m_underlineMode == -1)
            SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(m_underlineFont)), TRUE);
        InvalidateRect(nullptr, TRUE);
        // No leave notification: the timer looks for the pointer instead.
        SetTimer(m_hoverTimerId, 100);
    }
    Default();
}

void CHyperLink::OnTimer(UINT_PTR)
{
    const DWORD pos = ::GetMessagePos();
    POINT point = {static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    ScreenToClient(&point);
    CRect client;
    GetClientRect(&client);
    if (!client.PtInRect(point)) {
        m_hovering = FALSE;
        KillTimer(m_hoverTimerId);
        if (m_underlineMode != 1)
            SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(m_normalFont)), TRUE);
        // The underline sits below the text box; take it away too.
        client.bottom += 10;
        InvalidateRect(&client, TRUE);
    }
    Default();
}

void CHyperLink::OnClicked()
{
    m_hovering = FALSE;
    const UINT result = LaunchURL(m_url, SW_SHOW);
    m_visited = result > 32;
    if (m_visited) {
        MarkVisited(TRUE);
    } else {
        g_pfnLinkBeep(MB_ICONEXCLAMATION);
        ShowLaunchError(static_cast<int>(result));
    }
}

BOOL CHyperLink::OnEraseBkgnd(CDC* dc)
{
    if (!dc)
        return FALSE;
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(client, ::GetSysColor(COLOR_BTNFACE));
    return TRUE;
}
