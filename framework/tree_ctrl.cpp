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

namespace {
const UINT_PTR kBatchTimer = 0x464C;

// Messages that neither read nor show the items: they leave a batch alone.
bool LeavesBatch(UINT msg)
{
    switch (msg) {
    case TVM_INSERTITEMA:
    case TVM_INSERTITEMW:
    case WM_NULL:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_MOUSEMOVE:
        return true;
    }
    return false;
}
} // namespace

void CTreeCtrl::SetInsertBatching(UINT ms)
{
    if (!ms)
        Thaw();
    m_batchMs = ms;
    m_nextMs = ms;
}

void CTreeCtrl::Thaw()
{
    if (!m_frozen)
        return;
    m_frozen = false;
    ::KillTimer(m_hWnd, kBatchTimer);
    const bool outOfSight = m_pageFull && m_onlyAppended && !::GetUpdateRect(m_hWnd, nullptr, FALSE);
    // The tree lays out the batch, sets its scroll bar and invalidates
    // itself; its WM_PAINT comes as a message of its own, so nothing waits
    // for layout and drawing at once. Rows it would paint just as they are
    // are not painted again: under Wine that costs milliseconds a time.
    DefaultWith(WM_SETREDRAW, TRUE, 0);
    if (outOfSight)
        ::ValidateRect(m_hWnd, nullptr);
}

void CTreeCtrl::NoteInsert(LPARAM insert)
{
    const auto* tvis = reinterpret_cast<const TVINSERTSTRUCTA*>(insert);
    if (!tvis || (tvis->hParent && tvis->hParent != TVI_ROOT) || tvis->hInsertAfter != TVI_LAST)
        m_onlyAppended = false;
}

LRESULT CTreeCtrl::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER:
        if (wp != kBatchTimer)
            break;
        // Drawn now, not when the queue runs dry: a worker inserting back to
        // back keeps it full, and every insertion before the paint would be
        // drawn one by one. Laying out a big tree takes long: the next batch
        // waits ten times as long as this drawing took (at most a second), so
        // drawing stays near a tenth of the time, however big the tree.
        {
            const DWORD start = ::GetTickCount();
            Thaw();
            ::UpdateWindow(m_hWnd);
            const DWORD wait = (::GetTickCount() - start) * 10;
            m_nextMs = wait < m_batchMs ? m_batchMs : wait > 1000 ? 1000 : static_cast<UINT>(wait);
        }
        return 0;
    case TVM_DELETEITEM:
        if (reinterpret_cast<HTREEITEM>(lp) == TVI_ROOT && m_batchMs) {
            // An emptied tree starts again with short batches. Emptied with
            // drawing held off, it does not lay itself out for nothing: the
            // next tick shows it, with what came meanwhile.
            m_nextMs = m_batchMs;
            Freeze();
            m_onlyAppended = false;
            return DefaultWith(msg, wp, lp);
        }
        break;
    case WM_SETREDRAW:
        m_redrawOff = !wp;
        if (wp && m_frozen) {
            Thaw();
            return 0;
        }
        break;
    case WM_DESTROY:
        if (m_frozen) {
            m_frozen = false;
            ::KillTimer(m_hWnd, kBatchTimer);
        }
        break;
    }
    if (!m_batchMs || !LeavesBatch(msg)) {
        Thaw();
        return DefaultWith(msg, wp, lp);
    }
    // Under Wine the tree lays out and redraws its scroll bar for every item
    // inserted with drawing on, milliseconds each; held off, an insertion
    // costs the item alone. Each timer tick draws what came meanwhile.
    if (msg == TVM_INSERTITEMA || msg == TVM_INSERTITEMW) {
        Freeze();
        if (m_frozen)
            NoteInsert(lp);
    }
    return DefaultWith(msg, wp, lp);
}

void CTreeCtrl::Freeze()
{
    if (m_frozen || m_redrawOff || !::IsWindowVisible(m_hWnd))
        return;
    // The tree is laid out as it is drawn: its scroll bar counts the rows.
    // One row more than the page, as a partly shown row may be in sight.
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    m_pageFull = (GetStyle() & WS_VSCROLL) && ::GetScrollInfo(m_hWnd, SB_VERT, &si) && si.nPage > 0 &&
                 static_cast<long long>(si.nPos) + si.nPage < static_cast<long long>(si.nMax) - si.nMin + 1;
    m_onlyAppended = true;
    DefaultWith(WM_SETREDRAW, FALSE, 0);
    m_frozen = true;
    ::SetTimer(m_hWnd, kBatchTimer, m_nextMs > m_batchMs ? m_nextMs : m_batchMs, nullptr);
}
