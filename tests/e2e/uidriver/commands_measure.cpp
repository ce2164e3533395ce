// Benchmarks and soaks: how long the program takes, and what it holds on to.
#include <cstdio>

#include "agent.h"
#include "commands.h"

namespace uidriver {

namespace {

// Milliseconds since `start`, from the performance counter.
double MsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

}  // namespace

// Starts EXE and prints the ms until its status bar shows TEXT. Finds the
// window itself: it is not there yet when the command starts.
int CmdLaunchTime(Context& c) {
  const std::string& exe = c.args[0];
  const std::string& want = c.args[1];
  const long timeout = c.num[2];
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + exe + "\"";
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return Fail("cannot start %s (error %lu)", exe.c_str(), GetLastError());
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  g_opt.pid = pi.dwProcessId;
  for (;;) {
    Target t;
    if ((t.wnd = FindMain()) != nullptr) {
      t.tid = GetWindowThreadProcessId(t.wnd, &t.pid);
      agent::Aim(t.wnd, t.tid);
      if (!OpenMemory(t)) return 1;
      HWND bar = GetDlgItem(t.wnd, kIdStatus);
      RemoteMem mem(t.proc, kRemoteSize);
      std::string text;
      while (bar && mem.ok()) {
        if (StatusText(t, bar, mem, text) && text == want) {
          printf("%.1f\n", MsSince(start));
          return 0;
        }
        if (MsSince(start) > timeout) return Fail("timeout: status is \"%s\"", text.c_str());
        Sleep(1);
      }
    }
    if (MsSince(start) > timeout) return Fail("timeout: no window");
    Sleep(1);
  }
}

// Selects NAME and prints the ms until the status shows TEXT.
int CmdSelectTime(Context& c) {
  const std::string& name = c.args[0];
  const std::string& want = c.args[1];
  const long timeout = c.num[2];
  HWND tree = c.control[0], bar = c.control[1];
  std::vector<TreeItem> items;
  if (!TreeRoots(c.target, tree, c.mem, items)) return NoAnswer("TVM_GETITEM");
  HTREEITEM target = nullptr;
  for (const TreeItem& i : items)
    if (i.text == name) target = i.handle;
  if (!target) return Fail("no tree item \"%s\"", name.c_str());
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!SendAsync(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target)))
    return Fail("cannot send TVM_SELECTITEM");
  std::string text;
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    // The status is written inside the handler; read it once the handler is done.
    if (Replied() && StatusText(c.target, bar, c.mem, text) && text == want) {
      printf("%.1f\n", MsSince(start));
      return 0;
    }
    if (MsSince(start) > timeout) return Fail("timeout: status is \"%s\"", text.c_str());
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

// Once idle, starts a net update ("&Update Net") and times it to "Net update
// complete", asking the window a trivial question all along. Prints the
// walk's ms, the longest answer in ms and the number of items.
int CmdWalkTime(Context& c) {
  const long timeout = c.num[0];
  // Each look costs the window a few cross-thread messages: a timed walk
  // looks seldom, a walk that measures the window's answers often.
  const DWORD every = static_cast<DWORD>(c.num[1]);
  const Target& t = c.target;
  HWND bar = c.control[0], tree = c.control[1];
  const HWND scan = GetDlgItem(t.wnd, kIdScan);
  std::string text;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  while (!(StatusText(t, bar, c.mem, text) && text == "Net update complete")) {
    if (MsSince(start) > timeout) return Fail("timeout: not idle, status is \"%s\"", text.c_str());
    Sleep(5);
  }
  QueryPerformanceCounter(&start);
  if (!PostMessageA(t.wnd, WM_COMMAND, 32771, 0)) return Fail("cannot post the command");
  // Until the window has taken the command, the old text still stands.
  while (StatusText(t, bar, c.mem, text) && text == "Net update complete" && MsSince(start) < 2000) Sleep(1);
  double worst = 0;
  for (;;) {
    LARGE_INTEGER ask;
    QueryPerformanceCounter(&ask);
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(t.wnd, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &r)) return NoAnswer("WM_NULL");
    const double took = MsSince(ask);
    if (took > worst) worst = took;
    if (StatusText(t, bar, c.mem, text) && text == "Net update complete") break;
    if (MsSince(start) > timeout) return Fail("timeout: status is \"%s\"", text.c_str());
    // The window enables Scan again with "Net update complete". Reading
    // another process's window style asks the server, not the window: a
    // look every 2 ms costs the walk nothing and sees its end within 2 ms
    // rather than up to `every` ms late (the floor is timed from inside).
    const DWORD wait = GetTickCount();
    do Sleep(every < 2 ? every : 2);
    while (GetTickCount() - wait < every && !(scan && IsWindowEnabled(scan)));
  }
  const double walk = MsSince(start);
  LRESULT count = 0;
  Send(tree, TVM_GETCOUNT, 0, 0, &count);
  printf("%.1f %.1f %ld\n", walk, worst, static_cast<long>(count));
  return 0;
}

// The program's GDI and USER objects, "gdi user".
int CmdGuiResources(Context& c) {
  HANDLE proc = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, c.target.pid);
  if (!proc) return Fail("cannot open process %lu", c.target.pid);
  const DWORD gdi = GetGuiResources(proc, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(proc, GR_USEROBJECTS);
  CloseHandle(proc);
  printf("%lu %lu\n", gdi, user);
  return 0;
}

// Soak: N full repaints of the window and its controls, each waited for.
int CmdRepaint(Context& c) {
  const long n = c.num[0];
  HWND wnd = c.target.wnd;
  for (long i = 0; i < n; ++i) {
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    if (!Send(wnd, WM_NULL, 0, 0)) return NoAnswer("WM_NULL");
  }
  return 0;
}

// Soak: N cycles of "&Update Net" then "&Break update", each to its end.
int CmdScanStop(Context& c) {
  const long n = c.num[0];
  HWND wnd = c.target.wnd, bar = c.control[0];
  std::string text;
  auto waitFor = [&](const char* want) {
    const DWORD start = GetTickCount();
    while (!(StatusText(c.target, bar, c.mem, text) && text == want)) {
      if (GetTickCount() - start > 30000) return false;
      Sleep(1);
    }
    return true;
  };
  for (long i = 0; i < n; ++i) {
    if (!Send(wnd, WM_COMMAND, 32771, 0) || !Send(wnd, WM_COMMAND, 32772, 0)) return NoAnswer("WM_COMMAND");
    if (!waitFor("Net update complete")) return Fail("cycle %ld: did not end: \"%s\"", i, text.c_str());
    // The worker lowers its flag just after the window took its last message.
    Sleep(20);
  }
  return 0;
}

}  // namespace uidriver
