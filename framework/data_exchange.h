// CDataExchange and DDX_Control: bind a dialog control to a member object.
#pragma once
#include "framework/wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL saveAndValidate) : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Subclasses control `id` into `control` the first time it is called.
inline void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (control.m_hWnd)
        return;
    HWND hWnd = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
    if (hWnd)
        control.SubclassWindow(hWnd);
}
