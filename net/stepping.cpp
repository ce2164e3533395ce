// Back and Forward: select the computer above or below the selected one.
#include "app/ferrolink_dlg.h"

void CFerrolinkDlg::OnBack()
{
    HTREEITEM item = m_tree.GetSelectedItem();
    HTREEITEM target = item ? m_tree.GetPrevVisibleItem(item) : nullptr;
    if (target)
        m_tree.SelectItem(target);
    m_tree.SetFocus();
}

void CFerrolinkDlg::OnForward()
{
    HTREEITEM item = m_tree.GetSelectedItem();
    HTREEITEM target = item ? m_tree.GetNextVisibleItem(item) : nullptr;
    if (target)
        m_tree.SelectItem(target);
    m_tree.SetFocus();
}
