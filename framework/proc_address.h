// ProcAddress: an entry point of a DLL loaded at run time, as the pointer
// type it is called through; null without the module or the entry.
#pragma once
#include <windows.h>

template <typename T>
T ProcAddress(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}
