#include "framework/tool_tip_ctrl.h"
#include "framework/win_app.h"

namespace {
// The TOOLINFO of common controls 4.70, which every version accepts.
TOOLINFOA ToolInfo(CWnd* wnd, UINT_PTR id, const char* text)
{
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = wnd ? wnd->m_hWnd : nullptr;
    ti.uId = id;
    ti.hinst = AfxGetInstanceHandle();
    ti.lpszText = const_cast<char*>(text);
    return ti;
}
}

CToolTipCtrl::~CToolTipCtrl()
{
    if (IsWindow())
        DestroyWindow();
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style)
{
    if (m_hWnd)
        return FALSE;
    HWND hWnd = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, parent ? parent->m_hWnd : nullptr, nullptr,
                                  AfxGetInstanceHandle(), nullptr);
    // Subclassed so that the object lets go of the window when its owner
    // takes it down.
    return hWnd && SubclassWindow(hWnd);
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, const char* text, LPCRECT rect, UINT_PTR id)
{
    TOOLINFOA ti = ToolInfo(wnd, id, text);
    if (rect)
        ti.rect = *rect;
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::UpdateTipText(const char* text, CWnd* wnd, UINT_PTR id)
{
    TOOLINFOA ti = ToolInfo(wnd, id, text);
    SendMessage(TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}
