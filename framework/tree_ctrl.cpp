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

// What the documentation of WM_SETREDRAW asks after drawing is turned on
// again: the whole window, frame and children, drawn anew.
const UINT kRedrawAll = RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN;

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

// The pointer over the tree: with hot tracking the row under it changes look.
bool FromTheMouse(UINT msg)
{
    return msg == WM_NCHITTEST || msg == WM_SETCURSOR || msg == WM_MOUSEMOVE;
}

// A scroll bar's values (SB_VERT or SB_HORZ); false while the tree has no
// such bar.
bool ScrollValues(HWND hWnd, int bar, SCROLLINFO* si)
{
    *si = {};
    si->cbSize = sizeof *si;
    si->fMask = SIF_ALL;
    const LONG_PTR style = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
    return (::GetWindowLongPtrA(hWnd, GWL_STYLE) & style) && ::GetScrollInfo(hWnd, bar, si);
}

// Draws a scroll bar again from the values the tree gave it, and nothing
// else: SetScrollInfo with the same values and redraw asked for.
void RedrawScrollBar(HWND hWnd, int bar)
{
    SCROLLINFO si;
    if (ScrollValues(hWnd, bar, &si))
        ::SetScrollInfo(hWnd, bar, &si, TRUE);
}
} // namespace

void CTreeCtrl::SetInsertBatching(UINT ms)
{
    if (!ms)
        Thaw();
    m_batchMs = ms;
    m_nextMs = ms;
}

bool CTreeCtrl::SightUnchanged() const
{
    SCROLLINFO now;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    return ScrollValues(m_hWnd, SB_VERT, &now) && ::EqualRect(&client, &m_client) && now.nMin == m_scroll.nMin &&
           now.nPos == m_scroll.nPos && now.nPage == m_scroll.nPage &&
           static_cast<long long>(now.nMax) - m_scroll.nMax == m_appended;
}

void CTreeCtrl::Thaw()
{
    if (!m_frozen)
        return;
    m_frozen = false;
    ::KillTimer(m_hWnd, kBatchTimer);
    // The rows in sight are as they were only if the batch just added items
    // below a full page, the tree stayed visible (so whatever uncovered it
    // waits in its update region), the mouse did not reach it (hot tracking
    // would have changed a row's look without drawing it), and, once drawing
    // is on again, its scroll bar has grown by exactly those items and not
    // moved. Then the rows are not painted again (under Wine that costs
    // milliseconds a time), only the scroll bars. Otherwise the whole tree
    // is, as the documentation of WM_SETREDRAW asks.
    const bool mayBeUnchanged = m_pageFull && m_onlyAppended && !m_mouseSeen && ::IsWindowVisible(m_hWnd) &&
                                !::GetUpdateRect(m_hWnd, nullptr, FALSE);
    DefaultWith(WM_SETREDRAW, TRUE, 0);
    if (mayBeUnchanged && SightUnchanged()) {
        ::ValidateRect(m_hWnd, nullptr);
        RedrawScrollBar(m_hWnd, SB_VERT);
        RedrawScrollBar(m_hWnd, SB_HORZ);
    } else {
        ::RedrawWindow(m_hWnd, nullptr, nullptr, kRedrawAll);
    }
}

void CTreeCtrl::NoteInsert(LPARAM insert, bool inserted)
{
    const auto* tvis = reinterpret_cast<const TVINSERTSTRUCTA*>(insert);
    if (!tvis || (tvis->hParent && tvis->hParent != TVI_ROOT) || tvis->hInsertAfter != TVI_LAST)
        m_onlyAppended = false;
    else if (inserted)
        ++m_appended;
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
    if (m_frozen && FromTheMouse(msg))
        m_mouseSeen = true;
    // Under Wine the tree lays out and redraws its scroll bar for every item
    // inserted with drawing on, milliseconds each; held off, an insertion
    // costs the item alone. Each timer tick draws what came meanwhile.
    if (msg == TVM_INSERTITEMA || msg == TVM_INSERTITEMW) {
        Freeze();
        const LRESULT item = DefaultWith(msg, wp, lp);
        if (m_frozen)
            NoteInsert(lp, item != 0);
        return item;
    }
    return DefaultWith(msg, wp, lp);
}

void CTreeCtrl::Freeze()
{
    if (m_frozen || m_redrawOff || m_holdHides || !::IsWindowVisible(m_hWnd))
        return;
    // The tree is laid out as it is drawn: its scroll bar counts the rows.
    // One row more than the page, as a partly shown row may be in sight.
    m_pageFull = ScrollValues(m_hWnd, SB_VERT, &m_scroll) && m_scroll.nPage > 0 &&
                 static_cast<long long>(m_scroll.nPos) + m_scroll.nPage <
                     static_cast<long long>(m_scroll.nMax) - m_scroll.nMin + 1;
    ::GetClientRect(m_hWnd, &m_client);
    m_onlyAppended = true;
    m_appended = 0;
    m_mouseSeen = false;
    DefaultWith(WM_SETREDRAW, FALSE, 0);
    if (!(GetStyle() & WS_VISIBLE)) {
        // This tree holds its drawing as DefWindowProc does, by dropping
        // WS_VISIBLE: held, it would take no clicks, and a window moved off
        // it would uncover its parent. It is drawn as items come instead.
        m_holdHides = true;
        DefaultWith(WM_SETREDRAW, TRUE, 0);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, kRedrawAll);
        return;
    }
    m_frozen = true;
    ::SetTimer(m_hWnd, kBatchTimer, m_nextMs > m_batchMs ? m_nextMs : m_batchMs, nullptr);
}
