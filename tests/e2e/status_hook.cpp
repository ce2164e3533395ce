// Loaded into the program by the UI driver's window hook: appends every text
// the program writes to its status bar to the file named by
// FERROLINK_STATUS_LOG, one line each. Texts written inside one handler
// ("Failed to get access" then "Done") are otherwise never seen from outside.
#include <windows.h>
#include <commctrl.h>
#include <string>

namespace {

bool IsStatusBar(HWND wnd)
{
    char cls[64] = "";
    GetClassNameA(wnd, cls, sizeof cls);
    return lstrcmpiA(cls, STATUSCLASSNAMEA) == 0;
}

void Append(const std::string& line)
{
    char path[MAX_PATH] = "";
    const DWORD n = GetEnvironmentVariableA("FERROLINK_STATUS_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Narrow(const wchar_t* text)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK StatusHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && msg && (msg->message == SB_SETTEXTA || msg->message == SB_SETTEXTW) &&
        IsStatusBar(msg->hwnd)) {
        std::string text;
        if (msg->lParam && HIWORD(msg->lParam)) {
            if (msg->message == SB_SETTEXTA)
                text = reinterpret_cast<const char*>(msg->lParam);
            else
                text = Narrow(reinterpret_cast<const wchar_t*>(msg->lParam));
        }
        Append(text + "\n");
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
