// The DLLs the program loads at their first use: two threads that need one
// at once both load it, neither waiting for the other, and use the entry
// points one of them published; a WinSock start-up is given back only when
// it succeeded; a missing router or WinSock is said once, in a box the main
// window owns. A process loads each DLL once and keeps what it found, so
// each suite runs in a process of its own (ctest unit_latedll,
// unit_missingdll); `unit` leaves them out.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsock.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "framework/afx.h"
#include "framework/late_module.h"
#include "framework/shell.h"
#include "net/net_update.h"
#include "net/ping.h"
#include "res/resource.h"
#include "tests/unit/dialog_harness.h"
#include "tests/unit/fake_router.h"
#include "tests/unit/test_host.h"

namespace {

// The stand-in's own calls.
struct Standin {
    HMODULE module = ::LoadLibraryA("late_standin.dll");
    LONG Calls(const char* name) const
    {
        auto calls = reinterpret_cast<LONG (*)(const char*)>(
            reinterpret_cast<void*>(::GetProcAddress(module, "StandinCalls")));
        return calls ? calls(name) : -2;
    }
    void SetStartup(int result, WORD version) const
    {
        auto set = reinterpret_cast<void (*)(int, WORD)>(
            reinterpret_cast<void*>(::GetProcAddress(module, "StandinSetStartup")));
        if (set)
            set(result, version);
    }
};

// The late loads of one DLL, held until a second thread loads it too.
struct HeldLoads {
    std::string dll;
    std::atomic<int> loads{0};
    std::atomic<int> frees{0};
    std::atomic<bool> together{false};
    HANDLE second = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HMODULE standin = nullptr;
};
HeldLoads* g_held = nullptr;

HMODULE WINAPI HeldLoad(LPCSTR name)
{
    if (lstrcmpiA(name, g_held->dll.c_str()) != 0)
        return ::LoadLibraryA(name);
    if (++g_held->loads == 2)
        ::SetEvent(g_held->second);
    // A thread that waits here for long waits on a lock the other holds.
    if (::WaitForSingleObject(g_held->second, 5000) == WAIT_OBJECT_0)
        g_held->together = true;
    return ::LoadLibraryA("late_standin.dll");
}

BOOL WINAPI CountedFree(HMODULE module)
{
    if (module == g_held->standin)
        ++g_held->frees;
    return ::FreeLibrary(module);
}

void GradientOnce()
{
    Canvas canvas(4, 4);
    TRIVERTEX v[2] = {{0, 0, 0, 0, 0, 0}, {4, 4, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_RECT r = {0, 1};
    CDC dc;
    dc.m_hDC = canvas.dc();
    dc.GradientFill(v, 2, &r, 1, GRADIENT_FILL_RECT_V);
}

TEST(LateDll, TwoThreadsAtOnceEachLoadAndBothUseThePublishedEntries)
{
    const struct {
        const char* dll;
        std::function<void()> use;
        const char* entry;
    } rows[] = {
        {"mpr.dll",
         [] {
             HANDLE h = nullptr;
             DefaultNetUpdateCalls().openEnum(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, nullptr, &h);
         },
         "WNetOpenEnumA"},
        {"wsock32.dll", [] { CPing ping; }, "WSAStartup"},
        {"msimg32.dll", &GradientOnce, "GradientFill"},
        {"shell32.dll", [] { SHELLEXECUTEINFOA info = {sizeof info}; ShellExecuteExLate(&info); }, "ShellExecuteExA"},
    };
    Standin standin;
    ASSERT_TRUE(standin.module);
    for (const auto& row : rows) {
        HeldLoads held;
        held.dll = row.dll;
        held.standin = standin.module;
        g_held = &held;
        g_lateLoadCalls = {&HeldLoad, &CountedFree};
        const LONG callsBefore = standin.Calls(row.entry);
        std::thread a(row.use), b(row.use);
        a.join();
        b.join();
        g_lateLoadCalls = {&::LoadLibraryA, &::FreeLibrary};
        g_held = nullptr;
        ::CloseHandle(held.second);
        EXPECT_EQ(held.loads, 2) << row.dll;
        EXPECT_TRUE(held.together) << row.dll << ": one thread's load waited for the other's";
        EXPECT_EQ(held.frees, 1) << row.dll << ": the load that was not published is given back";
        EXPECT_EQ(standin.Calls(row.entry) - callsBefore, 2) << row.dll;
    }
}

// A probe started on a thread of its own, as its box blocks the thread.
struct ProbeCase {
    const char* what;
    int startupResult;
    WORD version;
    const char* box;   // nullptr: none
    LONG cleanups;     // once the probe is gone
};

TEST(LateDll, WinsockStartupIsGivenBackOnlyWhenItSucceeded)
{
    const ProbeCase rows[] = {
        {"starts", 0, MAKEWORD(1, 1), nullptr, 1},
        {"fails", WSASYSNOTREADY, 0, "WSAStartup() error:", 0},
        {"another version", 0, MAKEWORD(2, 2), "No WinSock version 1.1 support found", 1},
    };
    Standin standin;
    ASSERT_TRUE(standin.module);
    HeldLoads held;   // sends wsock32.dll to the stand-in, unless the test before did
    held.dll = "wsock32.dll";
    held.standin = standin.module;
    ::SetEvent(held.second);
    g_held = &held;
    g_lateLoadCalls = {&HeldLoad, &CountedFree};
    for (const ProbeCase& row : rows) {
        // One probe alive throughout, as the computer view's is while the
        // share listing makes its own.
        standin.SetStartup(0, MAKEWORD(1, 1));
        auto* outer = new CPing;
        standin.SetStartup(row.startupResult, row.version);
        const LONG startups = standin.Calls("WSAStartup"), cleanups = standin.Calls("WSACleanup");
        std::thread probe([] { CPing inner; });
        MessageBoxSeen box;
        const bool boxed = TakeAnyMessageBox(&box, row.box ? 10000 : 0);
        probe.join();
        EXPECT_EQ(boxed, row.box != nullptr) << row.what;
        if (row.box && boxed) {
            EXPECT_EQ(box.text, row.box) << row.what;
        }
        EXPECT_EQ(standin.Calls("WSAStartup") - startups, 1) << row.what;
        EXPECT_EQ(standin.Calls("WSACleanup") - cleanups, row.cleanups) << row.what;
        delete outer;
        EXPECT_EQ(standin.Calls("WSACleanup") - cleanups, row.cleanups + 1) << row.what;
    }
    g_lateLoadCalls = {&::LoadLibraryA, &::FreeLibrary};
    g_held = nullptr;
    ::CloseHandle(held.second);
}

// ---- Missing DLLs -------------------------------------------------------

HMODULE WINAPI MissingLoad(LPCSTR name)
{
    if (lstrcmpiA(name, "mpr.dll") == 0 || lstrcmpiA(name, "wsock32.dll") == 0) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return ::LoadLibraryA(name);
}

class MissingDll : public ::testing::Test {
protected:
    void SetUp() override { g_lateLoadCalls.load = &MissingLoad; }
    void TearDown() override
    {
        // Whatever box a failure left open, so the window can close.
        while (TakeAnyMessageBox(nullptr, 0)) {
        }
        m_h.reset();
        m_router.reset();
        g_lateLoadCalls.load = &::LoadLibraryA;
    }
    std::unique_ptr<FakeRouter> m_router;
    std::unique_ptr<DialogHarness> m_h;
};

size_t CountOf(const std::vector<std::string>& texts, const std::string& text)
{
    size_t n = 0;
    for (const std::string& t : texts)
        n += t == text;
    return n;
}

TEST_F(MissingDll, RouterIsSaidOnceInABoxTheWindowOwns)
{
    m_h.reset(new DialogHarness());
    ASSERT_TRUE(m_h->wnd());
    MessageBoxSeen box;
    ASSERT_TRUE(m_h->TakeMessageBox(&box, 10000));
    EXPECT_EQ(box.text, "ERROR_NO_NETWORK");
    EXPECT_EQ(box.caption, "ferrolink");
    EXPECT_EQ(box.owner, m_h->wnd());
    EXPECT_FALSE(box.ownerEnabled);
    ASSERT_TRUE(m_h->WaitStatus("Net update complete"));
    ASSERT_TRUE(m_h->WaitIdle());
    EXPECT_TRUE(m_h->Tree().empty());

    // The next walk ends as one without a network does, with nothing more said:
    // its box would have come before "Net update complete".
    m_h->Click(IDC_SCAN);
    ASSERT_TRUE(WaitFor([&] { return CountOf(m_h->StatusHistory(), "Net update complete") == 2; }, 10000));
    EXPECT_FALSE(TakeAnyMessageBox(&box, 0)) << box.text;
    EXPECT_EQ(m_h->StatusHistory(), (std::vector<std::string>{"Ready", "Net update in progress...", "Net update complete",
                                                              "Net update in progress...", "Net update complete"}));
}

void PostSelect(HWND tree, int index)
{
    HTREEITEM it = TreeView_GetRoot(tree);
    while (it && index-- > 0)
        it = TreeView_GetNextSibling(tree, it);
    ::PostMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(it));
}

TEST_F(MissingDll, WinsockIsSaidOnceAndNoBoxPilesUp)
{
    m_router.reset(new FakeRouter(Provider("Net", {Group("WG", {Computer("\\\\localhost"), Computer("\\\\two.invalid"),
                                                               Computer("\\\\three.invalid")})})));
    m_h.reset(new DialogHarness());
    ASSERT_TRUE(m_h->WaitStatus("Net update complete"));
    ASSERT_TRUE(m_h->WaitIdle());
    const HWND tree = m_h->item(IDC_TREE);

    PostSelect(tree, 0);
    MessageBoxSeen box;
    // The box of the first selection, taken only after a second selection
    // was asked for while it showed.
    HWND first = nullptr;
    ASSERT_TRUE(WaitFor([&] { first = ::FindWindowA("#32770", "Error:"); return first && ::IsWindowVisible(first); },
                        10000));
    EXPECT_EQ(::GetWindow(first, GW_OWNER), m_h->wnd());
    EXPECT_FALSE(::IsWindowEnabled(m_h->wnd()));
    PostSelect(tree, 1);
    ASSERT_TRUE(WaitFor([&] { return CountOf(m_h->StatusHistory(), "Ping failed (250 ms)") == 1; }, 10000))
        << "the selection made while the box showed did not end";
    ASSERT_TRUE(m_h->TakeMessageBox(&box, 1000));
    EXPECT_EQ(box.text, "WSAStartup() error:");
    ASSERT_TRUE(WaitFor([&] { return CountOf(m_h->StatusHistory(), "Ping failed (250 ms)") == 2; }, 10000));
    EXPECT_FALSE(TakeAnyMessageBox(&box, 0)) << "a second box: " << box.text;

    // Later selections fail as a probe that cannot start does, silently.
    PostSelect(tree, 2);
    ASSERT_TRUE(WaitFor([&] { return CountOf(m_h->StatusHistory(), "Ping failed (250 ms)") == 3; }, 10000));
    EXPECT_FALSE(TakeAnyMessageBox(&box, 0)) << "a box at a later selection: " << box.text;
    EXPECT_TRUE(::IsWindowEnabled(m_h->wnd()));
}

} // namespace
