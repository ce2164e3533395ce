// CStatusBarCtrl: a status bar created at run time.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "framework/wnd.h"

class CStatusBarCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL SetSimple(BOOL simple = TRUE) { return static_cast<BOOL>(SendMessage(SB_SIMPLE, simple)); }
};
