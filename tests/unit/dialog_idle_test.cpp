// A modal dialog's first idle moment comes once, after it is shown and
// painted and after the messages already posted to it, and not later than
// the messages it is sent meanwhile; on a Windows that refuses the loop's
// question, the moment does not come early.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "framework/afx.h"
#include "res/resource.h"

namespace {

const UINT kPosted = WM_APP + 1;
const UINT kEnd = WM_APP + 2;

// NT 4.0's and 95's flags, QS_KEY to QS_HOTKEY: an older system fails the
// call on any other, as the documentation of GetQueueStatus says.
DWORD WINAPI OldWindowsQueueStatus(UINT flags)
{
    if (flags & ~0xFFu) {
        ::SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    return ::GetQueueStatus(flags);
}

DWORD WINAPI RefusingQueueStatus(UINT)
{
    ::SetLastError(ERROR_INVALID_FLAGS);
    return 0;
}

DWORD WINAPI SendEnd(LPVOID dialog)
{
    ::SendMessageA(static_cast<HWND>(dialog), kEnd, 0, 0);
    return 0;
}

class IdleDialog : public CDialog {
public:
    explicit IdleDialog(size_t postsBeforeEnd) : CDialog(IDD_ABOUTBOX), m_postsBeforeEnd(postsBeforeEnd) {}
    ~IdleDialog() override
    {
        if (m_sender) {
            ::WaitForSingleObject(m_sender, INFINITE);
            ::CloseHandle(m_sender);
        }
    }

    int idles = 0;
    bool visibleAtIdle = false;
    bool paintedAtIdle = false;
    std::vector<UINT> order;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        PostMessage(kPosted);
        SetTimer(1, 10000);   // no end: the test fails, not hangs
        return TRUE;
    }

    void OnFirstIdle() override
    {
        ++idles;
        order.push_back(0);
        visibleAtIdle = ::IsWindowVisible(m_hWnd) != FALSE;
        paintedAtIdle = !::GetUpdateRect(m_hWnd, nullptr, FALSE);
        // Something to do after the idle moment: it must not come again.
        PostMessage(kPosted);
    }

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override
    {
        if (msg == kPosted) {
            order.push_back(msg);
            // The end is sent from another thread: a sent message is
            // answered only inside GetMessage, so the queue is empty once
            // more before it, and the loop asks once more whether it is idle.
            if (++m_posts == m_postsBeforeEnd && !m_sender)
                m_sender = ::CreateThread(nullptr, 0, &SendEnd, m_hWnd, 0, nullptr);
            return 0;
        }
        if (msg == kEnd) {
            EndDialog(IDOK);
            return 0;
        }
        if (msg == WM_TIMER && wp == 1)
            EndDialog(IDCANCEL);
        return CDialog::WindowProc(msg, wp, lp);
    }

private:
    size_t m_postsBeforeEnd;
    size_t m_posts = 0;
    HANDLE m_sender = nullptr;
};

struct IdleCase {
    const char* what;
    DWORD (WINAPI *queueStatus)(UINT);
    int idles;
    std::vector<UINT> order;
};

void PrintTo(const IdleCase& c, std::ostream* os)
{
    *os << c.what;
}

class DialogIdle : public ::testing::TestWithParam<IdleCase> {
protected:
    void TearDown() override { g_queueStatus = &::GetQueueStatus; }
};

TEST_P(DialogIdle, OnceShownPaintedAndAfterWhatWasPosted)
{
    const IdleCase& c = GetParam();
    g_queueStatus = c.queueStatus;
    size_t posts = 0;
    for (UINT m : c.order)
        posts += m == kPosted;
    IdleDialog dlg(posts);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.idles, c.idles);
    EXPECT_EQ(dlg.order, c.order);
    if (c.idles) {
        EXPECT_TRUE(dlg.visibleAtIdle);
        EXPECT_TRUE(dlg.paintedAtIdle);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DialogIdle, ::testing::Values(
    IdleCase{"ThisSystem", &::GetQueueStatus, 1, {kPosted, 0, kPosted}},
    IdleCase{"NT4AndEarlier", &OldWindowsQueueStatus, 1, {kPosted, 0, kPosted}},
    // A queue that cannot be read is never taken for an idle one.
    IdleCase{"RefusesEveryCall", &RefusingQueueStatus, 0, {kPosted}}),
    [](const ::testing::TestParamInfo<IdleCase>& info) { return std::string(info.param.what); });

} // namespace
