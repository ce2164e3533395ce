#include "framework/shell.h"
#include "framework/late_module.h"
#include "framework/proc_address.h"

namespace {

struct ShellEntries {
    HMODULE module = nullptr;
    BOOL (WINAPI *executeEx)(SHELLEXECUTEINFOA*) = nullptr;
    HINSTANCE (WINAPI *execute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = nullptr;

    void Resolve()
    {
        executeEx = ProcAddress<decltype(executeEx)>(module, "ShellExecuteExA");
        execute = ProcAddress<decltype(execute)>(module, "ShellExecuteA");
    }
};

CLateModule<ShellEntries> g_shell("shell32.dll");

} // namespace

BOOL ShellExecuteExLate(SHELLEXECUTEINFOA* info)
{
    const auto proc = g_shell.Get().executeEx;
    if (!proc) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return proc(info);
}

HINSTANCE ShellExecuteLate(HWND hwnd, const char* verb, const char* file, const char* parameters,
                           const char* directory, int show)
{
    const auto proc = g_shell.Get().execute;
    if (!proc)
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
    return proc(hwnd, verb, file, parameters, directory, show);
}
