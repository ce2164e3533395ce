// A stand-in for the DLLs the program loads late (mpr, wsock32, msimg32,
// shell32): each entry point counts its calls, and WSAStartup answers what
// the test asks. The exports take the system's names (late_standin.def).
#include <windows.h>
#include <cstring>

namespace {
struct Count {
    const char* name;
    LONG calls;
};
Count g_counts[] = {{"WNetOpenEnumA", 0}, {"WNetEnumResourceA", 0}, {"WNetCloseEnum", 0}, {"WSAStartup", 0},
                    {"WSACleanup", 0},    {"GradientFill", 0},      {"ShellExecuteExA", 0}, {"ShellExecuteA", 0}};
int g_startupResult = 0;
WORD g_version = 0x0101;

void Counted(const char* name)
{
    for (Count& c : g_counts)
        if (std::strcmp(c.name, name) == 0)
            ::InterlockedIncrement(&c.calls);
}

// WSADATA's first member, as every version of it starts.
struct WsaDataStart {
    WORD wVersion;
    WORD wHighVersion;
};
} // namespace

extern "C" {

void StandinSetStartup(int result, WORD version)
{
    g_startupResult = result;
    g_version = version;
}

// Calls of `name` so far; -1 for a name it does not stand in for.
LONG StandinCalls(const char* name)
{
    for (const Count& c : g_counts)
        if (std::strcmp(c.name, name) == 0)
            return c.calls;
    return -1;
}

DWORD WINAPI StandinOpenEnum(DWORD, DWORD, DWORD, void*, HANDLE*)
{
    Counted("WNetOpenEnumA");
    return ERROR_NO_NETWORK;
}

DWORD WINAPI StandinEnumResource(HANDLE, DWORD*, void*, DWORD*)
{
    Counted("WNetEnumResourceA");
    return ERROR_NO_MORE_ITEMS;
}

DWORD WINAPI StandinCloseEnum(HANDLE)
{
    Counted("WNetCloseEnum");
    return NO_ERROR;
}

int WINAPI StandinStartup(WORD, WsaDataStart* data)
{
    Counted("WSAStartup");
    if (g_startupResult == 0 && data)
        data->wVersion = data->wHighVersion = g_version;
    return g_startupResult;
}

int WINAPI StandinCleanup()
{
    Counted("WSACleanup");
    return 0;
}

unsigned long WINAPI StandinInetAddr(const char*)
{
    return 0xFFFFFFFFu;
}

void* WINAPI StandinByName(const char*)
{
    return nullptr;
}

void* WINAPI StandinByAddr(const char*, int, int)
{
    return nullptr;
}

BOOL WINAPI StandinGradientFill(HDC, void*, ULONG, void*, ULONG, ULONG)
{
    Counted("GradientFill");
    return TRUE;
}

BOOL WINAPI StandinExecuteEx(void*)
{
    Counted("ShellExecuteExA");
    return TRUE;
}

HINSTANCE WINAPI StandinExecute(HWND, const char*, const char*, const char*, const char*, int)
{
    Counted("ShellExecuteA");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

} // extern "C"
