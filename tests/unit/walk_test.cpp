#include <gtest/gtest.h>
#include "net/net_update.h"
#include "res/resource.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/fake_router.h"

using Names = std::vector<std::string>;

namespace {

// Two providers, as the router lists them.
FakeNode TwoProviders(FakeNode first, FakeNode second)
{
    return Group(nullptr, {std::move(first), std::move(second)});
}

bool TwoTopEntriesWalked()
{
    return g_osKind == 0x22 || g_osKind == 0x23;
}

TEST(Walk, OrderAcrossWorkgroupsAndProviders)
{
    FakeRouter router(TwoProviders(
        Provider("Net A", {Group("WG1", {Computer("\\\\ALPHA"), Computer("\\\\BETA")}),
                           Group("WG2", {Computer("\\\\GAMMA"), Computer("\\\\ALPHA")})}),
        Provider("Net B", {Group("WG3", {Computer("\\\\DELTA")})})));
    DialogHarness h;
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    Names expected = {"ALPHA", "BETA", "GAMMA", "ALPHA"};
    if (TwoTopEntriesWalked())
        expected.push_back("DELTA");
    EXPECT_EQ(h.Tree(), expected);
    EXPECT_TRUE(h.WaitIdle());
    EXPECT_EQ(router.openHandles(), 0);
}

TEST(Walk, OnlyTheFirstTopEntriesAreTaken)
{
    FakeRouter router(Group(nullptr, {Provider("A", {Group("W", {Computer("\\\\ONE")})}),
                                      Provider("B", {Group("W", {Computer("\\\\TWO")})}),
                                      Provider("C", {Group("W", {Computer("\\\\THREE")})})}));
    DialogHarness h;
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_EQ(h.Tree(), TwoTopEntriesWalked() ? Names({"ONE", "TWO"}) : Names({"ONE"}));
}

TEST(Walk, RemoteNameFormsAndHostileNames)
{
    FakeRouter router(Provider("Net", {Group("WG", {
        Computer("\\\\PLAIN"), Computer("BARE"), Computer("\\XSINGLE"), Computer(nullptr), Computer("\\"),
        Computer(""), Computer(std::string(9000, 'L').c_str())})}));
    DialogHarness h;
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_EQ(h.Tree(), Names({"PLAIN", "BARE", "SINGLE", "", "", "", std::string(9000, 'L')}));
}

TEST(Walk, WhatIsEnteredAndWhatIsListed)
{
    FakeNode server = Computer("\\\\SRV");
    server.children = {Computer("\\\\INSIDE")};   // computers are never entered
    FakeNode extraBits = Group("BITS", {Computer("\\\\HIDDEN")});
    extraBits.usage = RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_CONNECTABLE;   // not exactly a container
    FakeNode notServer = Computer("\\\\SHARE");
    notServer.display = RESOURCEDISPLAYTYPE_SHARE;
    FakeNode closed = Group("CLOSED", {Computer("\\\\NEVER")});
    closed.openError = ERROR_ACCESS_DENIED;
    FakeNode firstFails = Group("FIRSTFAILS", {Computer("\\\\NOPE")});
    firstFails.failAfter = 0;
    firstFails.failCode = ERROR_EXTENDED_ERROR;   // a first request's failure is silent
    FakeNode serverUsage0 = Computer("\\\\NOUSAGE");
    serverUsage0.usage = 0;
    FakeRouter router(Provider("Net", {Group("WG", {server, extraBits, notServer, closed, firstFails, serverUsage0,
                                                     Computer("\\\\LAST")})}));
    DialogHarness h;
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_EQ(h.Tree(), Names({"SRV", "NOUSAGE", "LAST"}));
    MessageBoxSeen box;
    EXPECT_FALSE(h.TakeMessageBox(&box, 300)) << box.text;
}

struct InnerError {
    DWORD code;
    const char* box;   // nullptr: the level ends without a box
};

class WalkInnerError : public ::testing::TestWithParam<InnerError> {};

TEST_P(WalkInnerError, EndsTheLevelAndTheLevelsAboveGoOn)
{
    const InnerError e = GetParam();
    FakeNode failing = Group("WG1", {Computer("\\\\A1"), Computer("\\\\A2"), Computer("\\\\A3")});
    failing.failAfter = 2;
    failing.failCode = e.code;
    FakeRouter router(Provider("Net", {failing, Group("WG2", {Computer("\\\\B1")})}));
    DialogHarness h;
    if (e.box) {
        MessageBoxSeen box;
        ASSERT_TRUE(h.TakeMessageBox(&box));
        EXPECT_EQ(box.text, e.box);
        EXPECT_EQ(box.caption, "ferrolink");
    }
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_EQ(h.Tree(), Names({"A1", "A2", "B1"}));
    MessageBoxSeen extra;
    EXPECT_FALSE(h.TakeMessageBox(&extra, 200)) << extra.text;
}

INSTANTIATE_TEST_SUITE_P(Codes, WalkInnerError, ::testing::Values(
    InnerError{ERROR_MORE_DATA, "ERROR_MORE_DATA"},
    InnerError{ERROR_NO_NETWORK, "ERROR_NO_NETWORK"},
    InnerError{ERROR_EXTENDED_ERROR, "ERROR_EXTENDED_ERROR"},
    InnerError{ERROR_ACCESS_DENIED, nullptr},
    InnerError{ERROR_BAD_NETPATH, nullptr}));

TEST(Walk, EntryTooBigForTheBufferAfterTheFirst)
{
    FakeRouter router(Provider("Net", {Group("WG", {Computer("\\\\SMALL"), Computer(std::string(20000, 'X').c_str()),
                                                     Computer("\\\\NEVER")}),
                                       Group("WG2", {Computer("\\\\NEXT")})}));
    DialogHarness h;
    MessageBoxSeen box;
    ASSERT_TRUE(h.TakeMessageBox(&box));
    EXPECT_EQ(box.text, "ERROR_MORE_DATA");
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_EQ(h.Tree(), Names({"SMALL", "NEXT"}));
}

TEST(Walk, NoNetworkEndsAtOnceWithoutABox)
{
    FakeNode top = Group(nullptr, {});
    top.openError = ERROR_NO_NETWORK;
    FakeRouter router(top);
    DialogHarness h;
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_TRUE(h.Tree().empty());
    MessageBoxSeen box;
    EXPECT_FALSE(h.TakeMessageBox(&box, 300)) << box.text;
    const auto history = h.StatusHistory();
    EXPECT_EQ(history, Names({"Ready", "Net update in progress...", "Net update complete"}));
}

TEST(UpdateStates, WorkerThatCannotStart)
{
    FakeRouter router(Provider("Net", {Group("WG", {Computer("\\\\A")})}), false);
    DialogHarness h;
    MessageBoxSeen box;
    ASSERT_TRUE(h.TakeMessageBox(&box));
    EXPECT_EQ(box.text, "Error");
    EXPECT_TRUE(h.Tree().empty());
    EXPECT_EQ(h.Status(), "Ready");
    EXPECT_TRUE(h.Enabled(IDC_SCAN));
    EXPECT_TRUE(h.Enabled(IDC_BACK));
    EXPECT_TRUE(h.Enabled(IDC_FORWARD));
    EXPECT_FALSE(h.MenuGrayed(ID_NET_UPDATE));
    EXPECT_EQ(g_updateRunning, 0);
}

TEST(UpdateStates, RunningStoppingAndScanAgain)
{
    // Slow enough that a busy machine still finds the walk running when
    // Stop is clicked: 3 s of it after the second computer.
    std::vector<FakeNode> computers;
    std::vector<std::string> names;
    for (int i = 1; i <= 20; ++i) {
        names.push_back("S" + std::to_string(i));
        computers.push_back(Computer(("\\\\" + names.back()).c_str()));
    }
    FakeNode slow = Group("WG", computers);
    slow.delayMs = 150;
    FakeRouter router(Provider("Net", {slow}));
    DialogHarness h;
    EXPECT_EQ(h.Status(), "Net update in progress...");
    EXPECT_FALSE(h.Enabled(IDC_SCAN));
    EXPECT_TRUE(h.MenuGrayed(ID_NET_UPDATE));
    EXPECT_TRUE(h.Enabled(IDC_STOP));
    EXPECT_FALSE(h.MenuGrayed(ID_NET_BREAK));
    EXPECT_TRUE(h.Enabled(IDC_BACK));
    EXPECT_TRUE(h.Enabled(IDC_FORWARD));

    ASSERT_TRUE(WaitFor([&] { return h.Tree().size() >= 2; }, 5000));
    h.Click(IDC_STOP);
    EXPECT_EQ(h.Status(), "Stopping...");
    h.Command(ID_NET_BREAK);   // stopping again shows the text again
    EXPECT_EQ(h.Status(), "Stopping...");
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    ASSERT_TRUE(h.WaitIdle());
    const size_t kept = h.Tree().size();
    EXPECT_GE(kept, 2u);
    EXPECT_LT(kept, names.size());
    EXPECT_TRUE(h.Enabled(IDC_SCAN));
    EXPECT_FALSE(h.MenuGrayed(ID_NET_UPDATE));
    EXPECT_EQ(g_stopRequested, 1);   // stays until the next start

    // Scan after a stop clears the request, empties the tree and walks anew.
    h.Command(ID_NET_UPDATE);
    EXPECT_EQ(g_stopRequested, 0);
    EXPECT_EQ(h.Status(), "Net update in progress...");
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_EQ(h.Tree(), names);
}

TEST(UpdateStates, StopWhileIdleOnlyMovesTheFocus)
{
    // An empty network: a tree with items would select its first one when
    // it takes the focus, which is the tree's own doing.
    FakeRouter router(Provider("Net", {Group("WG", {})}));
    DialogHarness h;
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    ASSERT_TRUE(h.WaitIdle());
    ::SendMessageA(h.wnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(h.item(IDC_LIST)), TRUE);
    const size_t before = h.StatusHistory().size();
    for (UINT command : {UINT(IDC_STOP), UINT(ID_NET_BREAK)}) {
        if (command == IDC_STOP)
            h.Click(IDC_STOP);
        else
            h.Command(command);
        EXPECT_EQ(h.Status(), "Net update complete");
        EXPECT_EQ(h.StatusHistory().size(), before);
        EXPECT_EQ(g_stopRequested, 0);
        GUITHREADINFO gui = {sizeof gui};
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(h.wnd(), nullptr), &gui);
        EXPECT_EQ(gui.hwndFocus, h.item(IDC_TREE));
    }
}

TEST(UpdateStates, ScanWhileRunningRequestsAStop)
{
    FakeNode slow = Group("WG", {Computer("\\\\S1"), Computer("\\\\S2"), Computer("\\\\S3")});
    slow.delayMs = 200;
    FakeRouter router(Provider("Net", {slow}));
    DialogHarness h;
    h.Click(IDC_SCAN);   // disabled for the user, but the handler still stops
    EXPECT_EQ(h.Status(), "Stopping...");
    ASSERT_TRUE(h.WaitStatus("Net update complete"));
    EXPECT_LT(h.Tree().size(), 3u);
}

TEST(UpdateStates, ClosingMidWalkStopsTheWorkerWithoutTouchingTheWindow)
{
    FakeNode slow = Group("WG", {Computer("\\\\S1"), Computer("\\\\S2"), Computer("\\\\S3"), Computer("\\\\S4")});
    slow.delayMs = 400;
    FakeNode failing = Group("WG2", {Computer("\\\\F1")});
    failing.failAfter = 1;
    failing.failCode = ERROR_EXTENDED_ERROR;   // would show a box if the walk went on
    FakeRouter router(Provider("Net", {slow, failing}));
    {
        DialogHarness h;
        ASSERT_TRUE(WaitFor([&] { return h.Tree().size() >= 1; }, 5000));
        ASSERT_TRUE(h.Close(5000));
    }
    const int requestsAtClose = router.requests();
    ASSERT_TRUE(WaitFor([] { return g_updateRunning == 0; }, 5000));
    // At most the request in progress finished; nothing after the stop test.
    EXPECT_LE(router.requests(), requestsAtClose + 1);
    EXPECT_EQ(router.openHandles(), 0);
    EXPECT_EQ(g_mainWnd.load(), nullptr);
    MessageBoxSeen box;
    EXPECT_FALSE(TakeAnyMessageBox(&box, 300)) << box.text;
}

} // namespace

// The tree draws a walk's insertions, and the emptying before them, in
// batches: a question asked of it meanwhile is answered with what is there so
// far, and once the walk is over every computer is there, in order, and the
// tree draws again.
TEST(Walk, ThousandsOfComputersInBatches)
{
    std::vector<std::string> names;
    std::vector<FakeNode> computers;
    for (int i = 0; i < 2000; ++i) {
        names.push_back("PC" + std::to_string(i));
        computers.push_back(Computer(("\\\\" + names.back()).c_str()));
    }
    FakeRouter router(Provider("Net", {Group("WG", std::move(computers))}));
    DialogHarness h;
    const HWND tree = h.item(IDC_TREE);
    ASSERT_TRUE(WaitFor([&] { return TreeView_GetCount(tree) >= 100; }, 10000));
    // Mid-walk, a question answers with what is there so far.
    const UINT part = TreeView_GetCount(tree);
    EXPECT_GE(part, 100u);
    EXPECT_LE(part, names.size());
    ASSERT_TRUE(h.WaitStatus("Net update complete", 60000));
    EXPECT_EQ(h.Tree(), names);

    // A new walk empties the full tree within a batch of its own: a question
    // meanwhile sees only the new walk's computers, and the end all of them.
    h.Command(ID_NET_UPDATE);
    EXPECT_LE(static_cast<size_t>(TreeView_GetCount(tree)), names.size());
    ASSERT_TRUE(h.WaitStatus("Net update complete", 60000));
    EXPECT_EQ(h.Tree(), names);
    RECT item = {};
    ASSERT_TRUE(TreeView_GetItemRect(tree, TreeView_GetRoot(tree), &item, TRUE));
    // Drawing is on again: the first item's place, invalidated, gets painted.
    ::InvalidateRect(tree, &item, FALSE);
    EXPECT_TRUE(WaitFor([&] { return !::GetUpdateRect(tree, nullptr, FALSE); }, 5000));
    EXPECT_TRUE(::IsWindowVisible(tree));
}
