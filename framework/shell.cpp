#include "framework/shell.h"

namespace {

using ExecuteExProc = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
using ExecuteProc = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

HMODULE Shell()
{
    static const HMODULE shell = ::LoadLibraryA("shell32.dll");
    return shell;
}

template <typename Proc>
Proc Entry(const char* name)
{
    const HMODULE shell = Shell();
    return shell ? reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(shell, name))) : nullptr;
}

} // namespace

BOOL ShellExecuteExLate(SHELLEXECUTEINFOA* info)
{
    static const ExecuteExProc proc = Entry<ExecuteExProc>("ShellExecuteExA");
    if (!proc) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return proc(info);
}

HINSTANCE ShellExecuteLate(HWND hwnd, const char* verb, const char* file, const char* parameters,
                           const char* directory, int show)
{
    static const ExecuteProc proc = Entry<ExecuteProc>("ShellExecuteA");
    if (!proc)
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
    return proc(hwnd, verb, file, parameters, directory, show);
}
