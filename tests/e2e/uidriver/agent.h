// The agent inside the program (uiagent.dll, see tests/e2e/uiagent.h): the
// program's memory read, written and allocated from within, for the runs
// under qemu's emulator, where it cannot be reached from outside. The
// runner says which runs those are (FERROLINK_UIAGENT=1).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace uidriver {
namespace agent {

bool InUse();
// The program's main window and its thread: where the agent lives.
void Aim(HWND main, DWORD thread);
// Closes the agent's window and lets the hook and its DLL go: at exit, and
// after each command of a serving driver (the next may meet another program).
void Leave();
bool Alloc(size_t size, uint64_t* address);
bool Free(uint64_t address);
bool Write(uint64_t address, const void* data, size_t n);
// The bytes that can be read from `address`, at most `n`.
size_t Read(uint64_t address, void* data, size_t n);

}  // namespace agent
}  // namespace uidriver
