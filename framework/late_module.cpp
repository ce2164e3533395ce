#include "framework/late_module.h"

namespace {
// Functions of this file, so the table is filled before any code runs.
HMODULE WINAPI LoadSystemDll(LPCSTR name)
{
    return ::LoadLibraryA(name);
}

BOOL WINAPI FreeSystemDll(HMODULE module)
{
    return ::FreeLibrary(module);
}
} // namespace

LateLoadCalls g_lateLoadCalls = {&LoadSystemDll, &FreeSystemDll};
