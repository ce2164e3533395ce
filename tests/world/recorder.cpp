// recorder.exe: a harmless stand-in for a program the shell starts. It
// appends its command line, one line a start, to the file that the
// environment variable FERROLINK_RECORD names, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("FERROLINK_RECORD", path, sizeof path);
    if (!n || n >= sizeof path)
        return 1;
    HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(f, line, lstrlenA(line), &written, nullptr);
    WriteFile(f, "\r\n", 2, &written, nullptr);
    CloseHandle(f);
    return 0;
}
