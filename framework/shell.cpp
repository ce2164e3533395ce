#include "framework/shell.h"
#include "framework/proc_address.h"

namespace {

using ExecuteExProc = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
using ExecuteProc = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

HMODULE Shell()
{
    static const HMODULE shell = ::LoadLibraryA("shell32.dll");
    return shell;
}

} // namespace

BOOL ShellExecuteExLate(SHELLEXECUTEINFOA* info)
{
    static const ExecuteExProc proc = ProcAddress<ExecuteExProc>(Shell(), "ShellExecuteExA");
    if (!proc) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return proc(info);
}

HINSTANCE ShellExecuteLate(HWND hwnd, const char* verb, const char* file, const char* parameters,
                           const char* directory, int show)
{
    static const ExecuteProc proc = ProcAddress<ExecuteProc>(Shell(), "ShellExecuteA");
    if (!proc)
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
    return proc(hwnd, verb, file, parameters, directory, show);
}
