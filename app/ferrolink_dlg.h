// CFerrolinkDlg: the main window: computer tree, share list, buttons,
// location bar, status bar and the site link.
#pragma once
#include <windows.h>
#include <lm.h>
#include <atomic>
#include <vector>
#include "framework/afx.h"
#include "controls/gradient_button.h"
#include "controls/hyperlink.h"
#include "net/share_enum.h"

// NetShareEnum and NetApiBufferFree as netapi32.dll (NT family) and
// svrapi.dll (9x family) publish them.
typedef NET_API_STATUS (WINAPI *PFN_NETSHAREENUM_NT)(LMSTR server, DWORD level, LPBYTE* buffer,
                                                    DWORD prefMaxLen, LPDWORD entriesRead,
                                                    LPDWORD totalEntries, LPDWORD resumeHandle);
typedef NET_API_STATUS (WINAPI *PFN_NETAPIBUFFERFREE)(LPVOID buffer);
typedef NET_API_STATUS (WINAPI *PFN_NETAPIBUFFERSIZE)(LPVOID buffer, LPDWORD size);
typedef DWORD (WINAPI *PFN_NETSHAREENUM_9X)(const char* server, short level, char* buffer,
                                                     unsigned short bufferSize,
                                                     unsigned short* entriesRead,
                                                     unsigned short* totalAvail);

class CFerrolinkDlg : public CDialog {
public:
    explicit CFerrolinkDlg(CWnd* parent = nullptr);
    ~CFerrolinkDlg() override;

    // Writes `text` to the status bar (simple mode: part 255, type 0).
    void SetStatusText(const char* text, int part, int type);

    // Places the controls for a client area of cx by cy pixels.
    void LayoutControls(UINT type, int cx, int cy);

    // Starts a net update, or asks a running one to stop.
    void OnScan();
    void OnStop();

    // A computer's shares: names, comments and type texts in step; 0 on
    // success, 1203 when the service fails.
    int EnumShares(CString name, CStringList& names, CStringList& comments, CStringList& types);
    int EnumSharesNT(CString name, CStringList& names, CStringList& comments, CStringList& types);
    int EnumShares9x(CString name, CStringList& names, CStringList& comments, CStringList& types);

    CStatusBarCtrl m_statusBar;
    HMODULE m_shareLib = nullptr;
    PFN_NETSHAREENUM_NT m_pfnNetShareEnumNT = nullptr;
    PFN_NETAPIBUFFERFREE m_pfnNetApiBufferFree = nullptr;
    // Optional: the size of the service's buffer, so that no count or
    // pointer in it makes the enumeration read past its end.
    PFN_NETAPIBUFFERSIZE m_pfnNetApiBufferSize = nullptr;
    PFN_NETSHAREENUM_9X m_pfnNetShareEnum9x = nullptr;
    int m_ignoreSelChange = 0;
    CHyperLink m_siteLink;
    CTreeCtrl m_tree;
    CGradientButton m_scanButton;
    CGradientButton m_stopButton;
    CListCtrl m_list;
    CGradientButton m_locationBar;
    CButton m_menuRule;
    CButton m_toolbarRule;
    CGradientButton m_forwardButton;
    CGradientButton m_backButton;
    HICON m_icon = nullptr;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
    BOOL OnNotifyEntry(NMHDR* header, LRESULT* result) override;
    void OnFirstIdle() override;

private:
    void OnSysCommand(UINT id, LPARAM param);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnLButtonDown(UINT flags, CPoint point);
    void OnTreeSelChanged(NMHDR* header, LRESULT* result);
    void OnSize(UINT type, int cx, int cy);
    void OnBack();
    void OnForward();
    void OnAbout();
    void OnUpdateNet() { OnScan(); }
    void OnSizing(UINT edge, LPRECT rect);
    LRESULT OnNetUpdateNotify(WPARAM wp, LPARAM lp);
    void OnBreakUpdate() { OnStop(); }
    void OnDestroy();
};

// The operating-system kind: 1 or 2 for the 9x family, 32 to 35 for the NT
// family (bit 0x20), 0 when the version is not recognised.
extern int g_osKind;
extern CFerrolinkDlg* g_mainDlg;
// The main window's handle while it exists, null once it is being destroyed.
// The worker reaches the window only through this.
extern std::atomic<HWND> g_mainWnd;

// The kind for a version: the first row that matches, else `unchanged`.
int OsKindFromVersion(const OSVERSIONINFOA& version, int unchanged);
