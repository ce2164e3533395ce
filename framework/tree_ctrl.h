// CTreeCtrl: the tree-view operations the program uses.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "framework/wnd.h"

class CTreeCtrl : public CWnd {
public:
    HTREEITEM InsertItem(UINT mask, const char* text, LPARAM param, HTREEITEM parent, HTREEITEM after);
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT))); }
    int SetItemHeight(int height) { return static_cast<int>(SendMessage(TVM_SETITEMHEIGHT, height)); }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const
    { return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item))); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    HTREEITEM GetPrevVisibleItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUSVISIBLE); }
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXTVISIBLE); }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    BOOL SelectItem(HTREEITEM item)
    { return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))); }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
    // The item's whole text; empty for no item.
    CString GetItemText(HTREEITEM item) const;

    // Insertions drawn in batches: while TVM_INSERTITEM messages (from any
    // thread) come one after another, the tree is drawn every `ms`
    // milliseconds (longer once drawing it takes long) instead of after each
    // item; the emptying of the whole tree starts a batch too. Items added
    // at the end of the top level below a full page show only in the scroll
    // bar: the rows in sight are not drawn again for them. Any other
    // message to the tree, and WM_SETREDRAW TRUE, draws the pending changes
    // first. 0: off.
    void SetInsertBatching(UINT ms);
    // Draws the insertions of a batch now rather than at the next tick.
    void DrawPendingInserts() { Thaw(); }

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Thaw();
    void Freeze();
    void NoteInsert(LPARAM insert);

    UINT m_batchMs = 0;
    UINT m_nextMs = 0;          // the next batch's wait: longer for a big tree
    bool m_frozen = false;      // drawing held for a batch
    bool m_redrawOff = false;   // drawing turned off by someone else
    // Whether, when the batch began, a page of rows was in sight with more
    // below it, and whether every item of the batch went in at the end of
    // the top level: then nothing in sight but the scroll bar changed.
    bool m_pageFull = false;
    bool m_onlyAppended = true;
};
