// CGradientButton: configuration, the gradient, painting read back as
// pixels, and the mouse state machine driven with messages.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include "controls/gradient_button.h"
#include "res/resource.h"
#include "tests/unit/test_host.h"

namespace {

class ProbeButton : public CGradientButton {
public:
    using CGradientButton::m_activeFaceColor;
    using CGradientButton::m_activeTextColor;
    using CGradientButton::m_activeVertices;
    using CGradientButton::m_appliedCheck;
    using CGradientButton::m_checkedIcon;
    using CGradientButton::m_darkColor;
    using CGradientButton::m_halfHeight;
    using CGradientButton::m_height;
    using CGradientButton::m_hover;
    using CGradientButton::m_lastWnd;
    using CGradientButton::m_lightColor;
    using CGradientButton::m_logFont;
    using CGradientButton::m_normalDarkColor;
    using CGradientButton::m_normalFaceColor;
    using CGradientButton::m_normalIcon;
    using CGradientButton::m_normalLightColor;
    using CGradientButton::m_normalTextColor;
    using CGradientButton::m_normalVertices;
    using CGradientButton::m_pCurrentIcon;
    using CGradientButton::m_pressed;
    using CGradientButton::m_textFormat;
    using CGradientButton::m_toolTip;
};

const COLORREF kBg = TestHost::kBackground;

int LowX(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
int HighY(LPARAM lp) { return static_cast<short>(HIWORD(lp)); }

// Per channel, clamped at 0 and 255: how this control shifts colours.
COLORREF Shift(COLORREF c, int d)
{
    auto ch = [d](int v) { return v + d < 0 ? 0 : v + d > 255 ? 255 : v + d; };
    return RGB(ch(GetRValue(c)), ch(GetGValue(c)), ch(GetBValue(c)));
}

// A host at a fixed screen place with one owner-drawn button in it.
struct Fixture {
    explicit Fixture(DWORD style, int width = 70, int height = 42, const char* caption = "Scan")
        : host(200, 200, 300, 120)
    {
        HWND wnd = host.AddChild("Button", caption, BS_OWNERDRAW | WS_TABSTOP, 10, 10, width, height, 1003);
        button.SubclassWindow(wnd);
        button.SetStyle(style);
        other = host.AddChild("Button", "Other", BS_PUSHBUTTON, 200, 10, 60, 30, 1004);
    }
    ~Fixture() { PumpMessages(); }

    // The button painted as the framework asks it to, into a canvas.
    void Paint(Canvas& canvas, UINT state = 0)
    {
        DRAWITEMSTRUCT dis = {};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = 1003;
        dis.hwndItem = button.m_hWnd;
        dis.hDC = canvas.dc();
        dis.itemState = state;
        ::GetClientRect(button.m_hWnd, &dis.rcItem);
        button.DrawItem(&dis);
    }
    void Look(int hover, int pressed)
    {
        button.m_hover = hover;
        button.m_pressed = pressed;
    }
    POINT ScreenOf(int x, int y) const
    {
        POINT p = {x, y};
        ::ClientToScreen(button.m_hWnd, &p);
        return p;
    }
    // The cursor to a point of the button's client area, as a user would.
    void CursorTo(int x, int y)
    {
        const POINT p = ScreenOf(x, y);
        ::SetCursorPos(p.x, p.y);
    }
    void Send(UINT msg, WPARAM flags, int x, int y)
    {
        ::SendMessageA(button.m_hWnd, msg, flags, MAKELPARAM(x, y));
    }
    int Clicks() const
    {
        int n = 0;
        for (const auto& c : host.commands)
            n += c.id == 1003 && c.code == BN_CLICKED;
        return n;
    }
    bool HasCapture() const { return ::GetCapture() == button.m_hWnd; }

    TestHost host;
    ProbeButton button;
    HWND other = nullptr;
};

// Bounding box of the pixels that differ between two renderings.
RECT Difference(const Canvas& a, const Canvas& b)
{
    RECT box = {a.width(), a.height(), -1, -1};
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.At(x, y) != b.At(x, y)) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
    return box;
}

int CountColor(const Canvas& c, COLORREF color, const RECT& area)
{
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            n += c.At(x, y) == color;
    return n;
}

TEST(GradientButton, StartsWithTheSystemLookAndTheInvertedGradient)
{
    ProbeButton b;
    EXPECT_EQ(b.GetButtonStyle(), 5u);
    EXPECT_EQ(b.GetCheck(), 0);
    EXPECT_EQ(b.m_textFormat, 37u);
    EXPECT_EQ(b.m_halfHeight, 15);
    EXPECT_EQ(b.m_height, 30);
    EXPECT_STREQ(b.m_logFont.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(b.m_normalFaceColor, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(b.m_darkColor, ::GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(b.m_pCurrentIcon, nullptr);
    // Inverted: the middle is the lighter one.
    EXPECT_LT(b.m_normalVertices[0].Red, b.m_normalVertices[1].Red);
    EXPECT_EQ(b.m_normalVertices[3].y, 30);
}

TEST(GradientButton, GradientVertices)
{
    struct Row {
        COLORREF face;
        UINT mode;
        COLOR16 edge, middle;
    } rows[] = {
        {0x808080, 0, 37768, 25768},
        {0x808080, 0x400, 25768, 37768},
        {0x808080, 0x401, 37768, 25768}, // any other mode is the normal one
        {0xFFFFFF, 0, 0xFF00, 0xFF00 - 7000},
        {0x000000, 0, 5000, 0}, // clamped, not wrapped
        {0x000000, 0x400, 0, 5000},
    };
    for (const Row& r : rows) {
        ProbeButton b;
        b.SetColors(0, r.face, 0, r.face);
        b.ComputeGradient(r.mode);
        const TRIVERTEX* v = b.m_normalVertices;
        SCOPED_TRACE(testing::Message() << std::hex << r.face << " mode " << r.mode);
        EXPECT_EQ(v[0].Red, r.edge);
        EXPECT_EQ(v[0].Blue, r.edge);
        EXPECT_EQ(v[1].Green, r.middle);
        EXPECT_EQ(v[2].Red, r.middle);
        EXPECT_EQ(v[3].Blue, r.edge);
        EXPECT_EQ(v[0].Alpha, 0);
        EXPECT_EQ(v[0].x, 0);
        EXPECT_EQ(v[1].x, 100);
        EXPECT_EQ(v[2].x, 0);
        EXPECT_EQ(v[3].x, 100);
        EXPECT_EQ(v[1].y, 15);
        EXPECT_EQ(v[2].y, 15);
        EXPECT_EQ(v[3].y, 30);
        EXPECT_EQ(b.m_activeVertices[0].Red, r.edge);
    }
}

TEST(GradientButton, ChannelsOfAColourAreComputedApart)
{
    ProbeButton b;
    b.SetColors(0, RGB(0x10, 0x80, 0xF0), 0, RGB(0x10, 0x80, 0xF0));
    b.ComputeGradient(0);
    EXPECT_EQ(b.m_normalVertices[0].Red, 0x1000 + 5000);
    EXPECT_EQ(b.m_normalVertices[0].Green, 0x8000 + 5000);
    EXPECT_EQ(b.m_normalVertices[0].Blue, 0xFF00);
    EXPECT_EQ(b.m_normalVertices[1].Red, 0x1000 - 4096);
}

TEST(GradientButton, StyleSetsTheCaptionAlignment)
{
    ProbeButton b;
    b.SetStyle(0x10000);
    EXPECT_EQ(b.m_textFormat, 36u);
    EXPECT_EQ(b.GetButtonStyle(), 0x10000u);
    b.SetStyle(0);
    EXPECT_EQ(b.m_textFormat, 37u);
}

TEST(GradientButton, FontChangesOnlyWhatIsGiven)
{
    ProbeButton b;
    const LONG weight = b.m_logFont.lfWeight;
    b.SetFont(20, "", -1);
    EXPECT_EQ(b.m_logFont.lfHeight, 20);
    EXPECT_STREQ(b.m_logFont.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(b.m_logFont.lfWeight, weight);
    b.SetFont(20, "Verdana", 100);
    EXPECT_STREQ(b.m_logFont.lfFaceName, "Verdana");
    EXPECT_EQ(b.m_logFont.lfWeight, 100);
    // A name too long for the LOGFONT is cut to its 31 characters.
    const std::string longName(40, 'F');
    b.SetFont(12, longName.c_str(), -1);
    EXPECT_EQ(std::strlen(b.m_logFont.lfFaceName), 31u);
    EXPECT_EQ(b.m_logFont.lfWeight, 100);
}

TEST(GradientButton, CheckStateAndTheColourSwap)
{
    ProbeButton b;
    b.SetColors(1, 2, 3, 4);
    b.SetCheck(2);
    EXPECT_EQ(b.GetCheck(), 0);
    EXPECT_EQ(b.m_pCurrentIcon, nullptr);
    b.SetCheck(1);
    EXPECT_EQ(b.GetCheck(), 1);
    EXPECT_EQ(b.m_pCurrentIcon, &b.m_checkedIcon);
    EXPECT_EQ(b.m_activeFaceColor, 2u) << "no swap without style 0x1000";

    b.SetStyle(0x1000);
    b.SetCheck(1);
    b.SetCheck(1);
    EXPECT_EQ(b.m_activeTextColor, 3u);
    EXPECT_EQ(b.m_activeFaceColor, 4u);
    EXPECT_EQ(b.m_normalTextColor, 1u);
    EXPECT_EQ(b.m_normalFaceColor, 2u);
    EXPECT_EQ(b.m_appliedCheck, 1);
    b.SetCheck(0);
    EXPECT_EQ(b.m_activeFaceColor, 2u);
    EXPECT_EQ(b.m_normalFaceColor, 4u);
    EXPECT_EQ(b.m_pCurrentIcon, &b.m_normalIcon);
}

TEST(GradientButton, DerivedBordersComeFromTheOppositeFace)
{
    ProbeButton b;
    b.SetStyle(0x40);
    b.SetColors(0, RGB(0x40, 0x40, 0x40), 0, RGB(0x80, 0x80, 0x80));
    EXPECT_EQ(b.m_lightColor, RGB(0x8A, 0x8A, 0x8A));
    EXPECT_EQ(b.m_darkColor, RGB(0x76, 0x76, 0x76));
    EXPECT_EQ(b.m_normalLightColor, RGB(0x4A, 0x4A, 0x4A));
    EXPECT_EQ(b.m_normalDarkColor, RGB(0x36, 0x36, 0x36));
    // Near the ends of a channel the shift stops there.
    b.SetColors(0, RGB(0x05, 0xFA, 0x80), 0, 0);
    EXPECT_EQ(b.m_normalLightColor, RGB(0x0F, 0xFF, 0x8A));
    EXPECT_EQ(b.m_normalDarkColor, RGB(0x00, 0xF0, 0x76));
}

TEST(GradientButton, ResizeRecomputesTheHalfHeight)
{
    Fixture f(13);
    ::SetWindowPos(f.button.m_hWnd, nullptr, 0, 0, 70, 41, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(f.button.m_height, 41);
    EXPECT_EQ(f.button.m_halfHeight, 20);
    EXPECT_EQ(f.button.m_normalVertices[1].y, 20);
    EXPECT_EQ(f.button.m_normalVertices[3].y, 41);
}

TEST(GradientButton, IconSizeFollowsTheStyle)
{
    for (DWORD style : {13u, 0x4008u}) {
        Fixture f(style);
        HICON icon = f.button.SetIcon(IDI_SCAN, nullptr);
        ASSERT_TRUE(icon);
        ICONINFO info = {};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bm = {};
        ::GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, style & 0x4000 ? 32 : 16);
        if (info.hbmColor)
            ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        EXPECT_EQ(f.button.m_pCurrentIcon, &f.button.m_normalIcon);
        ::DestroyIcon(icon);
        f.button.m_normalIcon = nullptr;
    }
    Fixture f(13);
    EXPECT_EQ(f.button.SetIcon(9999, nullptr), nullptr);
}

// The navigation button: 70 x 42, style 13, icon over caption.
TEST(GradientButtonPaint, NavigationButtonLooks)
{
    Fixture f(13);
    f.button.SetIcon(IDI_BACK, nullptr);
    const COLORREF light = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF dark = ::GetSysColor(COLOR_BTNSHADOW);
    struct Row {
        const char* look;
        int hover, pressed;
        COLORREF topLeft, bottomRight;
    } rows[] = {
        {"hot", 1, 0, Shift(light, -0x14), Shift(dark, -0x14)},
        {"pressed", 0, 1, dark, light},
        {"hot and pressed", 1, 1, dark, light},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.look);
        Canvas c(70, 42);
        f.Look(r.hover, r.pressed);
        f.Paint(c);
        EXPECT_EQ(c.At(0, 0), r.topLeft);
        EXPECT_EQ(c.At(68, 0), r.topLeft);
        EXPECT_EQ(c.At(0, 40), r.topLeft);
        EXPECT_EQ(c.At(69, 0), r.bottomRight);
        EXPECT_EQ(c.At(69, 41), r.bottomRight);
        EXPECT_EQ(c.At(0, 41), r.bottomRight);
        EXPECT_EQ(c.At(35, 1), kBg) << "no face brush: the host shows through";

        // Back to normal in the same place: no frame is left behind.
        f.Look(0, 0);
        f.Paint(c);
        EXPECT_EQ(c.At(0, 0), kBg);
        EXPECT_EQ(c.At(69, 41), kBg);
        EXPECT_EQ(c.At(35, 0), kBg);
        EXPECT_EQ(c.At(0, 21), kBg);
    }
}

TEST(GradientButtonPaint, IconAboveTheCaptionStrip)
{
    Fixture f(13);
    f.button.SetIcon(IDI_BACK, nullptr);
    Canvas plain(70, 42), icon(70, 42), both(70, 42);
    ::SetWindowTextA(f.button.m_hWnd, "");
    HICON saved = f.button.m_normalIcon;
    f.button.m_normalIcon = nullptr;
    f.Paint(plain);
    f.button.m_normalIcon = saved;
    f.Paint(icon);
    ::SetWindowTextA(f.button.m_hWnd, "Back");
    f.Paint(both);

    const RECT iconBox = Difference(plain, icon);
    EXPECT_GE(iconBox.left, 26);
    EXPECT_GE(iconBox.top, 4);
    EXPECT_LE(iconBox.right, 26 + 16);
    EXPECT_LE(iconBox.bottom, 4 + 16);
    EXPECT_GT(iconBox.right, iconBox.left) << "the icon is drawn";

    const RECT captionBox = Difference(icon, both);
    EXPECT_GE(captionBox.top, 24) << "caption in the 18-pixel strip";
    EXPECT_LE(captionBox.bottom, 42);
    // Centred: about as much room on the left as on the right.
    EXPECT_LE(std::abs(static_cast<int>(captionBox.left) - (70 - static_cast<int>(captionBox.right))), 3);
    EXPECT_GT(CountColor(both, ::GetSysColor(COLOR_BTNTEXT), captionBox), 0);
}

TEST(GradientButtonPaint, DisabledCaptionAndIcon)
{
    Fixture f(13);
    f.button.SetIcon(IDI_SCAN, nullptr);
    Canvas enabled(70, 42), disabled(70, 42);
    f.Paint(enabled);
    f.Paint(disabled, ODS_DISABLED);
    const RECT strip = {0, 24, 70, 42};
    EXPECT_GT(CountColor(disabled, ::GetSysColor(COLOR_GRAYTEXT), strip), 0);
    EXPECT_EQ(CountColor(disabled, ::GetSysColor(COLOR_BTNTEXT), strip), 0);
    const RECT iconDiff = Difference(enabled, disabled);
    EXPECT_LT(iconDiff.top, 24) << "the icon is drawn differently when disabled";
    EXPECT_EQ(disabled.At(0, 0), kBg) << "the normal look, whatever the state";
}

TEST(GradientButtonPaint, LocationBar)
{
    Fixture f(0x30003, 240, 25, "Share resources at: \\\\PC1");
    f.button.SetFont(20, "Verdana", 100);
    f.button.SetColors(0, 0, 0xFFFFFF, 0x808080);
    for (int hover : {0, 1}) {
        Canvas c(240, 25);
        f.Look(hover, 0);
        f.Paint(c);
        if (hover) {
            // Never shown on screen, since the bar ignores the mouse.
            EXPECT_EQ(c.At(3, 3), RGB(0, 0, 0)) << "the active face";
            continue;
        }
        EXPECT_EQ(c.At(0, 0), RGB(0x80, 0x80, 0x80)) << "filled, no frame";
        EXPECT_EQ(c.At(239, 24), RGB(0x80, 0x80, 0x80));
        const RECT all = {0, 0, 240, 25};
        EXPECT_GT(CountColor(c, RGB(255, 255, 255), all), 20);
        const RECT margin = {0, 0, 6, 25};
        EXPECT_EQ(CountColor(c, RGB(255, 255, 255), margin), 0);
        int leftmost = 240;
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < 240; ++x)
                if (c.At(x, y) == RGB(255, 255, 255))
                    leftmost = std::min(leftmost, x);
        EXPECT_LE(leftmost, 9) << "left-aligned at the inset";
    }
}

TEST(GradientButtonPaint, RoundedShapes)
{
    const COLORREF lightPen = RGB(1, 2, 3), darkPen = RGB(4, 5, 6), normalPen = RGB(10, 11, 12);
    const COLORREF activeFace = RGB(200, 0, 0), normalFace = RGB(0, 200, 0);
    struct Row {
        const char* look;
        int hover, pressed;
        int edgeY; // the row of the outline at the top
        COLORREF pen, face;
    } rows[] = {
        {"normal", 0, 0, 0, normalPen, normalFace},
        {"hot", 1, 0, 0, lightPen, activeFace},
        {"pressed", 0, 1, 1, lightPen, activeFace},
        {"hot and pressed", 1, 1, 1, darkPen, activeFace},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.look);
        Fixture f(0x100, 70, 42, "");
        f.button.SetColors(0, activeFace, 0, normalFace);
        f.button.SetBorderColors(lightPen, darkPen, RGB(7, 8, 9), normalPen);
        Canvas c(70, 42);
        f.Look(r.hover, r.pressed);
        f.Paint(c);
        EXPECT_EQ(c.At(35, r.edgeY), r.pen);
        EXPECT_EQ(c.At(35, 21), r.face);
        if (r.edgeY) {
            EXPECT_EQ(c.At(35, 0), kBg) << "the shrunk shape leaves the edge to the host";
        }
    }
}

TEST(GradientButtonPaint, GradientFaces)
{
    // Rectangle with gradient and no fill: a fixed 100-pixel band, then the
    // host; the normal look framed.
    {
        Fixture f(0x280, 130, 40, "");
        f.button.SetColors(0, 0x808080, 0, 0x808080);
        f.button.SetBorderColors(0, 0, RGB(0xE0, 0xE0, 0xE0), RGB(0x50, 0x50, 0x50));
        Canvas c(130, 40);
        f.Paint(c);
        // The vertices keep the height of the last resize: 30 when the
        // window was sized before it was subclassed.
        const COLORREF middle = c.At(50, 15);
        EXPECT_NEAR(GetRValue(middle), 25768 >> 8, 3);
        EXPECT_NEAR(GetGValue(c.At(50, 1)), 37768 >> 8, 12);
        EXPECT_EQ(c.At(110, 20), kBg);
        EXPECT_EQ(c.At(0, 0), RGB(0xE0, 0xE0, 0xE0));
        EXPECT_EQ(c.At(129, 39), RGB(0x46, 0x46, 0x46));
    }
    // Rounded with gradient: the outline clips the gradient, the pen outlines.
    {
        Fixture f(0x300, 80, 40, "");
        f.button.SetColors(0, 0x808080, 0, 0x808080);
        f.button.SetBorderColors(RGB(1, 2, 3), RGB(4, 5, 6), 0, RGB(10, 11, 12));
        Canvas c(80, 40);
        f.Paint(c);
        EXPECT_NEAR(GetRValue(c.At(50, 15)), 25768 >> 8, 3);
        EXPECT_EQ(c.At(40, 0), RGB(10, 11, 12));
    }
}

TEST(GradientButtonPaint, LeavesTheContextAsItFoundIt)
{
    Fixture f(13);
    f.button.SetIcon(IDI_STOP, nullptr);
    Canvas c(70, 42);
    HGDIOBJ font = ::GetCurrentObject(c.dc(), OBJ_FONT);
    HGDIOBJ pen = ::GetCurrentObject(c.dc(), OBJ_PEN);
    HGDIOBJ brush = ::GetCurrentObject(c.dc(), OBJ_BRUSH);
    ::SetTextColor(c.dc(), RGB(1, 2, 3));
    ::SetBkMode(c.dc(), OPAQUE);
    const int gdiBefore = CountGdiObjects();
    for (int i = 0; i < 300; ++i) {
        f.Look(i % 2, i % 3 == 0);
        f.Paint(c, i % 5 == 0 ? ODS_DISABLED : 0);
    }
    EXPECT_EQ(CountGdiObjects(), gdiBefore) << "painting makes no pen, brush or font of its own";
    EXPECT_EQ(::GetCurrentObject(c.dc(), OBJ_FONT), font);
    EXPECT_EQ(::GetCurrentObject(c.dc(), OBJ_PEN), pen);
    EXPECT_EQ(::GetCurrentObject(c.dc(), OBJ_BRUSH), brush);
    EXPECT_EQ(::GetTextColor(c.dc()), RGB(1, 2, 3));
    EXPECT_EQ(::GetBkMode(c.dc()), OPAQUE);
}

// The mouse, as message sequences. Points are in the button's client area;
// (-5, -5) lies on the host, off the button.
TEST(GradientButtonMouse, HoverTakesAndLeavingReleasesTheCapture)
{
    Fixture f(13);
    f.CursorTo(5, 5);
    f.Send(WM_MOUSEMOVE, 0, 5, 5);
    EXPECT_EQ(f.button.m_hover, 1);
    EXPECT_EQ(f.button.m_pressed, 0);
    EXPECT_TRUE(f.HasCapture());

    // The same move again changes nothing and repaints nothing.
    ::ValidateRect(f.button.m_hWnd, nullptr);
    f.Send(WM_MOUSEMOVE, 0, 5, 5);
    EXPECT_FALSE(::GetUpdateRect(f.button.m_hWnd, nullptr, FALSE));

    f.Send(WM_MOUSEMOVE, 0, -5, -5);
    EXPECT_EQ(f.button.m_hover, 0);
    EXPECT_FALSE(f.HasCapture());
    EXPECT_EQ(f.button.m_lastWnd, nullptr);
    EXPECT_TRUE(::GetUpdateRect(f.button.m_hWnd, nullptr, FALSE));
}

TEST(GradientButtonMouse, PressDragAndRelease)
{
    struct Row {
        const char* name;
        DWORD style;
        bool releaseOver;
        int clicks;
        int checkAfter;
    } rows[] = {
        {"release over", 13, true, 1, 0},
        {"release off", 13, false, 0, 0},
        {"toggle", 13 | 0x800, true, 1, 1},
        {"toggle suppressed", 13 | 0x800 | 0x2000, true, 1, 0},
        {"toggle, release off", 13 | 0x800, false, 0, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Fixture f(r.style);
        int checkSeen = -1;
        f.host.onCommand = [&](const TestHost::Command& c) {
            if (c.id == 1003)
                checkSeen = f.button.GetCheck();
        };
        f.CursorTo(5, 5);
        f.Send(WM_MOUSEMOVE, 0, 5, 5);
        f.Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
        EXPECT_EQ(f.button.m_hover, 1);
        EXPECT_EQ(f.button.m_pressed, 1);
        EXPECT_TRUE(f.HasCapture());

        f.CursorTo(-5, -5);
        f.Send(WM_MOUSEMOVE, MK_LBUTTON, -5, -5);
        EXPECT_EQ(f.button.m_hover, 0);
        EXPECT_EQ(f.button.m_pressed, 1);
        EXPECT_TRUE(f.HasCapture()) << "the capture stays while the button is held";

        if (r.releaseOver) {
            f.CursorTo(6, 6);
            f.Send(WM_MOUSEMOVE, MK_LBUTTON, 6, 6);
            EXPECT_EQ(f.button.m_hover, 1);
            EXPECT_EQ(f.button.m_pressed, 1);
            f.Send(WM_LBUTTONUP, 0, 6, 6);
        } else {
            f.Send(WM_LBUTTONUP, 0, -5, -5);
        }
        EXPECT_EQ(f.Clicks(), r.clicks);
        EXPECT_EQ(f.button.GetCheck(), r.checkAfter);
        if (r.clicks) {
            EXPECT_EQ(checkSeen, r.checkAfter) << "the parent sees the new check state";
        }
        EXPECT_EQ(f.button.m_hover, 0);
        EXPECT_EQ(f.button.m_pressed, 0);
        EXPECT_FALSE(f.HasCapture());
    }
}

TEST(GradientButtonMouse, AQuickSecondClickIsAClick)
{
    // The system turns the second press of a quick pair into a double click.
    const struct {
        const char* name;
        DWORD style;
        int clicks;
    } rows[] = {
        {"navigation button", 13, 2},
        {"toggle", 13 | 0x800, 2},
        {"location bar, mouse ignored", 0x30003, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Fixture f(r.style);
        f.CursorTo(5, 5);
        f.Send(WM_MOUSEMOVE, 0, 5, 5);
        f.Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
        f.Send(WM_LBUTTONUP, 0, 5, 5);
        f.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, 5, 5);
        f.Send(WM_LBUTTONUP, 0, 5, 5);
        EXPECT_EQ(f.Clicks(), r.clicks);
        EXPECT_EQ(f.button.GetCheck(), 0) << "two flips of a toggle";
        EXPECT_EQ(f.button.m_pressed, 0);
        EXPECT_FALSE(f.HasCapture());
    }
}

TEST(GradientButtonMouse, StylesThatChangeTheMouseHandling)
{
    // The location bar's style ignores the mouse entirely.
    {
        Fixture f(0x30003);
        f.CursorTo(5, 5);
        f.Send(WM_MOUSEMOVE, 0, 5, 5);
        f.Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
        f.Send(WM_LBUTTONUP, 0, 5, 5);
        EXPECT_EQ(f.button.m_hover, 0);
        EXPECT_EQ(f.button.m_pressed, 0);
        EXPECT_EQ(f.Clicks(), 0);
        EXPECT_FALSE(f.HasCapture());
    }
    // No capture: hot only while moves arrive over it, and no clicks.
    {
        Fixture f(13 | 0x8000);
        f.CursorTo(5, 5);
        f.Send(WM_MOUSEMOVE, 0, 5, 5);
        EXPECT_EQ(f.button.m_hover, 1);
        EXPECT_FALSE(f.HasCapture());
        f.Send(WM_MOUSEMOVE, 0, -5, -5);
        EXPECT_EQ(f.button.m_hover, 0);
        f.Send(WM_MOUSEMOVE, 0, -5, -5);
        f.Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
        EXPECT_FALSE(f.HasCapture());
        f.Send(WM_LBUTTONUP, 0, 5, 5);
        EXPECT_EQ(f.Clicks(), 0);
        EXPECT_EQ(f.button.m_pressed, 0);
    }
    // 0x40: a press does not re-evaluate, so it does not turn hot.
    {
        Fixture f(13 | 0x40);
        f.CursorTo(5, 5);
        // (Wine tells a window that takes the capture it already holds that
        // it lost it, so the standard handling's own capture clears the
        // pressed flag again; only the missing re-evaluation is this style's.)
        f.Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 5);
        EXPECT_EQ(f.button.m_hover, 0);
        EXPECT_EQ(f.button.m_lastWnd, nullptr);
        f.Send(WM_LBUTTONUP, 0, 5, 5);
    }
}

TEST(GradientButtonMouse, FocusAndCaptureLoss)
{
    // Style 13 resets on focus loss and lets the capture go.
    {
        Fixture f(13);
        f.CursorTo(5, 5);
        f.Send(WM_MOUSEMOVE, 0, 5, 5);
        ASSERT_TRUE(f.HasCapture());
        ::SendMessageA(f.button.m_hWnd, WM_KILLFOCUS, reinterpret_cast<WPARAM>(f.other), 0);
        EXPECT_EQ(f.button.m_hover, 0);
        EXPECT_FALSE(f.HasCapture());
        EXPECT_EQ(f.button.m_lastWnd, nullptr);
    }
    // Without 0x1 the look and the capture survive focus loss.
    {
        Fixture f(12);
        f.CursorTo(5, 5);
        f.Send(WM_MOUSEMOVE, 0, 5, 5);
        ::SendMessageA(f.button.m_hWnd, WM_KILLFOCUS, reinterpret_cast<WPARAM>(f.other), 0);
        EXPECT_EQ(f.button.m_hover, 1);
        EXPECT_TRUE(f.HasCapture());
        // Any capture change makes it normal.
        ::SetCapture(f.other);
        EXPECT_EQ(f.button.m_hover, 0);
        EXPECT_EQ(f.button.m_pressed, 0);
        ::ReleaseCapture();
    }
}

TEST(GradientButtonMouse, RightPressGoesToTheMainWindow)
{
    Fixture f(13);
    TestHost main(600, 400, 200, 100);
    CWnd* savedMain = AfxGetApp()->m_pMainWnd;
    AfxGetApp()->m_pMainWnd = &main;
    f.CursorTo(5, 7);
    f.Send(WM_RBUTTONDOWN, MK_RBUTTON, 5, 7);
    AfxGetApp()->m_pMainWnd = savedMain;

    ASSERT_EQ(main.rightPresses.size(), 1u);
    const POINT screen = f.ScreenOf(5, 7);
    EXPECT_EQ(LowX(main.rightPresses[0]), screen.x - 600);
    EXPECT_EQ(HighY(main.rightPresses[0]), screen.y - 400);
    EXPECT_EQ(f.button.m_hover, 1);
    EXPECT_EQ(f.button.m_pressed, 1);
    EXPECT_TRUE(f.host.rightPresses.empty());

    // No main window: nothing is sent, and nothing breaks.
    AfxGetApp()->m_pMainWnd = nullptr;
    f.Send(WM_RBUTTONDOWN, MK_RBUTTON, 5, 7);
    AfxGetApp()->m_pMainWnd = savedMain;
    EXPECT_EQ(main.rightPresses.size(), 1u);
    ::ReleaseCapture();
}

TEST(GradientButtonMouse, ToolTipMadeInactiveOnTheFirstMove)
{
    Fixture f(13);
    EXPECT_FALSE(f.button.m_toolTip.m_hWnd);
    MSG msg = {f.button.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5), 0, {0, 0}};
    EXPECT_FALSE(f.button.PreTranslateMessage(&msg));
    ASSERT_TRUE(f.button.m_toolTip.m_hWnd);
    // A popup's owner is always a top-level window: the button's.
    EXPECT_EQ(::GetWindow(f.button.m_toolTip.m_hWnd, GW_OWNER), ::GetAncestor(f.button.m_hWnd, GA_ROOT));
    EXPECT_EQ(::SendMessageA(f.button.m_toolTip.m_hWnd, TTM_GETTOOLCOUNT, 0, 0), 0);
}

} // namespace
