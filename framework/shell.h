// The shell's calls the program makes, through shell32.dll loaded at the
// first of them and kept: under Wine, loading the shell costs a start-up
// more than all its other libraries together, and the program needs it
// only once a share or a link is opened.
#pragma once
#include <windows.h>
#include <shellapi.h>

// As ShellExecuteExA; FALSE with ERROR_MOD_NOT_FOUND without the shell.
BOOL ShellExecuteExLate(SHELLEXECUTEINFOA* info);
// As ShellExecuteA; SE_ERR_DLLNOTFOUND without the shell.
HINSTANCE ShellExecuteLate(HWND hwnd, const char* verb, const char* file, const char* parameters,
                           const char* directory, int show);
