// The start-up baseline: the smallest dialog program built the way Ferrolink
// is (same toolchain, manifest, template size and font), which shows a status
// bar text from its WM_INITDIALOG and nothing else.
#include <windows.h>
#include <commctrl.h>

namespace {
INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0, dlg,
                                   reinterpret_cast<HMENU>(101), GetModuleHandleA(nullptr), nullptr);
        SendMessageA(bar, SB_SIMPLE, TRUE, 0);
        SendMessageA(bar, SB_SETTEXTA, 255, reinterpret_cast<LPARAM>("Net update in progress..."));
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)
            EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    InitCommonControls();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, &Proc, 0);
    return 0;
}
