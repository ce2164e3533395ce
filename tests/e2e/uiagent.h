// What uidriver and uiagent.dll say to each other. Under qemu's user-mode
// emulator (the 32-bit test runs) another process's memory cannot be read
// or written from outside: the emulator moves the guest's addresses. So
// the driver asks an agent inside the program instead:
// - the driver hooks the program's window thread (WH_GETMESSAGE, which
//   loads uiagent.dll there) and posts kHello to the main window, with its
//   reply window in wParam;
// - the hook, seeing it, makes the agent's window in that thread and sends
//   kHello back to the reply window with the agent's window in wParam (the
//   program itself sees a WM_NULL);
// - the driver sends requests to the agent's window as WM_COPYDATA, and the
//   agent answers each with a WM_COPYDATA to the reply window (it arrives
//   while the driver waits in its send);
// - kGoodbye, sent to the agent's window, closes it before the driver lets
//   the hook, and so the DLL, go.
#pragma once
#include <cstdint>

namespace uiagent {

const unsigned long kMagic = 0x464C4147;   // "FLAG"
const char kHello[] = "FerrolinkUiAgentHello";
const char kGoodbye[] = "FerrolinkUiAgentGoodbye";

enum Op : uint32_t { kAlloc = 1, kFree, kWrite, kRead };

struct Request {
    uint32_t op;
    uint32_t size;        // bytes to allocate or read; the payload's length to write
    uint64_t address;     // in the program
    uint64_t replyWindow; // where the answer goes
    // then, for kWrite, the bytes
};

struct Answer {
    uint32_t ok;
    uint32_t size;        // bytes that follow (kRead)
    uint64_t address;     // kAlloc
};

} // namespace uiagent
