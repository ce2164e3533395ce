#include "controls/gradient_button.h"

namespace {

// Style bits.
const DWORD kFocusReset = 0x1;
const DWORD kCaptionOnly = 0x2;
const DWORD kSmallIcon = 0x4;
const DWORD kIconAboveCaption = 0x8;
const DWORD kFrameAlways = 0x20;
const DWORD kDerivedBorders = 0x40;
const DWORD kNoFill = 0x80;
const DWORD kRounded = 0x100;
const DWORD kGradient = 0x200;
const DWORD kInverted = 0x400;
const DWORD kToggle = 0x800;
const DWORD kCheckSwapsColors = 0x1000;
const DWORD kNoToggle = 0x2000;
const DWORD kLargeIcon = 0x4000;
const DWORD kNoCapture = 0x8000;
const DWORD kLeftCaption = 0x10000;
const DWORD kMouseIgnored = 0x20000;

const int kEdgeOffset = 5000;
const int kMiddleOffset = -7000;

// Colour differences are applied per channel and clamped, so a dark
// colour made darker stays black instead of borrowing from its neighbour.
COLORREF ShiftColor(COLORREF color, int delta)
{
    auto channel = [delta](int v) {
        v += delta;
        return v < 0 ? 0 : v > 255 ? 255 : v;
    };
    return RGB(channel(GetRValue(color)), channel(GetGValue(color)), channel(GetBValue(color)));
}

// A gradient channel: the 8-bit value in the high byte plus an offset,
// clamped to the 16-bit range (full intensity 0xFF00).
COLOR16 GradientChannel(int value, int offset)
{
    int v = value * 256 + offset;
    if (v < 0)
        v = 0;
    if (v > 0xFF00)
        v = 0xFF00;
    return static_cast<COLOR16>(v);
}

TRIVERTEX Vertex(LONG x, LONG y, COLORREF color, int offset)
{
    TRIVERTEX v;
    v.x = x;
    v.y = y;
    v.Red = GradientChannel(GetRValue(color), offset);
    v.Green = GradientChannel(GetGValue(color), offset);
    v.Blue = GradientChannel(GetBValue(color), offset);
    v.Alpha = 0;
    return v;
}

} // namespace

CGradientButton::CGradientButton()
    : m_activeTextColor(::GetSysColor(COLOR_BTNTEXT)),
      m_activeFaceColor(::GetSysColor(COLOR_BTNFACE)),
      m_normalTextColor(::GetSysColor(COLOR_BTNTEXT)),
      m_normalFaceColor(::GetSysColor(COLOR_BTNFACE)),
      m_lightColor(::GetSysColor(COLOR_BTNHIGHLIGHT)),
      m_darkColor(::GetSysColor(COLOR_BTNSHADOW)),
      m_normalLightColor(::GetSysColor(COLOR_BTNHIGHLIGHT)),
      m_normalDarkColor(::GetSysColor(COLOR_BTNSHADOW))
{
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
    lstrcpynA(m_logFont.lfFaceName, "MS Sans Serif", LF_FACESIZE);
    m_font = ::CreateFontIndirectA(&m_logFont);
    ComputeGradient(kInverted);
}

CGradientButton::~CGradientButton()
{
    if (m_font)
        ::DeleteObject(m_font);
    m_darkPen.DeleteObject();
    m_lightPen.DeleteObject();
    m_normalPen.DeleteObject();
    m_activeBrush.DeleteObject();
    m_normalBrush.DeleteObject();
    if (m_toolTip.IsWindow())
        m_toolTip.DestroyWindow();
}

void CGradientButton::SetStyle(DWORD style)
{
    m_style = style;
    if (style & kLeftCaption)
        m_textFormat &= ~static_cast<UINT>(DT_CENTER);
    else
        m_textFormat |= DT_CENTER;
}

void CGradientButton::SetColors(COLORREF activeText, COLORREF activeFace, COLORREF normalText, COLORREF normalFace)
{
    m_activeTextColor = activeText;
    m_activeFaceColor = activeFace;
    m_normalTextColor = normalText;
    m_normalFaceColor = normalFace;
    // The frame of the active looks is cut from the normal face and the
    // other way round, so a hot button stands out from its neighbours.
    if (m_style & kDerivedBorders)
        SetBorderColors(ShiftColor(normalFace, 10), ShiftColor(normalFace, -10), ShiftColor(activeFace, 10),
                        ShiftColor(activeFace, -10));
    m_activeBrush.CreateSolidBrush(activeFace);
    m_normalBrush.CreateSolidBrush(normalFace);
    ComputeGradient((m_style & kInverted) ? kInverted : 0);
    if (m_hWnd)
        Invalidate(TRUE);
}

void CGradientButton::SetBorderColors(COLORREF light, COLORREF dark, COLORREF normalLight, COLORREF normalDark)
{
    m_lightColor = light;
    m_darkColor = dark;
    m_normalLightColor = normalLight;
    m_normalDarkColor = normalDark;
    m_darkPen.CreatePen(PS_SOLID, 1, dark);
    m_lightPen.CreatePen(PS_SOLID, 1, light);
    m_normalPen.CreatePen(PS_SOLID, 1, normalDark);
    if (m_hWnd)
        Invalidate(TRUE);
}

void CGradientButton::SetFont(int height, const char* faceName, int weight)
{
    if (m_font)
        ::DeleteObject(m_font);
    m_logFont.lfHeight = height;
    // lfFaceName holds 31 characters; a longer name is cut to fit.
    if (faceName && *faceName)
        lstrcpynA(m_logFont.lfFaceName, faceName, LF_FACESIZE);
    if (weight != -1)
        m_logFont.lfWeight = weight;
    m_font = ::CreateFontIndirectA(&m_logFont);
    if (m_hWnd)
        Invalidate(TRUE);
}

HICON CGradientButton::SetIcon(UINT iconId, HINSTANCE instance)
{
    if (!instance)
        instance = AfxGetInstanceHandle();
    const int size = (m_style & kLargeIcon) ? 32 : 16;
    m_normalIcon = static_cast<HICON>(
        ::LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    m_pCurrentIcon = &m_normalIcon;
    return m_normalIcon;
}

void CGradientButton::SetCheck(int state)
{
    if (state == 0) {
        m_checked = 0;
        m_pCurrentIcon = &m_normalIcon;
    } else if (state == 1) {
        m_pCurrentIcon = &m_checkedIcon;
        m_checked = 1;
    } else {
        return;
    }
    if ((m_style & kCheckSwapsColors) && m_appliedCheck != state) {
        SetColors(m_normalTextColor, m_normalFaceColor, m_activeTextColor, m_activeFaceColor);
        m_appliedCheck = state;
    }
}

void CGradientButton::ComputeGradient(UINT mode)
{
    int edge = kEdgeOffset;
    int middle = kMiddleOffset;
    if (mode == kInverted) {
        edge = kMiddleOffset;
        middle = kEdgeOffset;
    }
    const struct {
        TRIVERTEX* vertices;
        COLORREF face;
    } sets[] = {{m_activeVertices, m_activeFaceColor}, {m_normalVertices, m_normalFaceColor}};
    for (const auto& set : sets) {
        set.vertices[0] = Vertex(0, 0, set.face, edge);
        set.vertices[1] = Vertex(100, m_halfHeight, set.face, middle);
        set.vertices[2] = Vertex(0, m_halfHeight, set.face, middle);
        set.vertices[3] = Vertex(100, m_height, set.face, edge);
    }
}

void CGradientButton::DrawItem(LPDRAWITEMSTRUCT drawItem)
{
    CDC* dc = CDC::FromHandle(drawItem->hDC);
    if (!dc)
        return;
    CRect rect(drawItem->rcItem);
    const DWORD style = m_style;

    const HFONT oldFont = dc->GetCurrentFont();
    const int oldBkMode = dc->GetBkMode();
    const COLORREF oldTextColor = dc->GetTextColor();
    const COLORREF oldBkColor = dc->GetBkColor();
    // Pens and brushes are put back too, so none of ours stays selected
    // in a context that outlives it.
    const HGDIOBJ oldPen = ::GetCurrentObject(dc->m_hDC, OBJ_PEN);
    const HGDIOBJ oldBrush = ::GetCurrentObject(dc->m_hDC, OBJ_BRUSH);
    dc->SetBkMode(TRANSPARENT);

    const bool hot = m_hover != 0;
    const bool pressed = m_pressed != 0;
    const bool active = hot || pressed;
    const COLORREF textColor = active ? m_activeTextColor : m_normalTextColor;
    dc->SetTextColor(textColor);
    CBrush& brush = active ? m_activeBrush : m_normalBrush;
    TRIVERTEX* vertices = active ? m_activeVertices : m_normalVertices;
    auto paintGradient = [&] {
        dc->GradientFill(vertices, 2, &m_gradientRect, 1, GRADIENT_FILL_RECT_V);
        dc->GradientFill(vertices + 2, 2, &m_gradientRect, 1, GRADIENT_FILL_RECT_V);
    };
    auto select = [&](CPen& pen, HGDIOBJ fill) {
        if (pen.m_hObject)
            dc->SelectObject(pen);
        if (fill)
            dc->SelectObject(fill);
    };
    const POINT corner = {m_cornerWidth, m_cornerHeight};

    if (!(style & kRounded)) {
        // Where nothing fills the face (no brush, or no fill asked for),
        // the parent's background shows, so the frame of an earlier look
        // does not stay behind.
        const bool fills = !(style & kNoFill) && brush.m_hObject;
        if (fills)
            dc->FillRect(rect, brush);
        else
            PaintParentBackground(dc, rect);
        if (style & kGradient)
            paintGradient();
        if (hot && pressed)
            dc->Draw3dRect(rect, m_darkColor, m_lightColor);
        else if (hot)
            dc->Draw3dRect(rect, ShiftColor(m_lightColor, -20), ShiftColor(m_darkColor, -20));
        else if (pressed)
            dc->Draw3dRect(rect, m_darkColor, m_lightColor);
        else if ((style & kFrameAlways) || (style & kGradient))
            dc->Draw3dRect(rect, m_normalLightColor, ShiftColor(m_normalDarkColor, -10));
    } else if (!(style & kGradient)) {
        PaintParentBackground(dc, rect);
        if (hot && pressed) {
            rect.DeflateRect(1, 1);
            select(m_darkPen, m_activeBrush.m_hObject);
        } else if (hot) {
            select(m_lightPen, m_activeBrush.m_hObject);
        } else if (pressed) {
            rect.DeflateRect(1, 1);
            select(m_lightPen, m_activeBrush.m_hObject);
        } else {
            select(m_normalPen, m_normalBrush.m_hObject);
        }
        dc->RoundRect(rect, corner);
    } else {
        PaintParentBackground(dc, rect);
        select(hot && pressed ? m_darkPen : active ? m_lightPen : m_normalPen, ::GetStockObject(NULL_BRUSH));
        // The saved state holds the clip region as it was; restoring it
        // takes the outline clip away again.
        const int saved = dc->SaveDC();
        dc->BeginPath();
        dc->RoundRect(rect, corner);
        dc->EndPath();
        dc->SelectClipPath(RGN_COPY);
        paintGradient();
        dc->RestoreDC(saved);
        dc->RoundRect(rect, corner);
    }

    const bool disabled = (drawItem->itemState & ODS_DISABLED) != 0;
    const HICON icon = m_pCurrentIcon ? *m_pCurrentIcon : nullptr;
    const int left = rect.left, top = rect.top;
    const int width = rect.Width(), height = rect.Height();
    auto drawIcon = [&](int x, int y) {
        if (icon)
            dc->DrawState(POINT{x, y}, SIZE{width, height}, icon, disabled ? DSS_DISABLED : DSS_NORMAL);
    };
    auto drawCaption = [&](CRect area) {
        if (style & kLeftCaption)
            area.DeflateRect(6, 0);
        const CString text = GetWindowText();
        if (m_font)
            dc->SelectObject(m_font);
        dc->SetTextColor(disabled ? ::GetSysColor(COLOR_GRAYTEXT) : textColor);
        dc->DrawText(text, -1, area, m_textFormat);
    };
    if (style & kIconAboveCaption) {
        const int k = (style & kSmallIcon) ? 9 : 17;
        drawIcon(left + width / 2 - k, top + 4);
        const int strip = (style & kSmallIcon) ? 18 : 14;
        drawCaption(CRect(left, rect.bottom - strip, rect.right, rect.bottom));
    } else if (style & (kSmallIcon | kLargeIcon)) {
        const int k = (style & kSmallIcon) ? 8 : 16;
        drawIcon(left + width / 2 - k, top + height / 2 - k);
    } else if (style & kCaptionOnly) {
        drawCaption(rect);
    }

    dc->SelectObject(oldFont);
    dc->SelectObject(oldPen);
    dc->SelectObject(oldBrush);
    dc->SetBkMode(oldBkMode);
    dc->SetTextColor(oldTextColor);
    dc->SetBkColor(oldBkColor);
}

void CGradientButton::PaintParentBackground(CDC* dc, const CRect& rect)
{
    HWND parent = GetParent();
    BOOL erased = FALSE;
    const int saved = dc->SaveDC();
    dc->IntersectClipRect(rect);
    if (parent) {
        // The parent erases in its own client coordinates.
        POINT origin = {0, 0};
        ::MapWindowPoints(m_hWnd, parent, &origin, 1);
        dc->OffsetViewportOrg(-origin.x, -origin.y);
        erased = static_cast<BOOL>(::SendMessageA(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc->m_hDC), 0));
    }
    dc->RestoreDC(saved);
    // A parent that erases nothing gets the dialog face it most likely has.
    if (!erased)
        dc->FillSolidRect(rect, ::GetSysColor(COLOR_BTNFACE));
}

LRESULT CGradientButton::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wp), CPoint(lp));
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wp), CPoint(lp));
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wp), CPoint(lp));
        return 0;
    case WM_LBUTTONDBLCLK:
        // The second press of a quick pair is a press like the first: the
        // standard owner-drawn button would only report a double click,
        // which nobody handles, and Forward clicked twice would step once.
        return SendMessage(WM_LBUTTONDOWN, wp, lp);
    case WM_KILLFOCUS:
        OnKillFocus(reinterpret_cast<HWND>(wp));
        return 0;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(reinterpret_cast<HWND>(lp));
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wp)));
    case WM_RBUTTONDOWN:
        OnRButtonDown(static_cast<UINT>(wp), CPoint(lp));
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wp), static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        return 0;
    }
    return CButton::WindowProc(msg, wp, lp);
}

bool CGradientButton::IsOver(CPoint point, HWND* under) const
{
    POINT screen = point;
    ClientToScreen(&screen);
    HWND wnd = ::WindowFromPoint(screen);
    if (under)
        *under = wnd;
    return wnd == m_hWnd;
}

void CGradientButton::TakeCapture()
{
    if (::GetCapture() != m_hWnd)
        SetCapture();
}

void CGradientButton::Evaluate(UINT flags, CPoint point)
{
    if (m_style & kMouseIgnored)
        return;
    HWND under = nullptr;
    const bool over = IsOver(point, &under);
    const bool capture = !(m_style & kNoCapture);
    if (!capture && !over) {
        if (under == m_lastWnd)
            return;
        m_lastWnd = under;
        m_hover = 0;
        m_pressed = 0;
        Invalidate(TRUE);
        return;
    }
    if (under == m_lastWnd && flags == m_lastFlags)
        return;
    m_lastFlags = flags;
    m_lastWnd = under;
    const bool held = (flags & MK_LBUTTON) != 0;
    if (held && over) {
        m_pressed = 1;
        m_hover = 1;
        if (capture)
            TakeCapture();
    } else if (held) {
        m_pressed = 1;
        m_hover = 0;
    } else if (!over) {
        m_hover = 0;
        m_pressed = 0;
        if (capture)
            ::ReleaseCapture();
        m_lastWnd = nullptr;
    } else {
        m_hover = 1;
        m_pressed = 0;
        if (capture)
            TakeCapture();
    }
    Invalidate(TRUE);
}

void CGradientButton::EvaluatePressAtCursor()
{
    POINT cursor = {0, 0};
    ::GetCursorPos(&cursor);
    ScreenToClient(&cursor);
    Evaluate(MK_LBUTTON, CPoint(cursor.x, cursor.y));
}

void CGradientButton::OnMouseMove(UINT flags, CPoint point)
{
    Default();
    Evaluate(flags, point);
}

void CGradientButton::OnLButtonDown(UINT, CPoint)
{
    if (m_style & kMouseIgnored)
        return;
    m_pressed = 1;
    if (!(m_style & kNoCapture)) {
        TakeCapture();
        Default();
    }
    if (!(m_style & kDerivedBorders))
        EvaluatePressAtCursor();
}

void CGradientButton::OnLButtonUp(UINT, CPoint point)
{
    if (m_style & kMouseIgnored)
        return;
    m_pressed = 0;
    if (!IsOver(point, nullptr))
        m_hover = 0;
    m_lastWnd = nullptr;
    // Flipped before the standard handling sends the click, so the parent
    // sees the new state.
    if ((m_style & kToggle) && !(m_style & kNoToggle))
        SetCheck(GetCheck() == 0 ? 1 : 0);
    if (!(m_style & kNoCapture))
        Default();
}

void CGradientButton::OnKillFocus(HWND)
{
    Default();
    if (!(m_style & kFocusReset))
        return;
    if (m_hover == 1) {
        m_hover = 0;
        m_pressed = 0;
        Invalidate(TRUE);
    }
    m_lastWnd = nullptr;
    if (!(m_style & kNoCapture) && ::GetCapture() == m_hWnd)
        ::ReleaseCapture();
}

void CGradientButton::OnCaptureChanged(HWND)
{
    Default();
    m_hover = 0;
    m_pressed = 0;
    Invalidate(TRUE);
    m_lastWnd = nullptr;
}

BOOL CGradientButton::OnEraseBkgnd(CDC*)
{
    // DrawItem paints every pixel; erasing first would only flicker.
    return TRUE;
}

void CGradientButton::OnRButtonDown(UINT flags, CPoint point)
{
    if (!(m_style & kNoCapture)) {
        CWinApp* app = AfxGetApp();
        CWnd* main = app ? app->m_pMainWnd : nullptr;
        if (main && main->m_hWnd) {
            POINT p = point;
            ClientToScreen(&p);
            ::ScreenToClient(main->m_hWnd, &p);
            ::SendMessageA(main->m_hWnd, WM_RBUTTONDOWN, flags, MAKELPARAM(p.x, p.y));
        }
    }
    if (!(m_style & kDerivedBorders))
        EvaluatePressAtCursor();
}

void CGradientButton::OnSize(UINT, int, int cy)
{
    m_height = cy;
    m_halfHeight = cy / 2;
    ComputeGradient((m_style & kInverted) ? kInverted : 0);
    Default();
}

void CGradientButton::InitToolTip()
{
    if (m_toolTip.m_hWnd)
        return;
    m_toolTip.Create(this, 0);
    m_toolTip.Activate(FALSE);
}

BOOL CGradientButton::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_MOUSEMOVE) {
        InitToolTip();
        if (m_toolTip.m_hWnd)
            m_toolTip.RelayEvent(msg);
    }
    return CButton::PreTranslateMessage(msg);
}
