// The release program's C runtime is CRTDLL.DLL, which every Win32 system
// has shipped since Windows NT 3.1 and Windows 95 (MSVCRT.DLL came to
// Windows 95 only with Internet Explorer 4). The compiler's runtime was
// built for MSVCRT and calls four things CRTDLL lacks; they are made here
// from what every target has. Linked into the 32-bit release program only.
#include <windows.h>
#include <cerrno>
#include <cstdint>

extern "C" {
int __cdecl _read(int fd, void* buffer, unsigned int count);
int __cdecl _close(int fd);

// The POSIX names of two calls, which MSVCRT's import library maps to its
// own and CRTDLL's does not.
int __cdecl read(int fd, void* buffer, unsigned int count)
{
    return _read(fd, buffer, count);
}

int __cdecl close(int fd)
{
    return _close(fd);
}
}

namespace {

// std::random_device asks for rand_s, which no system before XP has; the
// program never makes one, so it only has to fail.
int __cdecl NoRandom(unsigned int* value)
{
    if (value)
        *value = 0;
    return EINVAL;
}

// CRTDLL has _beginthread, whose handle closes itself when the thread ends;
// the framework needs one it owns. A DLL runtime keeps each thread's data
// through its own thread notifications, so a plain CreateThread serves.
uintptr_t __cdecl BeginThread(void* security, unsigned stack, unsigned(__stdcall* start)(void*), void* argument,
                              unsigned flags, unsigned* id)
{
    DWORD threadId = 0;
    HANDLE h = ::CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(security), stack,
                              reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(start)), argument, flags,
                              &threadId);
    if (id)
        *id = threadId;
    return reinterpret_cast<uintptr_t>(h);
}

} // namespace

// The import slots the runtime's and the framework's objects call through.
extern "C" {
__attribute__((used)) decltype(&NoRandom) ImportRandS __asm__("__imp__rand_s") = &NoRandom;
__attribute__((used)) decltype(&BeginThread) ImportBeginThreadEx __asm__("__imp___beginthreadex") = &BeginThread;
}
