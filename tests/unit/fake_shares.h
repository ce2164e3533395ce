// Scripted share services for the enumeration, called through the main
// window's entry points as the real netapi32/svrapi ones would be.
#pragma once
#include <windows.h>
#include <lm.h>
#include <optional>
#include <string>
#include <vector>
#include "app/ferrolink_dlg.h"

struct FakeShare {
    std::optional<std::wstring> name;     // nullopt: a NULL pointer
    DWORD type = STYPE_DISKTREE;
    std::optional<std::wstring> remark;
};

struct FakeShareService {
    std::vector<FakeShare> shares;
    DWORD status = NERR_Success;          // returned instead of any share
    bool needsBackslashes = false;        // 2351 for the bare name
    int passes = 1;                       // NT: shares spread over this many passes
    int failPass = -1;                    // NT: this pass (0-based) fails ...
    DWORD failCode = ERROR_ACCESS_DENIED; // ... with this code
    bool moreDataEmpty = false;           // NT: every pass says 234 and delivers nothing
    // 9x hostile records
    bool nameUnterminated = false;
    bool remarkOutside = false;
    int countLie = 0;                     // added to the count read

    std::vector<std::string> serversSeen; // every server name asked, as ANSI
    int calls = 0;
};

// The one scripted service; Install points the window's entry points at it.
FakeShareService& Shares();
void InstallFakeShares(CFerrolinkDlg& dlg, bool nt);
