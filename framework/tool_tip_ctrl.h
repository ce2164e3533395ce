// CToolTipCtrl: a tooltip window owned by a control.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "framework/wnd.h"

class CToolTipCtrl : public CWnd {
public:
    CToolTipCtrl() = default;
    ~CToolTipCtrl() override;

    // Creates the tooltip as a popup owned by `parent`.
    BOOL Create(CWnd* parent, DWORD style = 0);
    // A tool for `wnd` with id `id`, showing `text` over `rect` (in the
    // client coordinates of `wnd`).
    BOOL AddTool(CWnd* wnd, const char* text, LPCRECT rect, UINT_PTR id);
    void UpdateTipText(const char* text, CWnd* wnd, UINT_PTR id);
    void RelayEvent(MSG* msg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
    void Activate(BOOL activate) { SendMessage(TTM_ACTIVATE, activate); }
};
