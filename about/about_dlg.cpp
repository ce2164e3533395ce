#include "about/about_dlg.h"
#include "app/ferrolink_dlg.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg()
    : CDialog(IDD_ABOUTBOX, nullptr)
{
}

void CAboutDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_SITE_LINK, m_siteLink);
    DDX_Control(dx, IDC_SUPPORT_LINK, m_supportLink);
    DDX_Control(dx, IDC_PRODUCT_LINK, m_productLink);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_productLink.SetURL("mailto:" FL_PRODUCT_MAIL);
    m_supportLink.SetURL("mailto:" FL_SUPPORT_MAIL);
    // The template shows the address with a trailing "/"; the target has none.
    m_siteLink.SetURL(FL_VENDOR_URL);
    return TRUE;
}

void CFerrolinkDlg::OnSysCommand(UINT id, LPARAM)
{
    // The low four bits of a system command are the system's own.
    if ((LOWORD(id) & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    Default();
}

void CFerrolinkDlg::OnAbout()
{
    CAboutDlg about;
    about.DoModal();
}
