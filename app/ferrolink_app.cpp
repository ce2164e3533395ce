#include "app/ferrolink_app.h"
#include "app/ferrolink_dlg.h"

CFerrolinkApp theApp;

BOOL CFerrolinkApp::InitInstance()
{
    Enable3dControls();
    CFerrolinkDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message loop of our own: the program ends with the dialog.
    return FALSE;
}

BOOL CFerrolinkApp::OnCmdMsg(UINT id)
{
    switch (id) {
    case ID_HELP:
        OnHelp();
        return TRUE;
    }
    return CWinApp::OnCmdMsg(id);
}
