#include "framework/tree_ctrl.h"
#include <vector>

HTREEITEM CTreeCtrl::InsertItem(UINT mask, const char* text, LPARAM param, HTREEITEM parent, HTREEITEM after)
{
    TVINSERTSTRUCTA tvis = {};
    tvis.hParent = parent;
    tvis.hInsertAfter = after;
    tvis.item.mask = mask;
    tvis.item.pszText = const_cast<char*>(text);
    tvis.item.lParam = param;
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tvis)));
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const
{
    if (!item)
        return CString();
    // Grow until the text fits: the control cuts it to the buffer silently.
    for (int size = 256; size <= (1 << 20); size *= 4) {
        std::vector<char> buf(size, '\0');
        TVITEMA tvi = {};
        tvi.mask = TVIF_TEXT;
        tvi.hItem = item;
        tvi.pszText = buf.data();
        tvi.cchTextMax = size;
        if (!SendMessage(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tvi)))
            return CString();
        buf[size - 1] = '\0';
        const int len = lstrlenA(tvi.pszText);
        if (len < size - 1)
            return CString(tvi.pszText, len);
    }
    return CString();
}
