// The About box: its two ways in, its links and what each opening starts
// with. The main window runs on the harness's thread; this thread plays
// the user.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <string>
#include "res/resource.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/test_host.h"

namespace {

const COLORREF kLink = RGB(0, 0, 238), kVisited = RGB(85, 26, 139);

std::string TextOf(HWND h)
{
    char buf[512] = {};
    ::GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

HWND FindAbout()
{
    HWND found = nullptr;
    WaitFor([&] {
        found = ::FindWindowA("#32770", "About Ferrolink");
        return found && ::IsWindowVisible(found);
    }, 5000);
    return found;
}

bool CloseAbout(HWND about, WPARAM id = IDOK)
{
    ::PostMessageA(about, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return WaitFor([&] { return !::IsWindow(about); }, 5000);
}

struct TipSearch {
    HWND tool;
    std::string text;
};

BOOL CALLBACK FindTip(HWND wnd, LPARAM lp)
{
    TipSearch* s = reinterpret_cast<TipSearch*>(lp);
    char cls[64] = {};
    ::GetClassNameA(wnd, cls, sizeof cls);
    if (lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0)
        return TRUE;
    char buf[256] = {};
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = s->tool;
    ti.uId = 1;
    ti.lpszText = buf;
    ::SendMessageA(wnd, TTM_GETTEXTA, sizeof buf, reinterpret_cast<LPARAM>(&ti));
    if (buf[0]) {
        s->text = buf;
        return FALSE;
    }
    return TRUE;
}

std::string TipOf(HWND tool)
{
    TipSearch s = {tool, ""};
    ::EnumWindows(&FindTip, reinterpret_cast<LPARAM>(&s));
    return s.text;
}

COLORREF TextColorOf(HWND dialog, HWND link)
{
    Canvas c(4, 4);
    ::SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(c.dc()), reinterpret_cast<LPARAM>(link));
    return ::GetTextColor(c.dc());
}

TEST(AboutBox, SystemMenuItem)
{
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    HMENU menu = ::GetSystemMenu(h.wnd(), FALSE);
    ASSERT_TRUE(menu);
    const int n = ::GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    EXPECT_EQ(::GetMenuItemID(menu, n - 1), static_cast<UINT>(IDM_ABOUTBOX));
    char text[64] = {};
    ::GetMenuStringA(menu, n - 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&About Ferrolink...");
    EXPECT_TRUE(::GetMenuState(menu, n - 2, MF_BYPOSITION) & MF_SEPARATOR);
    h.WaitIdle();
}

TEST(AboutBox, OpensFromTheSystemMenuAndTheHelpMenu)
{
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    h.WaitIdle();
    struct Way {
        const char* name;
        UINT msg;
        WPARAM wp;
    } ways[] = {
        {"system command 16", WM_SYSCOMMAND, IDM_ABOUTBOX},
        {"system command 17", WM_SYSCOMMAND, IDM_ABOUTBOX + 1},
        {"system command 31", WM_SYSCOMMAND, IDM_ABOUTBOX + 15},
        {"Help, About", WM_COMMAND, ID_HELP_ABOUT},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.name);
        ::PostMessageA(h.wnd(), w.msg, w.wp, 0);
        HWND about = FindAbout();
        ASSERT_TRUE(about);
        EXPECT_EQ(::GetWindow(about, GW_OWNER), h.wnd());
        EXPECT_FALSE(::IsWindowEnabled(h.wnd())) << "modal";
        EXPECT_EQ(TextOf(::GetDlgItem(about, IDC_SITE_LINK)), "http://www.flink.test/");
        ASSERT_TRUE(CloseAbout(about));
        EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(h.wnd()) != FALSE; }, 2000));
    }
    // A system command 32 is not the About box's.
    ::PostMessageA(h.wnd(), WM_SYSCOMMAND, IDM_ABOUTBOX + 16, 0);
    ::Sleep(300);
    EXPECT_FALSE(::FindWindowA("#32770", "About Ferrolink"));
}

TEST(AboutBox, LinksTheirTipsAndSizes)
{
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    h.WaitIdle();
    ::PostMessageA(h.wnd(), WM_COMMAND, ID_HELP_ABOUT, 0);
    HWND about = FindAbout();
    ASSERT_TRUE(about);
    struct Row {
        int id;
        const char* text;
        const char* tip;
        RECT place; // dialog units of the template
    } rows[] = {
        {IDC_SITE_LINK, "http://www.flink.test/", "Go to www.flink.test", {134, 33, 203, 41}},
        {IDC_PRODUCT_LINK, "ferrolink@flink.test", "E-mail ferrolink@flink.test", {80, 44, 174, 52}},
        {IDC_SUPPORT_LINK, "support@flink.test", "E-mail support@flink.test", {80, 54, 174, 62}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        HWND link = ::GetDlgItem(about, r.id);
        ASSERT_TRUE(link);
        EXPECT_EQ(TextOf(link), r.text);
        EXPECT_EQ(TipOf(link), r.tip);
        EXPECT_EQ(TextColorOf(about, link), kLink);

        // The template fixes the top left; the size is the text's.
        RECT place = r.place;
        ::MapDialogRect(about, &place);
        RECT got = {};
        ::GetWindowRect(link, &got);
        ::MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&got), 2);
        EXPECT_EQ(got.left, place.left);
        EXPECT_EQ(got.top, place.top);
        LOGFONTA lf = {};
        ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(link, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        lf.lfUnderline = TRUE;
        HFONT underlined = ::CreateFontIndirectA(&lf);
        HDC dc = ::GetDC(link);
        HGDIOBJ old = ::SelectObject(dc, underlined);
        SIZE size = {};
        ::GetTextExtentPoint32A(dc, r.text, lstrlenA(r.text), &size);
        ::SelectObject(dc, old);
        ::ReleaseDC(link, dc);
        ::DeleteObject(underlined);
        EXPECT_EQ(got.right - got.left, size.cx);
        EXPECT_EQ(got.bottom - got.top, size.cy);
    }
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(about, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, ::GetDlgItem(about, IDOK)) << "the first tab stop has the focus";
    ASSERT_TRUE(CloseAbout(about));
}

TEST(AboutBox, EachOpeningStartsUnvisited)
{
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    h.WaitIdle();
    ::PostMessageA(h.wnd(), WM_COMMAND, ID_HELP_ABOUT, 0);
    HWND about = FindAbout();
    ASSERT_TRUE(about);
    HWND mail = ::GetDlgItem(about, IDC_SUPPORT_LINK);
    // A click on the support address: the world's mail program is the
    // recorder, so the open succeeds.
    ::SendMessageA(about, WM_COMMAND, MAKEWPARAM(IDC_SUPPORT_LINK, STN_CLICKED), reinterpret_cast<LPARAM>(mail));
    EXPECT_EQ(TextColorOf(about, mail), kVisited);
    EXPECT_EQ(TextColorOf(about, ::GetDlgItem(about, IDC_PRODUCT_LINK)), kLink);
    // Escape closes the box as Cancel does.
    ::PostMessageA(::GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(about); }, 5000));

    ::PostMessageA(h.wnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    about = FindAbout();
    ASSERT_TRUE(about);
    EXPECT_EQ(TextColorOf(about, ::GetDlgItem(about, IDC_SUPPORT_LINK)), kLink);
    ASSERT_TRUE(CloseAbout(about, IDCANCEL));
}

TEST(AboutBox, SixOpeningsLeaveNothingBehind)
{
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    h.WaitIdle();
    // Each opening makes fonts, a tooltip and a cursor for each link. What
    // the system keeps once made (the dialog class, fonts, the hand
    // cursor's module) comes with the first opening of each way in, so
    // counting starts after one of each.
    auto openAndClose = [&](int i) {
        ::PostMessageA(h.wnd(), i % 2 ? WM_SYSCOMMAND : WM_COMMAND, i % 2 ? IDM_ABOUTBOX : ID_HELP_ABOUT, 0);
        HWND about = FindAbout();
        ASSERT_TRUE(about);
        // The pointer over a link: the hover look and its timer too.
        HWND link = ::GetDlgItem(about, IDC_SITE_LINK);
        ::SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
        ASSERT_TRUE(CloseAbout(about, i % 3 ? IDOK : IDCANCEL));
    };
    openAndClose(0);
    openAndClose(1);
    ::Sleep(200);
    const Objects before = TakeObjects();
    for (int i = 2; i < 8; ++i)
        openAndClose(i);
    ::Sleep(200);
    EXPECT_EQ(ObjectsGrown(before, TakeObjects()), "");
}

} // namespace
