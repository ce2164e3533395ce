// The main window's layout: every control placed in pixels from the client
// size, and the window kept at least 500 x 200.
#include "app/ferrolink_dlg.h"

namespace {
int AtLeastZero(int v)
{
    return v < 0 ? 0 : v;
}
}

void CFerrolinkDlg::OnSize(UINT type, int cx, int cy)
{
    Default();
    LayoutControls(type, cx, cy);
}

void CFerrolinkDlg::LayoutControls(UINT, int cx, int cy)
{
    // WM_SIZE also arrives while the dialog is still being built.
    if (!m_tree.IsWindow() || !m_list.IsWindow() || !m_statusBar.IsWindow())
        return;
    const UINT moveFlags = SWP_NOZORDER | SWP_NOCOPYBITS;
    m_tree.SetWindowPos(nullptr, 2, 52, 135, AtLeastZero(cy - 75), moveFlags);
    m_list.SetWindowPos(nullptr, 140, 82, AtLeastZero(cx - 142), AtLeastZero(cy - 105), moveFlags);
    m_locationBar.SetWindowPos(nullptr, 140, 52, AtLeastZero(cx - 140), 25, moveFlags);
    // A bottom-aligned status bar docks itself; the request only makes it do so.
    m_statusBar.SetWindowPos(nullptr, 2, cy - 100, AtLeastZero(cx - 6), 10, moveFlags);
    m_siteLink.SetWindowPos(HWND_TOP, cx - 100, 15, 0, 0, SWP_NOSIZE);
    m_list.SetColumnWidth(2, AtLeastZero(cx - 340));
    // The rules reach past both sides so only their horizontal edges show.
    const UINT ruleFlags = SWP_NOCOPYBITS | SWP_NOOWNERZORDER;
    m_toolbarRule.SetWindowPos(HWND_TOP, -8, 40, cx + 12, 8, ruleFlags);
    m_menuRule.SetWindowPos(HWND_TOP, -8, -6, cx + 12, 8, ruleFlags);
}

void CFerrolinkDlg::OnSizing(UINT, LPRECT rect)
{
    if (rect->right - rect->left < 500)
        rect->right = rect->left + 500;
    if (rect->bottom - rect->top < 200)
        rect->bottom = rect->top + 200;
}
