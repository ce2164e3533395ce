#include <gtest/gtest.h>
#include "net/net_update.h"
#include "res/resource.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/fake_router.h"
#include "tests/unit/fake_shares.h"

using Names = std::vector<std::string>;

namespace {

// "localhost" answers inside the test world; the others do not resolve.
FakeNode Computers(std::vector<const char*> names)
{
    std::vector<FakeNode> nodes;
    for (const char* n : names)
        nodes.push_back(Computer(n));
    return Provider("Net", {Group("WG", nodes)});
}

HTREEITEM TreeItem(HWND tree, int index)
{
    HTREEITEM it = TreeView_GetRoot(tree);
    while (it && index-- > 0)
        it = TreeView_GetNextSibling(tree, it);
    return it;
}

void Select(DialogHarness& h, int index)
{
    ::SendMessageA(h.item(IDC_TREE), TVM_SELECTITEM, TVGN_CARET,
                   reinterpret_cast<LPARAM>(TreeItem(h.item(IDC_TREE), index)));
}

std::string Text(HWND h)
{
    char buf[512] = {};
    ::GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

Names Rows(HWND list)
{
    Names rows;
    const int n = ListView_GetItemCount(list);
    for (int i = 0; i < n; ++i) {
        std::string row;
        for (int col = 0; col < 3; ++col) {
            char buf[512] = {};
            ListView_GetItemText(list, i, col, buf, sizeof buf);
            row += (col ? "\t" : "") + std::string(buf);
        }
        rows.push_back(row);
    }
    return rows;
}

// The status texts shown since `from`.
Names StatusSince(const DialogHarness& h, size_t from)
{
    const Names all = h.StatusHistory();
    return Names(all.begin() + std::min(from, all.size()), all.end());
}

class ComputerView : public ::testing::Test {
protected:
    void Open(std::vector<const char*> computers)
    {
        m_router.reset(new FakeRouter(Computers(computers)));
        m_h.reset(new DialogHarness());
        ASSERT_TRUE(m_h->WaitStatus("Net update complete"));
        ASSERT_TRUE(m_h->WaitIdle());
    }
    void TearDown() override
    {
        m_h.reset();
        m_router.reset();
    }
    std::unique_ptr<FakeRouter> m_router;
    std::unique_ptr<DialogHarness> m_h;
};

TEST_F(ComputerView, AnsweringComputerWithShares)
{
    Open({"\\\\localhost"});
    InstallFakeShares(m_h->dlg(), true);
    Shares().shares = {{L"DOCS", 0, L"Documents"}, {L"LASER", 1, L"Printer"}, {L"IPC$", 0x80000003, L"Remote IPC"}};
    const size_t from = m_h->StatusHistory().size();
    Select(*m_h, 0);
    EXPECT_EQ(StatusSince(*m_h, from), Names({"Ping in progress (250 ms)...", "Ping succeeded, scanning for shares...", "Done"}));
    EXPECT_EQ(Rows(m_h->item(IDC_LIST)), Names({"DOCS\tDisk\tDocuments", "LASER\tPrint\tPrinter", "IPC$\tIPC\tRemote IPC"}));
    EXPECT_EQ(Text(m_h->item(IDC_LOCATION)), "Share resources at: \\\\localhost");
}

TEST_F(ComputerView, FailureTable)
{
    struct Row {
        const char* name;
        DWORD status;
        int failPass;
        Names statuses;
        Names rows;
    };
    const Row rows[] = {
        {"nosuch.invalid", 0, -1, {"Ping in progress (250 ms)...", "Ping failed (250 ms)"}, {}},
        {"localhost", ERROR_ACCESS_DENIED, -1,
         {"Ping in progress (250 ms)...", "Ping succeeded, scanning for shares...", "Failed to get access", "Done"}, {}},
        {"localhost", 0, 1,
         {"Ping in progress (250 ms)...", "Ping succeeded, scanning for shares...", "Failed to get access", "Done"},
         {"A\tDisk\t"}},
        {"localhost", 0, -1, {"Ping in progress (250 ms)...", "Ping succeeded, scanning for shares...", "Done"}, {}},
    };
    Open({"\\\\nosuch.invalid", "\\\\localhost"});
    for (const Row& r : rows) {
        InstallFakeShares(m_h->dlg(), true);
        Shares().status = r.status;
        Shares().failPass = r.failPass;
        if (r.failPass >= 0) {
            Shares().passes = 2;
            Shares().shares = {{L"A", 0, L""}, {L"B", 0, L""}};
        }
        // Re-selecting the same item reports no change: go through the other one.
        Select(*m_h, std::string(r.name) == "localhost" ? 0 : 1);
        const size_t from = m_h->StatusHistory().size();
        Select(*m_h, std::string(r.name) == "localhost" ? 1 : 0);
        EXPECT_EQ(StatusSince(*m_h, from), r.statuses) << r.name << " " << r.status;
        EXPECT_EQ(Rows(m_h->item(IDC_LIST)), r.rows) << r.name;
        EXPECT_EQ(Text(m_h->item(IDC_LOCATION)), std::string("Share resources at: \\\\") + r.name);
    }
}

TEST_F(ComputerView, EmptyItemTextChangesNothingButTheButtons)
{
    Open({"\\\\localhost", nullptr, "\\\\nosuch.invalid"});
    InstallFakeShares(m_h->dlg(), true);
    Shares().shares = {{L"DOCS", 0, L""}};
    Select(*m_h, 0);
    ASSERT_EQ(Rows(m_h->item(IDC_LIST)).size(), 1u);
    const size_t from = m_h->StatusHistory().size();
    Select(*m_h, 1);
    EXPECT_TRUE(StatusSince(*m_h, from).empty());
    EXPECT_TRUE(Rows(m_h->item(IDC_LIST)).empty());
    EXPECT_EQ(Text(m_h->item(IDC_LOCATION)), "Share resources at: \\\\localhost");
    EXPECT_TRUE(m_h->Enabled(IDC_BACK));
    EXPECT_TRUE(m_h->Enabled(IDC_FORWARD));
}

TEST_F(ComputerView, BackAndForwardStates)
{
    Open({"\\\\one.invalid", "\\\\two.invalid", "\\\\three.invalid"});
    // Before any selection both are enabled (the update start enabled them).
    EXPECT_TRUE(m_h->Enabled(IDC_BACK));
    EXPECT_TRUE(m_h->Enabled(IDC_FORWARD));
    const struct { int index; bool back, forward; } rows[] = {{0, false, true}, {1, true, true}, {2, true, false}};
    for (const auto& r : rows) {
        Select(*m_h, r.index);
        EXPECT_EQ(m_h->Enabled(IDC_BACK), r.back) << r.index;
        EXPECT_EQ(m_h->Enabled(IDC_FORWARD), r.forward) << r.index;
    }
}

TEST_F(ComputerView, SingleComputerDisablesBoth)
{
    Open({"\\\\only.invalid"});
    Select(*m_h, 0);
    EXPECT_FALSE(m_h->Enabled(IDC_BACK));
    EXPECT_FALSE(m_h->Enabled(IDC_FORWARD));
}

TEST_F(ComputerView, ScanIgnoresTheSelectionChangesOfEmptyingTheTree)
{
    Open({"\\\\localhost", "\\\\other.invalid"});
    InstallFakeShares(m_h->dlg(), true);
    Shares().shares = {{L"DOCS", 0, L"Documents"}};
    Select(*m_h, 0);
    ASSERT_EQ(Rows(m_h->item(IDC_LIST)).size(), 1u);
    const size_t from = m_h->StatusHistory().size();
    m_h->Click(IDC_SCAN);
    ASSERT_TRUE(m_h->WaitStatus("Net update complete"));
    EXPECT_EQ(StatusSince(*m_h, from), Names({"Net update in progress...", "Net update complete"}));
    EXPECT_EQ(Rows(m_h->item(IDC_LIST)), Names({"DOCS\tDisk\tDocuments"}));
    EXPECT_EQ(Text(m_h->item(IDC_LOCATION)), "Share resources at: \\\\localhost");
}

TEST_F(ComputerView, EmptyTreeButtonsOnlyMoveTheFocus)
{
    Open({});
    HWND tree = m_h->item(IDC_TREE);
    GUITHREADINFO gui = {sizeof gui};
    const DWORD uiThread = ::GetWindowThreadProcessId(m_h->wnd(), nullptr);
    EXPECT_TRUE(m_h->Enabled(IDC_BACK));
    EXPECT_TRUE(m_h->Enabled(IDC_FORWARD));
    for (int id : {IDC_FORWARD, IDC_BACK}) {
        ::SendMessageA(m_h->wnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_h->item(IDC_LIST)), TRUE);
        m_h->Click(id);
        EXPECT_EQ(TreeView_GetSelection(tree), nullptr);
        ::GetGUIThreadInfo(uiThread, &gui);
        EXPECT_EQ(gui.hwndFocus, tree) << id;
    }
}

TEST_F(ComputerView, ForwardWalksEveryComputerWithTheFocusOnTheTree)
{
    Open({"\\\\a.invalid", "\\\\b.invalid", "\\\\c.invalid", "\\\\d.invalid"});
    HWND tree = m_h->item(IDC_TREE);
    GUITHREADINFO gui = {sizeof gui};
    const DWORD uiThread = ::GetWindowThreadProcessId(m_h->wnd(), nullptr);

    Select(*m_h, 0);
    Names visited = {Text(m_h->item(IDC_LOCATION))};
    while (m_h->Enabled(IDC_FORWARD)) {
        m_h->Click(IDC_FORWARD);
        visited.push_back(Text(m_h->item(IDC_LOCATION)));
        ::GetGUIThreadInfo(uiThread, &gui);
        EXPECT_EQ(gui.hwndFocus, tree);
        ASSERT_LT(visited.size(), 10u);
    }
    EXPECT_EQ(visited, Names({"Share resources at: \\\\a.invalid", "Share resources at: \\\\b.invalid",
                              "Share resources at: \\\\c.invalid", "Share resources at: \\\\d.invalid"}));
    m_h->Click(IDC_FORWARD);   // at the end: the selection stays
    EXPECT_EQ(TreeView_GetSelection(tree), TreeItem(tree, 3));
    m_h->Click(IDC_BACK);
    EXPECT_EQ(TreeView_GetSelection(tree), TreeItem(tree, 2));
    EXPECT_EQ(m_h->StatusHistory().back(), "Ping failed (250 ms)");
}

} // namespace
