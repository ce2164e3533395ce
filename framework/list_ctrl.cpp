#include "framework/list_ctrl.h"
#include <vector>

int CListCtrl::InsertColumn(int col, const char* heading, int format, int width, int subItem)
{
    LVCOLUMNA c = {};
    c.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.fmt = format;
    c.pszText = const_cast<char*>(heading);
    c.cx = width;
    c.iSubItem = subItem;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, col, reinterpret_cast<LPARAM>(&c)));
}

int CListCtrl::InsertItem(UINT mask, int item, const char* text)
{
    LVITEMA it = {};
    it.mask = mask;
    it.iItem = item;
    it.pszText = const_cast<char*>(text);
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text)
{
    LVITEMA it = {};
    it.iSubItem = subItem;
    it.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, item, reinterpret_cast<LPARAM>(&it)));
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    // LVM_GETITEMTEXT answers the length copied; grow until it is not cut.
    for (int size = 256; size <= (1 << 20); size *= 4) {
        std::vector<char> buf(size, '\0');
        LVITEMA it = {};
        it.iSubItem = subItem;
        it.pszText = buf.data();
        it.cchTextMax = size;
        const int len = static_cast<int>(SendMessage(LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&it)));
        if (len < size - 1)
            return CString(buf.data(), len);
    }
    return CString();
}
