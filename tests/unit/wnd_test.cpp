// How the framework binds objects to windows: one object per window, found
// from the handle only while the binding lasts, whichever side goes first.
#include <gtest/gtest.h>
#include <windows.h>
#include "framework/afx.h"

namespace {

class Counting : public CWnd {
public:
    int messages = 0;
    int ncDestroyed = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == WM_USER + 7)
            ++messages;
        return CWnd::WindowProc(msg, wp, lp);
    }
    void PostNcDestroy() override { ++ncDestroyed; }
};

HWND NewWindow()
{
    return ::CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

WNDPROC ProcOf(HWND h)
{
    return reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(h, GWLP_WNDPROC));
}

TEST(WindowBinding, OneObjectPerWindowEachFoundByItsHandle)
{
    HWND a = NewWindow(), b = NewWindow();
    ASSERT_TRUE(a && b);
    Counting first, second, intruder;
    ASSERT_TRUE(first.SubclassWindow(a));
    ASSERT_TRUE(second.SubclassWindow(b));
    EXPECT_FALSE(intruder.SubclassWindow(a)) << "a window takes one object";
    EXPECT_EQ(CWnd::FromHandlePermanent(a), &first);
    EXPECT_EQ(CWnd::FromHandlePermanent(b), &second);

    ::SendMessageA(a, WM_USER + 7, 0, 0);
    ::SendMessageA(a, WM_USER + 7, 0, 0);
    ::SendMessageA(b, WM_USER + 7, 0, 0);
    EXPECT_EQ(first.messages, 2);
    EXPECT_EQ(second.messages, 1);
    EXPECT_EQ(intruder.messages, 0);
    ::DestroyWindow(a);
    ::DestroyWindow(b);
}

TEST(WindowBinding, EndsWithWhicheverGoesFirst)
{
    // The window goes first: the object is told and let go.
    {
        HWND h = NewWindow();
        Counting object;
        ASSERT_TRUE(object.SubclassWindow(h));
        ::DestroyWindow(h);
        EXPECT_EQ(object.m_hWnd, nullptr);
        EXPECT_EQ(object.ncDestroyed, 1);
        EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    }
    // The object goes first: the window gets its own procedure back, no
    // longer finds the object and still works.
    {
        HWND h = NewWindow();
        const WNDPROC own = ProcOf(h);
        {
            Counting object;
            ASSERT_TRUE(object.SubclassWindow(h));
            EXPECT_NE(ProcOf(h), own);
        }
        EXPECT_EQ(ProcOf(h), own);
        EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
        ::SetWindowTextA(h, "still here");
        char text[32] = {};
        ::GetWindowTextA(h, text, sizeof text);
        EXPECT_STREQ(text, "still here");
        // A new object may take the window now.
        Counting next;
        EXPECT_TRUE(next.SubclassWindow(h));
        EXPECT_EQ(CWnd::FromHandlePermanent(h), &next);
        ::DestroyWindow(h);
        EXPECT_EQ(next.m_hWnd, nullptr);
    }
    // Unsubclassed by hand: the binding ends, the object may bind elsewhere.
    {
        HWND h = NewWindow(), other = NewWindow();
        Counting object;
        ASSERT_TRUE(object.SubclassWindow(h));
        EXPECT_EQ(object.UnsubclassWindow(), h);
        EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
        EXPECT_TRUE(object.SubclassWindow(other));
        ::SendMessageA(h, WM_USER + 7, 0, 0);
        EXPECT_EQ(object.messages, 0);
        ::DestroyWindow(h);
        ::DestroyWindow(other);
        EXPECT_EQ(object.ncDestroyed, 1);
    }
}

} // namespace
