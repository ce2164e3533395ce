// CDialog: a modal dialog from a template, with its own message loop so that
// PreTranslateMessage reaches the controls before IsDialogMessage.
#pragma once
#include "framework/wnd.h"

class CDataExchange;

// GetQueueStatus as the modal loop calls it; the tests put an older
// Windows in its place.
extern DWORD (WINAPI *g_queueStatus)(UINT flags);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    INT_PTR DoModal();
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Once, when the modal dialog first has nothing but sent messages
    // waiting: it is shown and painted, and waits for input.
    virtual void OnFirstIdle() {}

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

protected:
    UINT m_templateId;
    CWnd* m_parent;

private:
    static INT_PTR CALLBACK StaticDlgProc(HWND, UINT, WPARAM, LPARAM);
    // Offers a message to PreTranslateMessage from its window up to the dialog.
    BOOL PreTranslateForDialog(MSG* msg);

    bool m_inModalLoop = false;
    bool m_endRequested = false;
    int m_modalResult = -1;
};
