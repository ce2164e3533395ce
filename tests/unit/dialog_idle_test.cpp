// A modal dialog's first idle moment comes once, after it is shown and
// painted and after the messages already posted to it, and not later than
// the messages it is sent meanwhile.
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>
#include "framework/afx.h"
#include "res/resource.h"

namespace {

const UINT kPosted = WM_APP + 1;

class IdleDialog : public CDialog {
public:
    IdleDialog() : CDialog(IDD_ABOUTBOX) {}

    int idles = 0;
    bool visibleAtIdle = false;
    bool paintedAtIdle = false;
    std::vector<UINT> order;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        PostMessage(kPosted);
        SetTimer(1, 10000);   // no idle moment: the test fails, not hangs
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
            if (order.size() == 3)
                EndDialog(IDOK);
            return 0;
        }
        if (msg == WM_TIMER && wp == 1)
            EndDialog(IDCANCEL);
        return CDialog::WindowProc(msg, wp, lp);
    }
};

TEST(DialogIdle, OnceShownPaintedAndAfterWhatWasPosted)
{
    IdleDialog dlg;
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.idles, 1);
    EXPECT_TRUE(dlg.visibleAtIdle);
    EXPECT_TRUE(dlg.paintedAtIdle);
    EXPECT_EQ(dlg.order, (std::vector<UINT>{kPosted, 0, kPosted}));
}

} // namespace
