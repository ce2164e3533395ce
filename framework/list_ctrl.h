// CListCtrl: the list-view operations the program uses.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "framework/wnd.h"

class CListCtrl : public CWnd {
public:
    int InsertColumn(int col, const char* heading, int format, int width, int subItem);
    BOOL SetColumnWidth(int col, int width) { return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, col, MAKELPARAM(width, 0))); }
    DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    DWORD SetExtendedStyle(DWORD style) { return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertItem(UINT mask, int item, const char* text);
    BOOL SetItemText(int item, int subItem, const char* text);
    CString GetItemText(int item, int subItem) const;
};
