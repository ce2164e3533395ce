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
    // item; the emptying of the whole tree starts a batch too. Each batch
    // is drawn as the documentation of WM_SETREDRAW asks, the whole tree
    // again, except where nothing in sight can have changed (items only
    // added below a full page): then only the scroll bars are. A tree that
    // holds its drawing by dropping WS_VISIBLE is not batched. Any other
    // message to the tree, and WM_SETREDRAW TRUE, draws the pending changes
    // first. 0: off.
    void SetInsertBatching(UINT ms);
    // Draws the insertions of a batch now rather than at the next tick.
    void DrawPendingInserts() { Thaw(); }

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Thaw();
    void Freeze();
    void NoteInsert(LPARAM insert, bool inserted);
    // Whether what shows of the tree is as it was when the batch began.
    bool SightUnchanged() const;

    UINT m_batchMs = 0;
    UINT m_nextMs = 0;          // the next batch's wait: longer for a big tree
    bool m_frozen = false;      // drawing held for a batch
    bool m_redrawOff = false;   // drawing turned off by someone else
    bool m_holdHides = false;   // holding the drawing hides this tree: no batches
    // What showed when the batch began: whether a page of rows was in sight
    // with more below it, the scroll bar and the client area.
    bool m_pageFull = false;
    SCROLLINFO m_scroll{};
    RECT m_client{};
    // What came during the batch: whether every item went in at the end of
    // the top level, how many did, and whether the mouse reached the tree.
    bool m_onlyAppended = true;
    int m_appended = 0;
    bool m_mouseSeen = false;
};
