// Windows 95, 98 and ME export CreateSemaphoreW only as a stub that fails.
// The 32-bit compiler runtime makes the semaphores of its locks (thread-safe
// statics, thread-local storage, exception tables) with it, so on those
// systems its locks would fail the first time two threads met in one. The
// release program gives the runtime the ANSI call under the wide call's
// import name; every target implements it.
#include <windows.h>

#if defined(__i386__)
namespace {
HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name)
{
    char ansiName[MAX_PATH];
    if (name && !::WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, sizeof ansiName, nullptr, nullptr)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return ::CreateSemaphoreA(security, initial, maximum, name ? ansiName : nullptr);
}
} // namespace

// The import slot the runtime's objects call through; defined here, the
// linker takes it instead of KERNEL32's.
extern "C" {
__attribute__((used)) decltype(&CreateSemaphoreAnsi) ImportCreateSemaphoreW
    __asm__("__imp__CreateSemaphoreW@16") = &CreateSemaphoreAnsi;
}
#endif
