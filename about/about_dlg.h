// CAboutDlg: the modal About box with links to the vendor's site and mail
// addresses. The main window's two ways to open it live with it.
#pragma once
#include "framework/afx.h"
#include "controls/hyperlink.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    CHyperLink m_siteLink;
    CHyperLink m_supportLink;
    CHyperLink m_productLink;
};
