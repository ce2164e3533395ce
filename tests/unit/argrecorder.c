/* argrecorder.exe: what the link tests let the shell start instead of a
 * browser or mail program. It appends its command line, one line a start,
 * to the file that FL_ARGRECORD names, and ends. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int show)
{
    char path[MAX_PATH];
    DWORD n, written = 0;
    HANDLE f;
    const char* line = GetCommandLineA();
    (void)instance; (void)previous; (void)cmdLine; (void)show;
    n = GetEnvironmentVariableA("FL_ARGRECORD", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return 1;
    f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    WriteFile(f, line, (DWORD)lstrlenA(line), &written, NULL);
    WriteFile(f, "\r\n", 2, &written, NULL);
    CloseHandle(f);
    return 0;
}
