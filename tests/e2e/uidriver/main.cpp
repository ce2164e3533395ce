// uidriver: finds Ferrolink's main window and reads or drives it from another
// process, for the end-to-end tests. One command a run (or a line, with
// --serve); see Usage().
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "agent.h"
#include "commands.h"

namespace uidriver {
namespace {

// What a command takes, then what it works on (see context.h).
const Command kCommands[] = {
    {"wait-window", "[timeout]", 0, 1, {kTimeout}, kNothing, {}, CmdWaitWindow},
    {"wait-gone", "[timeout]", 0, 1, {kTimeout}, kNothing, {}, CmdWaitGone},
    {"pid", "", 0, 0, {}, kWindow, {}, CmdPid},
    {"status", "", 0, 0, {}, kMemory, {kIdStatus}, CmdStatus},
    {"wait-status", "TEXT [timeout]", 1, 2, {kText, kTimeout}, kMemory, {kIdStatus}, CmdWaitStatus},
    {"tree", "", 0, 0, {}, kMemory, {kIdTree}, CmdTree},
    {"wait-tree", "N [timeout]", 1, 2, {kNumber, kTimeout}, kWindow, {kIdTree}, CmdWaitTree},
    {"selected", "", 0, 0, {}, kMemory, {kIdTree}, CmdSelected},
    {"select", "NAME|#INDEX [timeout]", 1, 2, {kText, kTimeout}, kMemory, {kIdTree}, CmdSelect},
    {"list", "", 0, 0, {}, kMemory, {kIdList}, CmdList},
    {"location", "", 0, 0, {}, kWindow, {kIdLocation}, CmdText},
    {"text", "ID", 1, 1, {kNumber}, kWindow, {kIdFromArg}, CmdText},
    {"enabled", "ID", 1, 1, {kNumber}, kWindow, {kIdFromArg}, CmdEnabled},
    {"click", "ID", 1, 1, {kNumber}, kWindow, {kIdFromArg}, CmdClick},
    {"command", "ID", 1, 1, {kNumber}, kWindow, {}, CmdCommand},
    {"syscommand", "ID", 1, 1, {kNumber}, kWindow, {}, CmdSysCommand},
    {"activate", "ROW", 1, 1, {kNumber}, kMemory, {kIdList}, CmdActivate},
    {"messagebox", "[--caption] [--keep] [timeout]", 0, 1, {kTimeout}, kNothing, {}, CmdMessageBox},
    {"no-messagebox", "MS", 1, 1, {kNumber}, kNothing, {}, CmdNoMessageBox},
    {"close", "[timeout]", 0, 1, {kTimeout}, kWindow, {}, CmdClose},
    {"focus", "", 0, 0, {}, kWindow, {}, CmdFocus},
    {"rect", "ID", 1, 1, {kNumber}, kWindow, {kIdFromArg}, CmdRect},
    {"item-rect", "ID INDEX", 2, 2, {kNumber, kNumber}, kMemory, {kIdFromArg}, CmdItemRect, ItemRectArgsOk},
    {"hit-point", "CODE", 1, 1, {kNumber}, kWindow, {}, CmdHitPoint},
    {"dialog-rect", "TITLE ID", 2, 2, {kText, kNumber}, kNothing, {}, CmdDialogRect},
    {"menu-state", "ID", 1, 1, {kNumber}, kWindow, {}, CmdMenuState},
    {"windows", "", 0, 0, {}, kNothing, {}, CmdWindows},
    {"launch-time", "EXE TEXT [timeout]", 2, 3, {kText, kText, kTimeout}, kNothing, {}, CmdLaunchTime},
    {"select-time", "NAME TEXT [timeout]", 2, 3, {kText, kText, kTimeout}, kMemory, {kIdTree, kIdStatus},
     CmdSelectTime},
    // A whole walk may take minutes.
    {"walk-time", "[timeout] [every]", 0, 2, {{true, 600000}, {true, 2}}, kMemory, {kIdStatus, kIdTree}, CmdWalkTime},
    {"gui-resources", "", 0, 0, {}, kWindow, {}, CmdGuiResources},
    {"repaint", "N", 1, 1, {kNumber}, kWindow, {}, CmdRepaint},
    {"scan-stop", "N", 1, 1, {kNumber}, kMemory, {kIdStatus}, CmdScanStop},
};

// --trace-status: a window hook on the program's UI thread, from
// status_hook.dll beside this exe, appends each status text to the file the
// program's FERROLINK_STATUS_LOG names, for as long as the command runs.
class StatusTrace {
 public:
  StatusTrace() = default;
  StatusTrace(const StatusTrace&) = delete;
  StatusTrace& operator=(const StatusTrace&) = delete;
  ~StatusTrace() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (dll_) FreeLibrary(dll_);
  }
  bool Start() {
    Target t;
    if (!Attach(t)) return false;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) { Fail("cannot find the driver's own path"); return false; }
    std::string dir(path, n);
    dir.erase(dir.find_last_of("\\/") + 1);
    dll_ = LoadLibraryA((dir + "status_hook.dll").c_str());
    if (!dll_) { Fail("cannot load status_hook.dll (error %lu)", GetLastError()); return false; }
    HOOKPROC proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll_, "StatusHookProc")));
    if (!proc) { Fail("status_hook.dll has no StatusHookProc"); return false; }
    hook_ = SetWindowsHookExA(WH_CALLWNDPROC, proc, dll_, t.tid);
    if (!hook_) { Fail("cannot hook the program (error %lu)", GetLastError()); return false; }
    return true;
  }

 private:
  HMODULE dll_ = nullptr;
  HHOOK hook_ = nullptr;
};

int Usage() {
  fprintf(stderr,
          "usage: uidriver [--pid PID] [--exe NAME] [--send-timeout MS] [--trace-status] COMMAND [ARGS]\n"
          "       uidriver --serve   (command lines from stdin; see Serve())\n"
          "times in ms; IDs are control or command ids (decimal or 0x hex)\n");
  for (const Command& c : kCommands) fprintf(stderr, "  %s %s\n", c.name, c.usage);
  return 2;
}

int Run(const Command& cmd, Args args) {
  if (args.size() < cmd.minArgs || args.size() > cmd.maxArgs) {
    fprintf(stderr, "usage: uidriver %s %s\n", cmd.name, cmd.usage);
    return 2;
  }
  // Hooked before anything else is asked of the program, so no status text is missed.
  StatusTrace trace;
  if (g_opt.traceStatus && !trace.Start()) return 1;
  Context c;
  c.args = std::move(args);
  const int ready = Prepare(cmd, c);
  const int rc = ready == kReady ? cmd.run(c) : ready;
  fflush(stdout);
  return rc;
}

// One command line: options, the command's name, its arguments.
int Dispatch(const Args& line) {
  g_opt = Options();
  Args words;
  for (size_t i = 0; i < line.size(); ++i) {
    const std::string& arg = line[i];
    const bool hasValue = i + 1 < line.size();
    if (arg == "--caption") {
      g_opt.caption = true;
    } else if (arg == "--keep") {
      g_opt.keep = true;
    } else if (arg == "--pid" && hasValue) {
      g_opt.pid = strtoul(line[++i].c_str(), nullptr, 0);
    } else if (arg == "--exe" && hasValue) {
      g_opt.exe = line[++i];
    } else if (arg == "--trace-status") {
      g_opt.traceStatus = true;
    } else if (arg == "--send-timeout" && hasValue) {
      g_opt.sendTimeout = strtoul(line[++i].c_str(), nullptr, 0);
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      fprintf(stderr, "unknown option %s (run without arguments for the list)\n", arg.c_str());
      return 2;
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return Usage();

  for (const Command& c : kCommands)
    if (words[0] == c.name) return Run(c, Args(words.begin() + 1, words.end()));
  fprintf(stderr, "unknown command %s (run without arguments for the list)\n", words[0].c_str());
  return 2;
}

// --serve: one command per line of stdin, for runs where each start of a
// process is dear (under qemu's emulator a start costs over a second). A line
// is OUT, ERR, then the command line, fields separated by \x1f; the command's
// output goes to the files OUT and ERR, and its exit code, alone on a line,
// to our own stdout once it is done.
int Serve() {
  const int reply = _dup(_fileno(stdout));
  if (reply < 0) return Fail("--serve: cannot keep stdout");
  std::string line;
  int ch;
  while ((ch = fgetc(stdin)) != EOF) {
    if (ch != '\n') {
      line += static_cast<char>(ch);
      continue;
    }
    Args fields;
    size_t from = 0;
    for (size_t at; (at = line.find('\x1f', from)) != std::string::npos; from = at + 1)
      fields.push_back(line.substr(from, at - from));
    fields.push_back(line.substr(from));
    line.clear();
    int rc = 2;
    if (fields.size() >= 2 && freopen(fields[0].c_str(), "wb", stdout) && freopen(fields[1].c_str(), "wb", stderr)) {
      rc = Dispatch(Args(fields.begin() + 2, fields.end()));
      agent::Leave();
    }
    fflush(stdout);
    fflush(stderr);
    char done[16];
    const int n = snprintf(done, sizeof done, "%d\n", rc);
    if (_write(reply, done, n) != n) break;
  }
  return 0;
}

}  // namespace
}  // namespace uidriver

int main(int argc, char** argv) {
  using namespace uidriver;
  // Plain \n line ends: the tests read this output with Unix tools.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  if (argc == 2 && strcmp(argv[1], "--serve") == 0) return Serve();
  return Dispatch(Args(argv + 1, argv + argc));
}
