// The shape every command has. Its row in the command table says what its
// arguments are and what of the program it works on; Prepare gets all that
// ready, reporting any failure on the way, so that the command's own code
// starts with what it does.
#pragma once

#include <windows.h>

#include <cstddef>

#include "driver.h"
#include "find.h"
#include "remote.h"

namespace uidriver {

constexpr size_t kMaxArgs = 3;

// An argument is text, or a number (an id, a count, a time in ms; decimal or
// 0x hex) that takes `missing` when left out.
struct Param {
  bool number;
  long missing;
};
constexpr Param kText{false, 0};
constexpr Param kNumber{true, 0};
constexpr Param kTimeout{true, static_cast<long>(kDefaultTimeout)};

// How much of the program a command works on.
enum Need {
  kNothing,  // nothing yet: it waits for windows or finds them itself
  kWindow,   // the main window
  kMemory,   // the main window and kRemoteSize bytes in the program's memory
};

// In a row's controls: the control whose id is the first argument (0: the
// main window itself).
constexpr int kIdFromArg = -1;

struct Context;

struct Command {
  const char* name;
  const char* usage;
  size_t minArgs, maxArgs;
  Param params[kMaxArgs];
  Need need;
  int controls[2];  // ids of the main window's controls it works on; 0: none
  int (*run)(Context&);
  // Arguments to turn down before the program is looked at; says why.
  bool (*argsOk)(const Context&) = nullptr;
};

struct Context {
  Args args;                // the words after the command's name
  long num[kMaxArgs] = {};  // the numeric arguments, or what a missing one takes
  Target target;            // from kWindow on
  HWND control[2] = {};     // as the row's controls, in their order
  // Declared after target: freed before the process handle is closed.
  RemoteMem mem;            // with kMemory
};

// What Prepare returns when the command can run; anything else is the exit code.
constexpr int kReady = -1;

int Prepare(const Command& cmd, Context& c);

}  // namespace uidriver
