// A batch of insertions, once drawn, leaves to be painted exactly what it
// changed in sight: new rows on a page with room, nothing when every item
// went in at the end below a full page, and whatever was already waiting.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "framework/afx.h"

namespace {

const int kRowHeight = 20;
const int kRowsInSight = 10;

struct BatchCase {
    const char* what;
    int before;          // items in the tree, drawn, before the batch
    int added;           // items the batch adds
    bool atFirst;        // the batch's first item goes in at the top
    bool pendingPaint;   // part of the tree was waiting to be painted
    bool expectPaint;
};

class TreeBatch : public ::testing::TestWithParam<BatchCase> {
protected:
    void SetUp() override
    {
        m_frame = ::CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 400, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(m_frame, nullptr);
        // A client area of exactly ten rows.
        RECT r = {0, 0, 150, kRowHeight * kRowsInSight};
        ::AdjustWindowRectEx(&r, WS_CHILD | WS_VISIBLE | WS_BORDER, FALSE, 0);
        const HWND tree = ::CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0,
                                            r.right - r.left + ::GetSystemMetrics(SM_CXVSCROLL), r.bottom - r.top,
                                            m_frame, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(tree, nullptr);
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

    HWND m_frame = nullptr;
    CTreeCtrl m_tree;
    int m_next = 0;
};

TEST_P(TreeBatch, PaintsWhatChangedInSight)
{
    const BatchCase& c = GetParam();
    Add(c.before, TVI_LAST);
    Settle();
    ASSERT_FALSE(::GetUpdateRect(m_tree.m_hWnd, nullptr, FALSE));

    if (c.pendingPaint) {
        RECT row = {0, 0, 50, kRowHeight};
        ::InvalidateRect(m_tree.m_hWnd, &row, FALSE);
    }
    Add(1, c.atFirst ? TVI_FIRST : TVI_LAST);
    Add(c.added - 1, TVI_LAST);
    m_tree.DrawPendingInserts();

    EXPECT_EQ(::GetUpdateRect(m_tree.m_hWnd, nullptr, FALSE) != FALSE, c.expectPaint);
    EXPECT_EQ(m_tree.GetCount(), static_cast<UINT>(c.before + c.added));
    // The scroll bar counts every row either way.
    if (c.before + c.added > kRowsInSight) {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE;
        ASSERT_TRUE(::GetScrollInfo(m_tree.m_hWnd, SB_VERT, &si));
        EXPECT_EQ(si.nMax - si.nMin + 1, c.before + c.added);
    }
    EXPECT_TRUE(::IsWindowVisible(m_tree.m_hWnd));
}

INSTANTIATE_TEST_SUITE_P(Cases, TreeBatch, ::testing::Values(
    BatchCase{"RoomOnThePage", 3, 4, false, false, true},
    BatchCase{"FillsThePage", 8, 10, false, false, true},
    BatchCase{"JustAFullPage", kRowsInSight, 5, false, false, true},
    BatchCase{"BelowAFullPage", 30, 50, false, false, false},
    BatchCase{"OneAtTheTop", 30, 5, true, false, true},
    BatchCase{"PaintAlreadyWaiting", 30, 5, false, true, true}),
    [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.what); });

} // namespace
