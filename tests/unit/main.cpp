// In-process tests: real windows on the test display, driven with messages.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include "framework/afx.h"

namespace {
class TestApp : public CWinApp {
public:
    TestApp() : CWinApp("ferrolink") {}
};
TestApp g_testApp;
}

int main(int argc, char** argv)
{
    g_testApp.InitApplication(::GetModuleHandleA(nullptr));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
