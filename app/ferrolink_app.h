// CFerrolinkApp: runs the main window as a modal dialog, then ends.
#pragma once
#include "framework/afx.h"

class CFerrolinkApp : public CWinApp {
public:
    CFerrolinkApp() = default;
    BOOL InitInstance() override;
    BOOL OnCmdMsg(UINT id) override;
};
