// The computer view: a selected computer is probed, then its shares listed;
// a click on a share opens it in the shell.
#include "app/ferrolink_dlg.h"
#include "framework/shell.h"
#include "net/ping.h"
#include "net/share_enum.h"
#include "res/resource.h"

#ifdef __i386__
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA is 60 bytes on 32-bit Windows");
#endif

void CFerrolinkDlg::OnTreeSelChanged(NMHDR*, LRESULT*)
{
    if (m_ignoreSelChange)
        return;
    HTREEITEM item = m_tree.GetSelectedItem();
    m_list.DeleteAllItems();
    m_backButton.EnableWindow(item && m_tree.GetPrevVisibleItem(item) != nullptr);
    m_forwardButton.EnableWindow(item && m_tree.GetNextVisibleItem(item) != nullptr);

    const CString computer = m_tree.GetItemText(item);
    if (computer.IsEmpty())
        return;
    m_locationBar.SetWindowText(CString("Share resources at: \\\\") + computer);
    SetStatusText("Ping in progress (250 ms)...", 255, 0);

    CPing ping;
    if (!ping.Ping(computer)) {
        SetStatusText("Ping failed (250 ms)", 255, 0);
        return;
    }
    SetStatusText("Ping succeeded, scanning for shares...", 255, 0);

    CStringList names, comments, types;
    if (EnumShares(computer, names, comments, types) != 0)
        SetStatusText("Failed to get access", 255, 0);
    // Nothing paints before the handler returns anyway; without redrawing
    // per row, a thousand rows go in twenty times faster.
    m_list.SetRedraw(FALSE);
    for (size_t i = 0; i < names.size(); ++i) {
        const int row = static_cast<int>(i);
        m_list.InsertItem(LVIF_TEXT, row, names[i]);
        m_list.SetItemText(row, 1, i < types.size() ? types[i].GetString() : "");
        m_list.SetItemText(row, 2, i < comments.size() ? comments[i].GetString() : "");
    }
    m_list.SetRedraw(TRUE);
    m_list.Invalidate();
    SetStatusText("Done", 255, 0);
}

BOOL CFerrolinkDlg::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lp);
    if (header && header->idFrom == IDC_LIST && header->code == LVN_ITEMACTIVATE) {
        const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(lp);
        const CString computer = m_tree.GetItemText(m_tree.GetSelectedItem());
        // An activation without a row or a computer names no share.
        if (activate->iItem >= 0 && !computer.IsEmpty()) {
            const CString share = m_list.GetItemText(activate->iItem, 0);
            const CString path = CString("\\\\") + computer + "\\" + share;
            SHELLEXECUTEINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = 0;
            info.hwnd = nullptr;
            info.lpVerb = nullptr;
            info.lpFile = path;
            info.lpParameters = nullptr;
            info.lpDirectory = nullptr;
            info.nShow = SW_SHOWNORMAL;
            ShellExecuteExLate(&info);
        }
    }
    return CDialog::OnNotify(wp, lp, result);
}
