#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <gtest/gtest.h>
#include "controls/gradient_button.h"
#include "res/resource.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/test_host.h"

namespace {

RECT ChildRect(HWND parent, int id)
{
    RECT r = {};
    HWND h = ::GetDlgItem(parent, id);
    ::GetWindowRect(h, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ExpectRect(HWND parent, int id, int x, int y, int w, int h)
{
    const RECT r = ChildRect(parent, id);
    EXPECT_EQ(r.left, x) << "control " << id;
    EXPECT_EQ(r.top, y) << "control " << id;
    if (w >= 0) {
        EXPECT_EQ(r.right - r.left, w) << "control " << id;
    }
    if (h >= 0) {
        EXPECT_EQ(r.bottom - r.top, h) << "control " << id;
    }
}

int ColumnWidth(HWND list, int col)
{
    return static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, col, 0));
}

TEST(Layout, ClientOf600By400)
{
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    h.WaitIdle();
    ::SendMessageA(h.wnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 400));
    ExpectRect(h.wnd(), IDC_TREE, 2, 52, 135, 325);
    ExpectRect(h.wnd(), IDC_LIST, 140, 82, 458, 295);
    ExpectRect(h.wnd(), IDC_LOCATION, 140, 52, 460, 25);
    ExpectRect(h.wnd(), IDC_SITE_LINK, 500, 15, -1, -1);
    ExpectRect(h.wnd(), IDC_TOOLBAR_RULE, -8, 40, 612, 8);
    ExpectRect(h.wnd(), IDC_MENU_RULE, -8, -6, 612, 8);
    EXPECT_EQ(ColumnWidth(h.item(IDC_LIST), 0), 120);
    EXPECT_EQ(ColumnWidth(h.item(IDC_LIST), 1), 50);
    EXPECT_EQ(ColumnWidth(h.item(IDC_LIST), 2), 260);
    // The push buttons keep their template places.
    const RECT back = ChildRect(h.wnd(), IDC_BACK);
    const RECT fwd = ChildRect(h.wnd(), IDC_FORWARD);
    EXPECT_EQ(back.left, 0);
    EXPECT_EQ(fwd.left, back.right);
}

TEST(Layout, StatusBarDocksAtTheBottom)
{
    DialogHarness h;
    h.WaitIdle();
    RECT client;
    ::GetClientRect(h.wnd(), &client);
    const RECT bar = ChildRect(h.wnd(), IDC_STATUSBAR);
    EXPECT_EQ(bar.bottom, client.bottom);
    EXPECT_EQ(bar.left, 0);
    EXPECT_EQ(bar.right, client.right);
    // The tree and the list end above it.
    EXPECT_LE(ChildRect(h.wnd(), IDC_TREE).bottom, bar.top);
    EXPECT_LE(ChildRect(h.wnd(), IDC_LIST).bottom, bar.top);
}

TEST(Layout, MinimisedSizesCountAsZero)
{
    DialogHarness h;
    h.WaitIdle();
    ::SendMessageA(h.wnd(), WM_SIZE, SIZE_MINIMIZED, 0);
    ExpectRect(h.wnd(), IDC_TREE, 2, 52, 135, 0);
    ExpectRect(h.wnd(), IDC_LIST, 140, 82, 0, 0);
    ExpectRect(h.wnd(), IDC_LOCATION, 140, 52, 0, 25);
    ExpectRect(h.wnd(), IDC_SITE_LINK, -100, 15, -1, -1);
    ExpectRect(h.wnd(), IDC_TOOLBAR_RULE, -8, 40, 12, 8);
    EXPECT_EQ(ColumnWidth(h.item(IDC_LIST), 2), 0);
}

TEST(Layout, SizingKeepsAtLeast500By200)
{
    DialogHarness h;
    h.WaitIdle();
    const struct { UINT edge; RECT in; RECT out; } rows[] = {
        {WMSZ_RIGHT, {100, 100, 400, 500}, {100, 100, 600, 500}},
        {WMSZ_BOTTOM, {100, 100, 800, 150}, {100, 100, 800, 300}},
        {WMSZ_LEFT, {350, 100, 800, 500}, {350, 100, 850, 500}},   // the right edge moves
        {WMSZ_TOP, {100, 420, 800, 500}, {100, 420, 800, 620}},    // the bottom edge moves
        {WMSZ_TOPLEFT, {0, 0, 10, 10}, {0, 0, 500, 200}},
        {WMSZ_BOTTOMRIGHT, {0, 0, 700, 300}, {0, 0, 700, 300}},    // big enough: unchanged
        {WMSZ_RIGHT, {0, 0, 500, 200}, {0, 0, 500, 200}},          // exactly the minimum
    };
    for (const auto& r : rows) {
        RECT rect = r.in;
        ::SendMessageA(h.wnd(), WM_SIZING, r.edge, reinterpret_cast<LPARAM>(&rect));
        EXPECT_TRUE(EqualRect(&rect, &r.out)) << "edge " << r.edge << ": " << rect.left << "," << rect.top
                                              << "," << rect.right << "," << rect.bottom;
    }
}

TEST(MainWindow, TemplateStyles)
{
    DialogHarness h;
    h.WaitIdle();
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const struct { int id; DWORD style; DWORD mask; DWORD ex; } rows[] = {
        {IDC_TOOLBAR_RULE, child | BS_GROUPBOX, 0xFFFFFFFF, 0},
        {IDC_MENU_RULE, child | BS_GROUPBOX, 0xFFFFFFFF, 0},
        // The dialog manager turns a control's WS_BORDER into a 3-D client edge.
        {IDC_TREE, child | WS_TABSTOP | TVS_DISABLEDRAGDROP | TVS_TRACKSELECT | TVS_FULLROWSELECT,
         ~DWORD(WS_BORDER), 0},
        {IDC_LIST, child | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
         ~DWORD(WS_BORDER), 0},
        // The link adds SS_NOTIFY to its static when it is dressed.
        {IDC_SITE_LINK, child | WS_GROUP | SS_LEFT, ~DWORD(SS_NOTIFY), WS_EX_TRANSPARENT},
    };
    for (const auto& r : rows) {
        HWND c = h.item(r.id);
        EXPECT_EQ(static_cast<DWORD>(::GetWindowLongA(c, GWL_STYLE)) & r.mask, r.style) << r.id;
        EXPECT_EQ(static_cast<DWORD>(::GetWindowLongA(c, GWL_EXSTYLE)) & WS_EX_TRANSPARENT, r.ex) << r.id;
    }
    const DWORD style = static_cast<DWORD>(::GetWindowLongA(h.wnd(), GWL_STYLE));
    const DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(style & want, want);
    EXPECT_TRUE(::GetWindowLongA(h.wnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // The menu: Net with its two commands, Help with About.
    HMENU menu = ::GetMenu(h.wnd());
    char text[64];
    ::GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Net");
    ::GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Help");
    ::GetMenuStringA(menu, ID_NET_UPDATE, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Update Net");
    ::GetMenuStringA(menu, ID_NET_BREAK, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Break update");
    ::GetMenuStringA(menu, ID_HELP_ABOUT, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&About");
    EXPECT_EQ(::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text), 19);
    EXPECT_STREQ(text, "&About Ferrolink...");
}

TEST(MainWindow, CommonControlsSixAndIcons)
{
    // The manifest binds version 6 of the common controls in this build too:
    // its side-by-side copy is loaded.
    DialogHarness h;
    h.WaitIdle();
    HMODULE modules[512];
    DWORD bytes = 0;
    ASSERT_TRUE(::EnumProcessModules(::GetCurrentProcess(), modules, sizeof modules, &bytes));
    std::string path;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
        char name[MAX_PATH] = {};
        ::GetModuleFileNameA(modules[i], name, sizeof name);
        CharLowerA(name);
        if (std::string(name).find("common-controls") != std::string::npos)
            path = name;
    }
    EXPECT_NE(std::string(path).find("common-controls"), std::string::npos) << path;

    const struct { int id; int size; } icons[] = {
        {IDR_MAINFRAME, 32}, {IDI_SCAN, 16}, {IDI_FORWARD, 16}, {IDI_STOP, 16}, {IDI_BACK, 16}};
    for (const auto& icon : icons) {
        HICON h = static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(icon.id), IMAGE_ICON,
                                                  0, 0, 0));
        ASSERT_TRUE(h) << icon.id;
        ICONINFO ii = {};
        ASSERT_TRUE(::GetIconInfo(h, &ii));
        BITMAP bm = {};
        ::GetObjectA(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, icon.size) << icon.id;
        if (ii.hbmColor) ::DeleteObject(ii.hbmColor);
        if (ii.hbmMask) ::DeleteObject(ii.hbmMask);
        ::DestroyIcon(h);
    }
}

TEST(MainWindow, TitleColumnsAndStyles)
{
    DialogHarness h;
    h.WaitIdle();
    char title[64] = {};
    ::GetWindowTextA(h.wnd(), title, sizeof title);
    EXPECT_STREQ(title, "Ferrolink 1.0");
    for (int id : {IDC_BACK, IDC_FORWARD, IDC_STOP, IDC_SCAN, IDC_LOCATION})
        EXPECT_EQ(::GetWindowLongA(h.item(id), GWL_STYLE) & 0xFFFFFFFF, 0x5001000B) << id;
    const DWORD ex = static_cast<DWORD>(::SendMessageA(h.item(IDC_LIST), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(ex & 0x4871u, 0x4871u);
    EXPECT_EQ(::SendMessageA(h.item(IDC_TREE), TVM_GETITEMHEIGHT, 0, 0), 20);
    char caption[64] = {};
    ::GetWindowTextA(h.item(IDC_BACK), caption, sizeof caption);
    EXPECT_STREQ(caption, "Back");
    ::GetWindowTextA(h.item(IDC_SCAN), caption, sizeof caption);
    EXPECT_STREQ(caption, "Scan");
    ::GetWindowTextA(h.item(IDC_LOCATION), caption, sizeof caption);
    EXPECT_STREQ(caption, "");
    EXPECT_TRUE(::SendMessageA(h.item(IDC_STATUSBAR), SB_ISSIMPLE, 0, 0));
    const auto history = h.StatusHistory();
    ASSERT_GE(history.size(), 2u);
    EXPECT_EQ(history[0], "Ready");
    EXPECT_EQ(history[1], "Net update in progress...");
}

// The button as it paints itself, at rest.
void PaintButton(CGradientButton& button, Canvas& canvas)
{
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(::GetDlgCtrlID(button.m_hWnd));
    dis.hwndItem = button.m_hWnd;
    dis.hDC = canvas.dc();
    ::GetClientRect(button.m_hWnd, &dis.rcItem);
    canvas.Fill(RGB(0x12, 0x34, 0x56));
    button.DrawItem(&dis);
}

bool SamePixels(const Canvas& a, const Canvas& b)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.At(x, y) != b.At(x, y))
                return false;
    return true;
}

TEST(MainWindow, PushButtonsAndColumnHeadings)
{
    DialogHarness h;
    h.WaitIdle();
    // Each button's caption, and its icon: what it paints is what it paints
    // once given the icon it should have, and not what it paints with the
    // next button's.
    const struct {
        int id;
        const char* caption;
        UINT icon;
    } buttons[] = {{IDC_BACK, "Back", IDI_BACK}, {IDC_FORWARD, "Forward", IDI_FORWARD},
                   {IDC_STOP, "Stop", IDI_STOP}, {IDC_SCAN, "Scan", IDI_SCAN}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(buttons[i].caption);
        HWND wnd = h.item(buttons[i].id);
        char caption[32] = {};
        ::GetWindowTextA(wnd, caption, sizeof caption);
        EXPECT_STREQ(caption, buttons[i].caption);
        auto* button = static_cast<CGradientButton*>(CWnd::FromHandlePermanent(wnd));
        ASSERT_TRUE(button);
        RECT r;
        ::GetClientRect(wnd, &r);
        Canvas shown(r.right, r.bottom), wrong(r.right, r.bottom), right(r.right, r.bottom);
        PaintButton(*button, shown);
        button->SetIcon(buttons[(i + 1) % 4].icon, nullptr);
        PaintButton(*button, wrong);
        button->SetIcon(buttons[i].icon, nullptr);
        PaintButton(*button, right);
        EXPECT_TRUE(SamePixels(shown, right)) << "icon " << buttons[i].icon;
        EXPECT_FALSE(SamePixels(shown, wrong)) << "the icons must tell the buttons apart";
    }

    // (Their widths follow the window: Layout.* checks those.)
    const char* const headings[] = {"Name", "Type", "Comment"};
    HWND list = h.item(IDC_LIST);
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 3);
    for (int i = 0; i < 3; ++i) {
        char text[32] = {};
        LVCOLUMNA col = {};
        col.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        col.pszText = text;
        col.cchTextMax = sizeof text;
        ASSERT_TRUE(::SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&col))) << i;
        EXPECT_STREQ(text, headings[i]);
        EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT) << text;
        EXPECT_EQ(col.iSubItem, i) << text;
    }
}

TEST(MainWindow, EnterAndEscapeEndIt)
{
    for (const UINT key : {VK_RETURN, VK_ESCAPE}) {
        SCOPED_TRACE(key == VK_RETURN ? "Enter" : "Escape");
        DialogHarness h;
        ASSERT_TRUE(h.wnd());
        h.WaitIdle();
        // The key as the keyboard gives it to the control with the focus, the
        // tree after start-up; the modal loop's dialog handling does the rest.
        HWND tree = h.item(IDC_TREE);
        ::PostMessageA(tree, WM_KEYDOWN, key, 1);
        ::PostMessageA(tree, WM_KEYUP, key, 0xC0000001);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(h.wnd()); }, 5000));
    }
}

} // namespace
