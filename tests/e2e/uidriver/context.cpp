#include "context.h"

namespace uidriver {

int Prepare(const Command& cmd, Context& c) {
  for (size_t i = 0; i < kMaxArgs; ++i)
    if (cmd.params[i].number && !NumArg(c.args, i, cmd.params[i].missing, c.num[i]))
      return BadNumber(c.args, i);
  if (cmd.argsOk && !cmd.argsOk(c)) return 1;
  if (cmd.need == kNothing) return kReady;

  if (!Attach(c.target)) return 1;
  if (cmd.need == kMemory && !OpenMemory(c.target)) return 1;
  // Every missing control is named before giving up.
  bool found = true;
  for (size_t i = 0; i < 2; ++i) {
    if (!cmd.controls[i]) continue;
    c.control[i] = Control(c.target, cmd.controls[i] == kIdFromArg ? c.num[0] : cmd.controls[i]);
    if (!c.control[i]) found = false;
  }
  if (!found) return 1;
  if (cmd.need == kMemory && !c.mem.Allocate(c.target.proc, kRemoteSize)) return AllocFailed();
  return kReady;
}

}  // namespace uidriver
