// Soak: many scans and stops, selections and repaints; the process's GDI
// objects, windows and handles must not grow.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <cstdio>
#include "res/resource.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/fake_router.h"
#include "tests/unit/fake_shares.h"
#include "tests/unit/test_host.h"

namespace {

HTREEITEM TreeItem(HWND tree, int index)
{
    HTREEITEM it = TreeView_GetRoot(tree);
    while (it && index-- > 0)
        it = TreeView_GetNextSibling(tree, it);
    return it;
}

TEST(Soak, NothingGrows)
{
    std::vector<FakeNode> computers;
    for (int i = 0; i < 40; ++i)
        computers.push_back(Computer(i % 2 ? "\\\\LOCALHOST" : "\\\\localhost"));
    FakeNode top = Provider("Net", {Group("WG", computers)});
    top.children[0].delayMs = 1; // slow enough for a stop to land mid-walk
    FakeRouter router(top);
    DialogHarness h;
    ASSERT_TRUE(h.wnd());
    ASSERT_TRUE(h.WaitIdle(30000));
    InstallFakeShares(h.dlg(), true);
    for (int i = 0; i < 25; ++i)
        Shares().shares.push_back({L"SHARE" + std::to_wstring(i), static_cast<DWORD>(i % 4), L"a remark"});
    HWND tree = h.item(IDC_TREE);

    auto scanStop = [&](int n) {
        for (int i = 0; i < n; ++i) {
            h.Click(IDC_SCAN);
            if (i % 3)
                h.Click(IDC_STOP);
            ASSERT_TRUE(h.WaitIdle(30000));
        }
        h.Click(IDC_SCAN);
        ASSERT_TRUE(h.WaitIdle(30000));
    };
    auto select = [&](int n) {
        const int count = TreeView_GetCount(tree);
        for (int i = 0; i < n; ++i)
            ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(TreeItem(tree, i % count)));
    };
    auto repaint = [&](int n) {
        for (int i = 0; i < n; ++i)
            ::RedrawWindow(h.wnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    };
    // Everything once first, so that what is made on first use is there.
    scanStop(2);
    select(4);
    repaint(5);
    const Objects before = TakeObjects();

    scanStop(100);
    select(500);
    repaint(1000);
    scanStop(1);
    select(2);
    const Objects after = TakeObjects();

    // make bench reads these lines.
    std::printf("gdi_delta: %d\nuser_delta: %d\nhandle_delta: %ld\n", after.gdi() - before.gdi(),
                after.windows - before.windows, after.handles - before.handles);
    Objects kept = after;
    kept.handles = before.handles;   // below: a thread handle may still be closing
    EXPECT_EQ(ObjectsGrown(before, kept), "");
    EXPECT_LE(after.handles, before.handles + 2) << "a thread handle may still be closing";
    EXPECT_EQ(h.Status(), "Done");
}

} // namespace
