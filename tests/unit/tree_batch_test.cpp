// A batch of insertions, once drawn, leaves to be painted exactly what it
// changed in sight: new rows on a page with room, nothing when every item
// went in at the end below a full page, and whatever was already waiting.
// Where the tree does something the documentation allows and Wine's tree
// does not (holding its drawing by dropping WS_VISIBLE, as DefWindowProc
// does; setting its scroll bar only when it paints), a stand-in plays it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "framework/afx.h"

namespace {

const int kRowHeight = 20;
const int kRowsInSight = 10;

enum class Kind {
    Tree,            // the system's tree
    HidingStandin,   // WM_SETREDRAW left to DefWindowProc
    LateScrollStandin  // the scroll bar set only when it paints
};

struct BatchCase {
    const char* what;
    Kind kind;
    int extraHeight;     // pixels of a partly shown row below the ten
    int before;          // items in the tree, drawn, before the batch
    bool atEnd;          // scrolled to the last item before the batch
    int added;           // items the batch adds
    bool atFirst;        // the batch's first item goes in at the top
    bool pendingPaint;   // part of the tree was waiting to be painted
    bool mouseMove;      // the pointer moved over the tree during the batch
    bool expectPaint;
};

void PrintTo(const BatchCase& c, std::ostream* os)
{
    *os << c.what;
}

// A window that takes the tree messages the batch sends and counts items;
// with its drawing on, each item makes it paint again.
int Prop(HWND hWnd, const char* name)
{
    return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropA(hWnd, name)));
}

void SetProp(HWND hWnd, const char* name, int value)
{
    ::SetPropA(hWnd, name, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)));
}

LRESULT CALLBACK StandinProc(HWND hWnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const bool hides = ::GetWindowLongPtrA(hWnd, GWLP_USERDATA) == static_cast<LONG_PTR>(Kind::HidingStandin);
    const int count = Prop(hWnd, "count");
    switch (msg) {
    case TVM_INSERTITEMA:
        SetProp(hWnd, "count", count + 1);
        if (hides || !Prop(hWnd, "held"))
            ::InvalidateRect(hWnd, nullptr, TRUE);
        return count + 1;
    case TVM_GETCOUNT:
        return count;
    case TVM_SETITEMHEIGHT:
        return kRowHeight;
    case WM_SETREDRAW:
        if (hides)
            break;
        SetProp(hWnd, "held", !wp);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hWnd, &ps);
        ::FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::EndPaint(hWnd, &ps);
        SCROLLINFO si = {sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, count ? count - 1 : 0, kRowsInSight, 0, 0};
        ::SetScrollInfo(hWnd, SB_VERT, &si, TRUE);
        return 0;
    }
    case WM_NCDESTROY:
        ::RemovePropA(hWnd, "count");
        ::RemovePropA(hWnd, "held");
        break;
    }
    return ::DefWindowProcA(hWnd, msg, wp, lp);
}

const char* StandinClass()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &StandinProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "FerrolinkTreeStandin";
    ::RegisterClassA(&wc);
    return wc.lpszClassName;
}

class TreeBatch : public ::testing::TestWithParam<BatchCase> {
protected:
    void SetUp() override
    {
        const BatchCase& c = GetParam();
        m_frame = ::CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 400, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_frame, nullptr);
        // A client area of exactly ten rows, and a part of one more.
        RECT r = {0, 0, 150, kRowHeight * kRowsInSight + c.extraHeight};
        ::AdjustWindowRectEx(&r, WS_CHILD | WS_VISIBLE | WS_BORDER, FALSE, 0);
        const bool standin = c.kind != Kind::Tree;
        const HWND tree = ::CreateWindowExA(0, standin ? StandinClass() : WC_TREEVIEWA, "",
                                            WS_CHILD | WS_VISIBLE | WS_BORDER | (standin ? WS_VSCROLL : 0), 0, 0,
                                            r.right - r.left + ::GetSystemMetrics(SM_CXVSCROLL), r.bottom - r.top,
                                            m_frame, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(tree, nullptr);
        ::SetWindowLongPtrA(tree, GWLP_USERDATA, static_cast<LONG_PTR>(c.kind));
        ASSERT_TRUE(m_tree.SubclassWindow(tree));
        m_tree.SetItemHeight(kRowHeight);
        m_tree.SetInsertBatching(200);
    }

    void TearDown() override
    {
        if (m_frame)
            ::DestroyWindow(m_frame);
    }

    void Add(int count, HTREEITEM after)
    {
        for (int i = 0; i < count; ++i) {
            const std::string text = "PC" + std::to_string(m_next++);
            m_tree.InsertItem(TVIF_TEXT, text.c_str(), 0, TVI_ROOT, after);
        }
    }

    // Lets the tree draw everything it has, as a quiet message loop would.
    void Settle()
    {
        m_tree.DrawPendingInserts();
        ::UpdateWindow(m_tree.m_hWnd);
    }

    // Whether rows wait to be painted (the frame alone does not count).
    bool RowsToPaint() const
    {
        RECT r = {};
        return ::GetUpdateRect(m_tree.m_hWnd, &r, FALSE) && !::IsRectEmpty(&r);
    }

    HWND m_frame = nullptr;
    CTreeCtrl m_tree;
    int m_next = 0;
};

TEST_P(TreeBatch, PaintsWhatChangedInSight)
{
    const BatchCase& c = GetParam();
    Add(c.before, TVI_LAST);
    Settle();
    if (c.atEnd) {
        ::SendMessageA(m_tree.m_hWnd, WM_VSCROLL, SB_BOTTOM, 0);
        Settle();
    }
    ASSERT_FALSE(RowsToPaint());

    if (c.pendingPaint) {
        RECT row = {0, 0, 50, kRowHeight};
        ::InvalidateRect(m_tree.m_hWnd, &row, FALSE);
    }
    Add(1, c.atFirst ? TVI_FIRST : TVI_LAST);
    if (c.mouseMove)
        ::SendMessageA(m_tree.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, kRowHeight * 2 + 5));
    Add(c.added - 1, TVI_LAST);
    // Held or not, the tree takes clicks and covers its parent meanwhile.
    EXPECT_TRUE(::IsWindowVisible(m_tree.m_hWnd));
    m_tree.DrawPendingInserts();

    EXPECT_EQ(RowsToPaint(), c.expectPaint);
    EXPECT_EQ(m_tree.GetCount(), static_cast<UINT>(c.before + c.added));
    // The scroll bar counts every row either way, once the tree has painted.
    ::UpdateWindow(m_tree.m_hWnd);
    if (c.before + c.added > kRowsInSight) {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE;
        ASSERT_TRUE(::GetScrollInfo(m_tree.m_hWnd, SB_VERT, &si));
        EXPECT_EQ(si.nMax - si.nMin + 1, c.before + c.added);
    }
    EXPECT_TRUE(::IsWindowVisible(m_tree.m_hWnd));
}

const int kHalfRow = kRowHeight / 2;

INSTANTIATE_TEST_SUITE_P(Cases, TreeBatch, ::testing::Values(
    BatchCase{"RoomOnThePage", Kind::Tree, 0, 3, false, 4, false, false, false, true},
    BatchCase{"FillsThePage", Kind::Tree, 0, 8, false, 10, false, false, false, true},
    BatchCase{"JustAFullPage", Kind::Tree, 0, kRowsInSight, false, 5, false, false, false, true},
    BatchCase{"BelowAFullPage", Kind::Tree, 0, 30, false, 50, false, false, false, false},
    BatchCase{"OneAtTheTop", Kind::Tree, 0, 30, false, 5, true, false, false, true},
    BatchCase{"PaintAlreadyWaiting", Kind::Tree, 0, 30, false, 5, false, true, false, true},
    // A row shows in part below the ten: at the end, the first new item is
    // in it; at the top, an item already is.
    BatchCase{"IntoAPartlyShownRow", Kind::Tree, kHalfRow, 30, true, 5, false, false, false, true},
    BatchCase{"BelowAPartlyShownRow", Kind::Tree, kHalfRow, 30, false, 5, false, false, false, false},
    // With hot tracking the row the pointer left changes look.
    BatchCase{"PointerMovedOverIt", Kind::Tree, 0, 30, false, 50, false, false, true, true},
    BatchCase{"TreeThatHidesToHold", Kind::HidingStandin, 0, 30, false, 50, false, false, false, true},
    BatchCase{"ScrollBarSetWhenPainted", Kind::LateScrollStandin, 0, 30, false, 50, false, false, false, true}),
    [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.what); });

} // namespace
