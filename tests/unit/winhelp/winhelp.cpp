// A stand-in for the Windows directory's winhlp32.exe, for the tests: it
// carries the hand cursor the link label takes from there, and does nothing.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
