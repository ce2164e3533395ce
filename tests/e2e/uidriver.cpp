// uidriver: finds Ferrolink's main window and reads or drives it from another
// process, for the end-to-end tests. One command a run; see Usage().
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Controls of the main window.
const int kIdStatus = 101;
const int kIdLocation = 1006;
const int kIdTree = 1007;
const int kIdList = 1008;
// The text static of a MessageBox dialog.
const int kIdMsgText = 0xFFFF;

const char kMainTitlePrefix[] = "Ferrolink ";
const char kAboutTitlePrefix[] = "About ";
const DWORD kDefaultTimeout = 10000;
const DWORD kPollMs = 50;
// Item texts run up to 16 KB; room to spare, and for the structure in front.
const size_t kTextMax = 65536;
const size_t kRemoteSize = kTextMax + 4096;

struct Options {
  bool caption = false;               // messagebox: caption on a first line
  bool keep = false;                  // messagebox: leave the box open
  DWORD pid = 0;                      // only this process (0: any)
  std::string exe = "ferrolink.exe";  // boxes of this image count even with no main window
  DWORD sendTimeout = 5000;           // the longest one message to the program may take
  bool traceStatus = false;           // log the program's status texts while the command runs
};
Options g_opt;

using Args = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Output

// A one-line reason on stderr; the caller returns the exit code.
int Fail(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  for (char* p = buf; *p; ++p)
    if (*p == '\r' || *p == '\n') *p = ' ';
  fprintf(stderr, "%s\n", buf);
  return 1;
}

void PrintLine(const std::string& s) {
  fwrite(s.data(), 1, s.size(), stdout);
  fputc('\n', stdout);
}

// Missing values take the default; false for a malformed number.
bool NumArg(const Args& a, size_t i, long def, long& out) {
  if (i >= a.size()) {
    out = def;
    return true;
  }
  char* end = nullptr;
  out = strtol(a[i].c_str(), &end, 0);
  return !a[i].empty() && *end == '\0';
}

int BadNumber(const Args& a, size_t i) {
  fprintf(stderr, "not a number: %s\n", i < a.size() ? a[i].c_str() : "");
  return 2;
}

// ---------------------------------------------------------------------------
// Windows of the program

std::string ClassOf(HWND h) {
  char c[64] = "";
  GetClassNameA(h, c, sizeof c);
  return c;
}

// GetWindowText of another process's window reads the stored caption and sends
// nothing, so it cannot hang on a busy program.
std::string TitleOf(HWND h) {
  char t[512] = "";
  GetWindowTextA(h, t, sizeof t);
  return t;
}

DWORD PidOf(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return pid;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> v;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&v));
  return v;
}

bool IsMainWindow(HWND h) {
  return IsWindowVisible(h) && ClassOf(h) == "#32770" &&
         StartsWith(TitleOf(h), kMainTitlePrefix) &&
         (!g_opt.pid || PidOf(h) == g_opt.pid);
}

HWND FindMain() {
  for (HWND h : TopWindows())
    if (IsMainWindow(h)) return h;
  return nullptr;
}

std::string ExeOf(DWORD pid) {
  std::string name;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return name;
  PROCESSENTRY32 pe;
  pe.dwSize = sizeof pe;
  for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
    if (pe.th32ProcessID == pid) {
      name = pe.szExeFile;
      break;
    }
  CloseHandle(snap);
  return name;
}

// The program's process: --pid, else the main window's, else any of the image
// name (a start-up error shows before the main window does).
bool IsProgramPid(DWORD pid, DWORD mainPid) {
  if (g_opt.pid) return pid == g_opt.pid;
  if (mainPid && pid == mainPid) return true;
  const std::string exe = ExeOf(pid);
  const size_t slash = exe.find_last_of("\\/");
  return _stricmp(exe.substr(slash == std::string::npos ? 0 : slash + 1).c_str(),
                  g_opt.exe.c_str()) == 0;
}

// A MessageBox: a visible dialog with the text static, neither the main window
// nor the About box (both dialogs too, with statics of id 0xFFFF).
bool IsMessageBox(HWND h) {
  if (!IsWindowVisible(h) || ClassOf(h) != "#32770") return false;
  const std::string title = TitleOf(h);
  if (StartsWith(title, kMainTitlePrefix) || StartsWith(title, kAboutTitlePrefix)) return false;
  HWND text = GetDlgItem(h, kIdMsgText);
  return text && ClassOf(text) == "Static";
}

HWND FindMessageBox() {
  HWND main = FindMain();
  const DWORD mainPid = main ? PidOf(main) : 0;
  for (HWND h : TopWindows())
    if (IsMessageBox(h) && IsProgramPid(PidOf(h), mainPid)) return h;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Talking to the program

struct Target {
  HWND wnd = nullptr;
  DWORD pid = 0;
  DWORD tid = 0;
  HANDLE proc = nullptr;

  Target() = default;
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;
  ~Target() {
    if (proc) CloseHandle(proc);
  }
};

// The main window as it is now; says why not.
bool Attach(Target& t) {
  t.wnd = FindMain();
  if (!t.wnd) {
    Fail("no Ferrolink window");
    return false;
  }
  t.tid = GetWindowThreadProcessId(t.wnd, &t.pid);
  return true;
}

bool IsWow64(HANDLE proc) {
  typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
  // Looked up: the call is missing on the oldest systems, which are all 32-bit.
  IsWow64Fn fn = reinterpret_cast<IsWow64Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow = FALSE;
  return fn && fn(proc, &wow) && wow;
}

// Structures go over as this build lays them out, so both sides must share a bitness.
bool OpenMemory(Target& t) {
  t.proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                           PROCESS_QUERY_INFORMATION,
                       FALSE, t.pid);
  if (!t.proc) {
    Fail("cannot open process %lu (error %lu)", t.pid, GetLastError());
    return false;
  }
  if (IsWow64(GetCurrentProcess()) != IsWow64(t.proc)) {
    Fail("uidriver and the program differ in bitness; use the build that matches");
    return false;
  }
  return true;
}

HWND Control(const Target& t, long id) {
  HWND h = id == 0 ? t.wnd : GetDlgItem(t.wnd, static_cast<int>(id));
  if (!h) Fail("no control %ld", id);
  return h;
}

// A message that returns promptly; false when the program does not answer in time.
bool Send(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result = nullptr) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_NORMAL | SMTO_ABORTIFHUNG, g_opt.sendTimeout, &r))
    return false;
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

int NoAnswer(const char* what) {
  return Fail("no answer to %s within %lu ms (program busy or hung)", what, g_opt.sendTimeout);
}

enum class Reply { Done, Modal, None };

struct Pending {
  bool done;
  LRESULT result;
};
// Static: a reply may still arrive after we stop waiting for it.
Pending g_pending;

VOID CALLBACK OnReply(HWND, UINT, ULONG_PTR, LRESULT result) {
  g_pending.done = true;
  g_pending.result = result;
}

// For messages whose handler may run for seconds or open a modal window: waits
// for the reply, or until the program shows a new message box or disables its
// main window (then the handler sits in a modal loop, which is not a hang).
Reply SendAndWait(const Target& t, HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD timeout,
                  LRESULT* result) {
  const HWND boxBefore = FindMessageBox();
  const bool enabledBefore = IsWindowEnabled(t.wnd) != FALSE;
  g_pending = Pending{false, 0};
  if (!SendMessageCallbackA(h, msg, wp, lp, OnReply, 0)) return Reply::None;
  const DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (g_pending.done) {
      if (result) *result = g_pending.result;
      return Reply::Done;
    }
    HWND box = FindMessageBox();
    if ((box && box != boxBefore) || (enabledBefore && !IsWindowEnabled(t.wnd)))
      return Reply::Modal;
    if (GetTickCount() - start >= timeout) return Reply::None;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
  }
}

// Memory in the program's process, for messages that carry pointers: those are
// not marshalled between processes.
class RemoteMem {
 public:
  RemoteMem(HANDLE proc, size_t size)
      : proc_(proc), base_(VirtualAllocEx(proc, nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                          PAGE_READWRITE)) {}
  ~RemoteMem() {
    if (base_) VirtualFreeEx(proc_, base_, 0, MEM_RELEASE);
  }
  RemoteMem(const RemoteMem&) = delete;
  RemoteMem& operator=(const RemoteMem&) = delete;

  bool ok() const { return base_ != nullptr; }
  char* at(size_t offset) const { return static_cast<char*>(base_) + offset; }
  LPARAM param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(at(offset)); }
  bool Write(size_t offset, const void* src, size_t n) const {
    SIZE_T done = 0;
    return WriteProcessMemory(proc_, at(offset), src, n, &done) && done == n;
  }
  bool Read(size_t offset, void* dst, size_t n) const {
    SIZE_T done = 0;
    return ReadProcessMemory(proc_, at(offset), dst, n, &done) && done == n;
  }

 private:
  HANDLE proc_;
  void* base_;
};

bool AllocFailed() {
  Fail("cannot allocate memory in the program (error %lu)", GetLastError());
  return false;
}

// A NUL-terminated string at any address of the program: controls may point
// the returned pszText at their own storage instead of filling our buffer.
// Reads page by page so the end of a mapping does not fail the whole read.
std::string ReadRemoteString(HANDLE proc, const char* addr) {
  std::string s;
  while (addr && s.size() < kTextMax) {
    char chunk[4096];
    const size_t room = sizeof chunk - (reinterpret_cast<uintptr_t>(addr) & (sizeof chunk - 1));
    SIZE_T got = 0;
    if (!ReadProcessMemory(proc, addr, chunk, room, &got) || got == 0) break;
    const char* nul = static_cast<const char*>(memchr(chunk, 0, got));
    if (nul) return s.append(chunk, nul - chunk);
    s.append(chunk, got);
    addr += got;
  }
  return s;
}

// WM_GETTEXT is marshalled, so a local buffer serves.
bool WindowText(HWND h, std::string& out) {
  LRESULT len = 0;
  if (!Send(h, WM_GETTEXTLENGTH, 0, 0, &len)) return false;
  std::vector<char> buf(static_cast<size_t>(len) + 2, '\0');
  if (!Send(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()))) return false;
  out.assign(buf.data(), strnlen(buf.data(), buf.size()));
  return true;
}

// The status bar's text. In simple mode Windows keeps it as part 255, while
// Wine answers part 255 with nothing and part 0 with the simple text.
bool StatusText(const Target& t, HWND bar, const RemoteMem& mem, std::string& out) {
  LRESULT simple = 0, len = 0;
  if (!Send(bar, SB_ISSIMPLE, 0, 0, &simple)) return false;
  WPARAM part = 0;
  if (simple) {
    if (!Send(bar, SB_GETTEXTLENGTHA, 255, 0, &len)) return false;
    if (LOWORD(len)) part = 255;
  }
  if (!Send(bar, SB_GETTEXTLENGTHA, part, 0, &len)) return false;
  if (LOWORD(len) >= kTextMax) return false;  // SB_GETTEXT takes no buffer size
  const char nul = 0;
  if (!mem.Write(0, &nul, 1)) return false;
  if (!Send(bar, SB_GETTEXTA, part, mem.param())) return false;
  out = ReadRemoteString(t.proc, mem.at(0));
  return true;
}

bool TreeItemText(const Target& t, HWND tree, HTREEITEM item, const RemoteMem& mem,
                  std::string& out) {
  TVITEMA tv = {};
  tv.mask = TVIF_HANDLE | TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = mem.at(sizeof tv);
  tv.cchTextMax = static_cast<int>(kTextMax);
  const char nul = 0;
  LRESULT ok = 0;
  if (!mem.Write(0, &tv, sizeof tv) || !mem.Write(sizeof tv, &nul, 1)) return false;
  if (!Send(tree, TVM_GETITEMA, 0, mem.param(), &ok) || !ok) return false;
  if (!mem.Read(0, &tv, sizeof tv)) return false;
  out = ReadRemoteString(t.proc, tv.pszText);
  return true;
}

struct TreeItem {
  HTREEITEM handle;
  std::string text;
};

// The root items in order (the tree is a flat list of computers).
bool TreeRoots(const Target& t, HWND tree, const RemoteMem& mem, std::vector<TreeItem>& out) {
  LRESULT item = 0;
  if (!Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, &item)) return false;
  while (item) {
    TreeItem ti{reinterpret_cast<HTREEITEM>(item), std::string()};
    if (!TreeItemText(t, tree, ti.handle, mem, ti.text)) return false;
    out.push_back(ti);
    if (!Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, item, &item)) return false;
  }
  return true;
}

bool ListCellText(const Target& t, HWND list, int row, int col, const RemoteMem& mem,
                  std::string& out) {
  LVITEMA lv = {};
  lv.mask = LVIF_TEXT;
  lv.iItem = row;
  lv.iSubItem = col;
  lv.pszText = mem.at(sizeof lv);
  lv.cchTextMax = static_cast<int>(kTextMax);
  const char nul = 0;
  if (!mem.Write(0, &lv, sizeof lv) || !mem.Write(sizeof lv, &nul, 1)) return false;
  if (!Send(list, LVM_GETITEMTEXTA, row, mem.param())) return false;
  if (!mem.Read(0, &lv, sizeof lv)) return false;
  out = ReadRemoteString(t.proc, lv.pszText);
  return true;
}

// Real input, as a user's click: the program sees hardware messages.
bool ClickAt(POINT pt) {
  SetCursorPos(pt.x, pt.y);
  const LONG w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3] = {};
  for (INPUT& i : in) {
    i.type = INPUT_MOUSE;
    // Rounded up: the system scales back by truncating.
    i.mi.dx = (pt.x * 65536 + w - 1) / w;
    i.mi.dy = (pt.y * 65536 + h - 1) / h;
  }
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  return SendInput(3, in, sizeof(INPUT)) == 3;
}

// ---------------------------------------------------------------------------
// Commands

int CmdWaitWindow(const Args& a) {
  long timeout;
  if (!NumArg(a, 0, kDefaultTimeout, timeout)) return BadNumber(a, 0);
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND h = FindMain()) {
      PrintLine(TitleOf(h));
      return 0;
    }
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout: no Ferrolink window after %ld ms", timeout);
    Sleep(kPollMs);
  }
}

int CmdWaitGone(const Args& a) {
  long timeout;
  if (!NumArg(a, 0, kDefaultTimeout, timeout)) return BadNumber(a, 0);
  const DWORD start = GetTickCount();
  while (FindMain()) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout: the Ferrolink window is still there after %ld ms", timeout);
    Sleep(kPollMs);
  }
  return 0;
}

int CmdPid(const Args&) {
  Target t;
  if (!Attach(t)) return 1;
  printf("%lu\n", t.pid);
  return 0;
}

int CmdStatus(const Args&) {
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND bar = Control(t, kIdStatus);
  if (!bar) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  std::string text;
  if (!StatusText(t, bar, mem, text)) return NoAnswer("SB_GETTEXT");
  PrintLine(text);
  return 0;
}

int CmdWaitStatus(const Args& a) {
  long timeout;
  if (!NumArg(a, 1, kDefaultTimeout, timeout)) return BadNumber(a, 1);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND bar = Control(t, kIdStatus);
  if (!bar) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  const DWORD start = GetTickCount();
  std::string text;
  for (;;) {
    // A slow answer is no failure here: the wait as a whole has the timeout.
    if (StatusText(t, bar, mem, text) && text == a[0]) {
      PrintLine(text);
      return 0;
    }
    if (!IsWindow(t.wnd)) return Fail("the Ferrolink window went away");
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout after %ld ms: status is \"%s\"", timeout, text.c_str());
    Sleep(kPollMs);
  }
}

int CmdTree(const Args&) {
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND tree = Control(t, kIdTree);
  if (!tree) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  std::vector<TreeItem> items;
  if (!TreeRoots(t, tree, mem, items)) return NoAnswer("TVM_GETITEM");
  for (const TreeItem& i : items) PrintLine(i.text);
  return 0;
}

int CmdWaitTree(const Args& a) {
  long want, timeout;
  if (!NumArg(a, 0, 0, want)) return BadNumber(a, 0);
  if (!NumArg(a, 1, kDefaultTimeout, timeout)) return BadNumber(a, 1);
  Target t;
  if (!Attach(t)) return 1;
  HWND tree = Control(t, kIdTree);
  if (!tree) return 1;
  const DWORD start = GetTickCount();
  LRESULT count = 0;
  for (;;) {
    if (Send(tree, TVM_GETCOUNT, 0, 0, &count) && count >= want) {
      printf("%ld\n", static_cast<long>(count));
      return 0;
    }
    if (!IsWindow(t.wnd)) return Fail("the Ferrolink window went away");
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout after %ld ms: the tree holds %ld items", timeout,
                  static_cast<long>(count));
    Sleep(kPollMs);
  }
}

int CmdSelected(const Args&) {
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND tree = Control(t, kIdTree);
  if (!tree) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  LRESULT item = 0;
  if (!Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, &item)) return NoAnswer("TVM_GETNEXTITEM");
  if (!item) return 0;  // no selection: no output
  std::string text;
  if (!TreeItemText(t, tree, reinterpret_cast<HTREEITEM>(item), mem, text))
    return NoAnswer("TVM_GETITEM");
  PrintLine(text);
  return 0;
}

int CmdSelect(const Args& a) {
  long timeout;
  if (!NumArg(a, 1, kDefaultTimeout, timeout)) return BadNumber(a, 1);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND tree = Control(t, kIdTree);
  if (!tree) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  std::vector<TreeItem> items;
  if (!TreeRoots(t, tree, mem, items)) return NoAnswer("TVM_GETITEM");

  HTREEITEM target = nullptr;
  if (a[0].size() > 1 && a[0][0] == '#') {
    long index;
    if (!NumArg(Args{a[0].substr(1)}, 0, 0, index)) return BadNumber(a, 0);
    if (index < 0 || static_cast<size_t>(index) >= items.size())
      return Fail("no tree item #%ld (%u items)", index, static_cast<unsigned>(items.size()));
    target = items[index].handle;
  } else {
    for (const TreeItem& i : items)
      if (i.text == a[0]) {
        target = i.handle;
        break;
      }
    if (!target) return Fail("no tree item \"%s\"", a[0].c_str());
  }

  LRESULT ok = 0;
  switch (SendAndWait(t, tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target),
                      static_cast<DWORD>(timeout), &ok)) {
    case Reply::Done:
      return ok ? 0 : Fail("the tree refused the selection");
    case Reply::Modal:
      return 0;
    case Reply::None:
      break;
  }
  return Fail("timeout: TVM_SELECTITEM not answered within %ld ms", timeout);
}

int CmdList(const Args&) {
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND list = Control(t, kIdList);
  if (!list) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  LRESULT rows = 0, header = 0, cols = 0;
  if (!Send(list, LVM_GETITEMCOUNT, 0, 0, &rows) || !Send(list, LVM_GETHEADER, 0, 0, &header))
    return NoAnswer("LVM_GETITEMCOUNT");
  if (header && !Send(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, &cols))
    return NoAnswer("HDM_GETITEMCOUNT");
  if (cols <= 0) cols = 1;
  for (int row = 0; row < rows; ++row) {
    std::string line, cell;
    for (int col = 0; col < cols; ++col) {
      if (!ListCellText(t, list, row, col, mem, cell)) return NoAnswer("LVM_GETITEMTEXT");
      if (col) line += '\t';
      line += cell;
    }
    PrintLine(line);
  }
  return 0;
}

// The window text of a control (0: the main window's title).
int CmdText(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  HWND h = Control(t, id);
  if (!h) return 1;
  std::string text;
  if (!WindowText(h, text)) return NoAnswer("WM_GETTEXT");
  PrintLine(text);
  return 0;
}

int CmdLocation(const Args&) {
  return CmdText(Args{std::to_string(kIdLocation)});
}

int CmdEnabled(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  HWND h = Control(t, id);
  if (!h) return 1;
  printf("%d\n", IsWindowEnabled(h) ? 1 : 0);
  return 0;
}

int CmdClick(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  HWND h = Control(t, id);
  if (!h) return 1;
  if (!IsWindowEnabled(h)) return Fail("disabled");
  if (SendAndWait(t, h, BM_CLICK, 0, 0, kDefaultTimeout, nullptr) == Reply::None)
    return Fail("timeout: BM_CLICK not answered within %lu ms", kDefaultTimeout);
  return 0;
}

// Posted, as a menu choice is: the handler runs after we are gone. The menu
// item's own state is not consulted; see menu-state.
int CmdCommand(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  if (!PostMessageA(t.wnd, WM_COMMAND, MAKEWPARAM(id, 0), 0))
    return Fail("PostMessage failed (error %lu)", GetLastError());
  return 0;
}

// A system menu choice, such as 16 (About Ferrolink...).
int CmdSysCommand(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  if (!PostMessageA(t.wnd, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0))
    return Fail("PostMessage failed (error %lu)", GetLastError());
  return 0;
}

int CmdActivate(const Args& a) {
  long row;
  if (!NumArg(a, 0, 0, row)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND list = Control(t, kIdList);
  if (!list) return 1;
  LRESULT rows = 0, ok = 0;
  if (!Send(list, LVM_GETITEMCOUNT, 0, 0, &rows)) return NoAnswer("LVM_GETITEMCOUNT");
  if (row < 0 || row >= rows) return Fail("no row %ld (%ld rows)", row, static_cast<long>(rows));
  if (!Send(list, LVM_ENSUREVISIBLE, row, FALSE)) return NoAnswer("LVM_ENSUREVISIBLE");

  RemoteMem mem(t.proc, sizeof(RECT));
  if (!mem.ok()) return AllocFailed();
  RECT r = {};
  r.left = LVIR_LABEL;  // in report view: the first column
  if (!mem.Write(0, &r, sizeof r)) return AllocFailed();
  if (!Send(list, LVM_GETITEMRECT, row, mem.param(), &ok)) return NoAnswer("LVM_GETITEMRECT");
  if (!ok || !mem.Read(0, &r, sizeof r)) return Fail("no rectangle for row %ld", row);

  if (IsIconic(t.wnd)) ShowWindowAsync(t.wnd, SW_RESTORE);
  SetForegroundWindow(t.wnd);
  // Near the left of the label, where the text is, whatever the column width.
  POINT pt = {r.left + ((r.right - r.left) < 12 ? (r.right - r.left) / 2 : 6),
              (r.top + r.bottom) / 2};
  MapWindowPoints(list, HWND_DESKTOP, &pt, 1);
  HWND hit = WindowFromPoint(pt);
  if (hit != list)
    return Fail("row %ld at %ld,%ld is covered by window %p (%s)", row, pt.x, pt.y,
                static_cast<void*>(hit), hit ? ClassOf(hit).c_str() : "none");
  if (!ClickAt(pt)) return Fail("SendInput failed (error %lu)", GetLastError());
  return 0;
}

int CmdMessageBox(const Args& a) {
  long timeout;
  if (!NumArg(a, 0, kDefaultTimeout, timeout)) return BadNumber(a, 0);
  const DWORD start = GetTickCount();
  HWND box;
  while (!(box = FindMessageBox())) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout: no message box after %ld ms", timeout);
    Sleep(kPollMs);
  }
  std::string text;
  if (!WindowText(GetDlgItem(box, kIdMsgText), text)) return NoAnswer("WM_GETTEXT");
  if (g_opt.caption) PrintLine(TitleOf(box));
  PrintLine(text);
  if (g_opt.keep) return 0;

  // As the OK button would; posted, so the dialog need not be the active window.
  HWND ok = GetDlgItem(box, IDOK);
  if (!ok) return Fail("the message box has no OK button");
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  const DWORD pressed = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (GetTickCount() - pressed >= kDefaultTimeout)
      return Fail("the message box did not close after OK");
    Sleep(kPollMs / 5);
  }
  return 0;
}

int CmdNoMessageBox(const Args& a) {
  long ms;
  if (!NumArg(a, 0, 0, ms) || a.empty()) return BadNumber(a, 0);
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND box = FindMessageBox()) {
      std::string text;
      WindowText(GetDlgItem(box, kIdMsgText), text);
      return Fail("message box \"%s\": %s", TitleOf(box).c_str(), text.c_str());
    }
    if (GetTickCount() - start >= static_cast<DWORD>(ms)) return 0;
    Sleep(kPollMs);
  }
}

int CmdClose(const Args& a) {
  long timeout;
  if (!NumArg(a, 0, kDefaultTimeout, timeout)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  HANDLE proc = OpenProcess(SYNCHRONIZE, FALSE, t.pid);
  if (!proc) return Fail("cannot open process %lu (error %lu)", t.pid, GetLastError());
  // Posted: the handler may ask a question first, and that is for the test to answer.
  PostMessageA(t.wnd, WM_CLOSE, 0, 0);
  const DWORD waited = WaitForSingleObject(proc, static_cast<DWORD>(timeout));
  CloseHandle(proc);
  if (waited != WAIT_OBJECT_0)
    return Fail("timeout: process %lu still running %ld ms after WM_CLOSE", t.pid, timeout);
  return 0;
}

// The control id of the keyboard focus in the program's GUI thread, 0 for none.
int CmdFocus(const Args&) {
  Target t;
  if (!Attach(t)) return 1;
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(t.tid, &info))
    return Fail("GetGUIThreadInfo failed (error %lu)", GetLastError());
  const bool child = info.hwndFocus && (GetWindowLongPtrA(info.hwndFocus, GWL_STYLE) & WS_CHILD);
  printf("%d\n", child ? GetDlgCtrlID(info.hwndFocus) : 0);
  return 0;
}

// Screen coordinates, for xdotool (0: the main window).
int CmdRect(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  HWND h = Control(t, id);
  if (!h) return 1;
  RECT r;
  if (!GetWindowRect(h, &r)) return Fail("GetWindowRect failed (error %lu)", GetLastError());
  printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  return 0;
}

// A point of the main window's frame that answers WM_NCHITTEST with CODE
// (20 close box, 2 caption, 17 bottom-right corner...), as "x y" on the
// screen: of those points, the one nearest the middle of them all, so that it
// lies inside an L-shaped corner too. Only the bands along the edges are
// searched: the frame, caption and menu bar lie there, and a hit test is one
// message per point.
int CmdHitPoint(const Args& a) {
  long code;
  if (!NumArg(a, 0, 0, code)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  RECT w;
  if (!GetWindowRect(t.wnd, &w)) return Fail("GetWindowRect failed (error %lu)", GetLastError());
  // Every 3rd pixel still meets a 4-pixel frame; the top band holds the
  // caption and the menu bar, the others the frame.
  const LONG top = 48, side = 12, step = 3;
  std::vector<POINT> hits;
  for (LONG y = w.top; y < w.bottom; y += step)
    for (LONG x = w.left; x < w.right; x += step) {
      const bool edge = y < w.top + top || y >= w.bottom - side || x < w.left + side ||
                        x >= w.right - side;
      if (!edge) continue;
      LRESULT hit = 0;
      if (!Send(t.wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y), &hit)) return NoAnswer("WM_NCHITTEST");
      if (hit == code) hits.push_back(POINT{x, y});
    }
  if (hits.empty()) return Fail("no point of the frame answers %ld", code);
  RECT box = {hits[0].x, hits[0].y, hits[0].x, hits[0].y};
  for (const POINT& p : hits) {
    if (p.x < box.left) box.left = p.x;
    if (p.y < box.top) box.top = p.y;
    if (p.x > box.right) box.right = p.x;
    if (p.y > box.bottom) box.bottom = p.y;
  }
  const LONG mx = (box.left + box.right) / 2, my = (box.top + box.bottom) / 2;
  POINT best = hits[0];
  long long bestDist = -1;
  for (const POINT& p : hits) {
    const long long d = 1LL * (p.x - mx) * (p.x - mx) + 1LL * (p.y - my) * (p.y - my);
    if (bestDist < 0 || d < bestDist) {
      best = p;
      bestDist = d;
    }
  }
  printf("%ld %ld\n", best.x, best.y);
  return 0;
}

// Screen rectangle of control ID in another visible window of the program
// whose title is TITLE, such as the About box's OK button.
int CmdDialogRect(const Args& a) {
  long id;
  if (!NumArg(a, 1, 0, id)) return BadNumber(a, 1);
  HWND main = FindMain();
  const DWORD mainPid = main ? PidOf(main) : 0;
  for (HWND h : TopWindows()) {
    if (!IsWindowVisible(h) || TitleOf(h) != a[0] || !IsProgramPid(PidOf(h), mainPid)) continue;
    HWND c = id == 0 ? h : GetDlgItem(h, static_cast<int>(id));
    if (!c) return Fail("window \"%s\" has no control %ld", a[0].c_str(), id);
    RECT r;
    if (!GetWindowRect(c, &r)) return Fail("GetWindowRect failed (error %lu)", GetLastError());
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  return Fail("no window \"%s\"", a[0].c_str());
}

// Screen rectangle of a tree item or list row, for xdotool: the tree's
// whole-row rectangle of root item INDEX, or the list's row INDEX.
int CmdItemRect(const Args& a) {
  long id, index;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  if (!NumArg(a, 1, 0, index)) return BadNumber(a, 1);
  if (id != kIdTree && id != kIdList) return Fail("item-rect works on %d and %d only", kIdTree, kIdList);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND h = Control(t, id);
  if (!h) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  RECT r = {};
  LRESULT ok = 0;
  if (id == kIdTree) {
    std::vector<TreeItem> items;
    if (!TreeRoots(t, h, mem, items)) return NoAnswer("TVM_GETITEM");
    if (index < 0 || static_cast<size_t>(index) >= items.size())
      return Fail("no tree item #%ld (%u items)", index, static_cast<unsigned>(items.size()));
    // TVM_GETITEMRECT takes the item handle in the rectangle it fills.
    HTREEITEM item = items[index].handle;
    if (!mem.Write(0, &item, sizeof item)) return AllocFailed();
    if (!Send(h, TVM_GETITEMRECT, FALSE, mem.param(), &ok)) return NoAnswer("TVM_GETITEMRECT");
  } else {
    r.left = LVIR_BOUNDS;
    if (!mem.Write(0, &r, sizeof r)) return AllocFailed();
    if (!Send(h, LVM_GETITEMRECT, index, mem.param(), &ok)) return NoAnswer("LVM_GETITEMRECT");
  }
  if (!ok || !mem.Read(0, &r, sizeof r)) return Fail("no rectangle for item %ld (not visible?)", index);
  MapWindowPoints(h, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  return 0;
}

// Exit 3 when menus of another process cannot be read at all: Wine keeps them
// per process and answers 1456 (invalid menu handle) to every menu call.
int CmdMenuState(const Args& a) {
  long id;
  if (!NumArg(a, 0, 0, id)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  HMENU menu = GetMenu(t.wnd);
  if (!menu) return Fail("the main window has no menu");
  if (!IsMenu(menu)) {
    Fail("menus of another process are not readable on this system");
    return 3;
  }
  const UINT state = GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return Fail("no menu item %ld", id);
  PrintLine(state & (MF_GRAYED | MF_DISABLED) ? "grayed" : "enabled");
  return 0;
}

// The text a tooltip of the program shows: its current tool's. Empty when
// it shows none.
std::string CurrentTipText(HWND tip) {
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return "";
  RemoteMem mem(t.proc, kRemoteSize);
  TTTOOLINFOA ti = {};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  LRESULT has = 0;
  if (!mem.ok() || !mem.Write(0, &ti, sizeof ti) || !Send(tip, TTM_GETCURRENTTOOLA, 0, mem.param(), &has) ||
      !has || !mem.Read(0, &ti, sizeof ti))
    return "";
  const char nul = 0;
  ti.lpszText = mem.at(sizeof ti);
  if (!mem.Write(sizeof ti, &nul, 1) || !mem.Write(0, &ti, sizeof ti) ||
      !Send(tip, TTM_GETTEXTA, kTextMax, mem.param()) || !mem.Read(0, &ti, sizeof ti))
    return "";
  return ReadRemoteString(t.proc, ti.lpszText);
}

// Every visible top-level window of the program: handle, class, title (for
// a tooltip, the text it shows) and screen rectangle, tab-separated.
int CmdWindows(const Args&) {
  HWND main = FindMain();
  const DWORD mainPid = main ? PidOf(main) : 0;
  for (HWND h : TopWindows()) {
    RECT r = {};
    if (!IsWindowVisible(h) || !IsProgramPid(PidOf(h), mainPid) || !GetWindowRect(h, &r)) continue;
    const std::string cls = ClassOf(h);
    const std::string title = cls == TOOLTIPS_CLASSA ? CurrentTipText(h) : TitleOf(h);
    printf("%p\t%s\t%s\t%ld %ld %ld %ld\n", static_cast<void*>(h), cls.c_str(), title.c_str(), r.left, r.top,
           r.right, r.bottom);
  }
  return 0;
}

// Milliseconds since `start`, from the performance counter.
double MsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// Benchmarks: starts EXE and prints the ms until its status bar shows TEXT.
int CmdLaunchTime(const Args& a) {
  long timeout;
  if (!NumArg(a, 2, kDefaultTimeout, timeout)) return BadNumber(a, 2);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + a[0] + "\"";
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return Fail("cannot start %s (error %lu)", a[0].c_str(), GetLastError());
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  g_opt.pid = pi.dwProcessId;
  for (;;) {
    Target t;
    if ((t.wnd = FindMain()) != nullptr) {
      t.tid = GetWindowThreadProcessId(t.wnd, &t.pid);
      if (!OpenMemory(t)) return 1;
      HWND bar = GetDlgItem(t.wnd, kIdStatus);
      RemoteMem mem(t.proc, kRemoteSize);
      std::string text;
      while (bar && mem.ok()) {
        if (StatusText(t, bar, mem, text) && text == a[1]) {
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

// Benchmarks: selects NAME and prints the ms until the status shows TEXT.
int CmdSelectTime(const Args& a) {
  long timeout;
  if (!NumArg(a, 2, kDefaultTimeout, timeout)) return BadNumber(a, 2);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND tree = Control(t, kIdTree);
  HWND bar = Control(t, kIdStatus);
  if (!tree || !bar) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  std::vector<TreeItem> items;
  if (!TreeRoots(t, tree, mem, items)) return NoAnswer("TVM_GETITEM");
  HTREEITEM target = nullptr;
  for (const TreeItem& i : items)
    if (i.text == a[0]) target = i.handle;
  if (!target) return Fail("no tree item \"%s\"", a[0].c_str());
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  g_pending = Pending{false, 0};
  if (!SendMessageCallbackA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target), OnReply, 0))
    return Fail("cannot send TVM_SELECTITEM");
  std::string text;
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    // The status is written inside the handler; read it once the handler is done.
    if (g_pending.done && StatusText(t, bar, mem, text) && text == a[1]) {
      printf("%.1f\n", MsSince(start));
      return 0;
    }
    if (MsSince(start) > timeout) return Fail("timeout: status is \"%s\"", text.c_str());
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

// Benchmarks: once idle, starts a net update ("&Update Net") and times it to
// "Net update complete", asking the window a trivial question all along.
// Prints the walk's ms, the longest answer in ms and the number of items.
int CmdWalkTime(const Args& a) {
  long timeout;
  if (!NumArg(a, 0, 600000, timeout)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND bar = Control(t, kIdStatus);
  HWND tree = Control(t, kIdTree);
  if (!bar || !tree) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  std::string text;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  while (!(StatusText(t, bar, mem, text) && text == "Net update complete")) {
    if (MsSince(start) > timeout) return Fail("timeout: not idle, status is \"%s\"", text.c_str());
    Sleep(5);
  }
  QueryPerformanceCounter(&start);
  if (!PostMessageA(t.wnd, WM_COMMAND, 32771, 0)) return Fail("cannot post the command");
  // Until the window has taken the command, the old text still stands.
  while (StatusText(t, bar, mem, text) && text == "Net update complete" && MsSince(start) < 2000) Sleep(1);
  double worst = 0;
  for (;;) {
    LARGE_INTEGER ask;
    QueryPerformanceCounter(&ask);
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(t.wnd, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &r)) return NoAnswer("WM_NULL");
    const double took = MsSince(ask);
    if (took > worst) worst = took;
    if (StatusText(t, bar, mem, text) && text == "Net update complete") break;
    if (MsSince(start) > timeout) return Fail("timeout: status is \"%s\"", text.c_str());
    Sleep(2);
  }
  const double walk = MsSince(start);
  LRESULT count = 0;
  Send(tree, TVM_GETCOUNT, 0, 0, &count);
  printf("%.1f %.1f %ld\n", walk, worst, static_cast<long>(count));
  return 0;
}

// Benchmarks: the program's GDI and USER objects, "gdi user".
int CmdGuiResources(const Args&) {
  Target t;
  if (!Attach(t)) return 1;
  HANDLE proc = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, t.pid);
  if (!proc) return Fail("cannot open process %lu", t.pid);
  const DWORD gdi = GetGuiResources(proc, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(proc, GR_USEROBJECTS);
  CloseHandle(proc);
  printf("%lu %lu\n", gdi, user);
  return 0;
}

// Soak: N full repaints of the window and its controls, each waited for.
int CmdRepaint(const Args& a) {
  long n;
  if (!NumArg(a, 0, 1, n)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t)) return 1;
  for (long i = 0; i < n; ++i) {
    RedrawWindow(t.wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    if (!Send(t.wnd, WM_NULL, 0, 0)) return NoAnswer("WM_NULL");
  }
  return 0;
}

// Soak: N cycles of "&Update Net" then "&Break update", each to its end.
int CmdScanStop(const Args& a) {
  long n;
  if (!NumArg(a, 0, 1, n)) return BadNumber(a, 0);
  Target t;
  if (!Attach(t) || !OpenMemory(t)) return 1;
  HWND bar = Control(t, kIdStatus);
  if (!bar) return 1;
  RemoteMem mem(t.proc, kRemoteSize);
  if (!mem.ok()) return AllocFailed();
  std::string text;
  auto waitFor = [&](const char* want) {
    const DWORD start = GetTickCount();
    while (!(StatusText(t, bar, mem, text) && text == want)) {
      if (GetTickCount() - start > 30000) return false;
      Sleep(1);
    }
    return true;
  };
  for (long i = 0; i < n; ++i) {
    if (!Send(t.wnd, WM_COMMAND, 32771, 0) || !Send(t.wnd, WM_COMMAND, 32772, 0)) return NoAnswer("WM_COMMAND");
    if (!waitFor("Net update complete")) return Fail("cycle %ld: did not end: \"%s\"", i, text.c_str());
    // The worker lowers its flag just after the window took its last message.
    Sleep(20);
  }
  return 0;
}

struct Command {
  const char* name;
  const char* args;
  size_t minArgs, maxArgs;
  int (*run)(const Args&);
};

const Command kCommands[] = {
    {"wait-window", "[timeout]", 0, 1, CmdWaitWindow},
    {"wait-gone", "[timeout]", 0, 1, CmdWaitGone},
    {"pid", "", 0, 0, CmdPid},
    {"status", "", 0, 0, CmdStatus},
    {"wait-status", "TEXT [timeout]", 1, 2, CmdWaitStatus},
    {"tree", "", 0, 0, CmdTree},
    {"wait-tree", "N [timeout]", 1, 2, CmdWaitTree},
    {"selected", "", 0, 0, CmdSelected},
    {"select", "NAME|#INDEX [timeout]", 1, 2, CmdSelect},
    {"list", "", 0, 0, CmdList},
    {"location", "", 0, 0, CmdLocation},
    {"text", "ID", 1, 1, CmdText},
    {"enabled", "ID", 1, 1, CmdEnabled},
    {"click", "ID", 1, 1, CmdClick},
    {"command", "ID", 1, 1, CmdCommand},
    {"syscommand", "ID", 1, 1, CmdSysCommand},
    {"activate", "ROW", 1, 1, CmdActivate},
    {"messagebox", "[--caption] [--keep] [timeout]", 0, 1, CmdMessageBox},
    {"no-messagebox", "MS", 1, 1, CmdNoMessageBox},
    {"close", "[timeout]", 0, 1, CmdClose},
    {"focus", "", 0, 0, CmdFocus},
    {"rect", "ID", 1, 1, CmdRect},
    {"item-rect", "ID INDEX", 2, 2, CmdItemRect},
    {"hit-point", "CODE", 1, 1, CmdHitPoint},
    {"dialog-rect", "TITLE ID", 2, 2, CmdDialogRect},
    {"menu-state", "ID", 1, 1, CmdMenuState},
    {"windows", "", 0, 0, CmdWindows},
    {"launch-time", "EXE TEXT [timeout]", 2, 3, CmdLaunchTime},
    {"select-time", "NAME TEXT [timeout]", 2, 3, CmdSelectTime},
    {"walk-time", "[timeout]", 0, 1, CmdWalkTime},
    {"gui-resources", "", 0, 0, CmdGuiResources},
    {"repaint", "N", 1, 1, CmdRepaint},
    {"scan-stop", "N", 1, 1, CmdScanStop},
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
          "times in ms; IDs are control or command ids (decimal or 0x hex)\n");
  for (const Command& c : kCommands) fprintf(stderr, "  %s %s\n", c.name, c.args);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Plain \n line ends: the tests read this output with Unix tools.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  Args words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--caption") {
      g_opt.caption = true;
    } else if (arg == "--keep") {
      g_opt.keep = true;
    } else if (arg == "--pid" && hasValue) {
      g_opt.pid = strtoul(argv[++i], nullptr, 0);
    } else if (arg == "--exe" && hasValue) {
      g_opt.exe = argv[++i];
    } else if (arg == "--trace-status") {
      g_opt.traceStatus = true;
    } else if (arg == "--send-timeout" && hasValue) {
      g_opt.sendTimeout = strtoul(argv[++i], nullptr, 0);
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      fprintf(stderr, "unknown option %s (run without arguments for the list)\n", arg.c_str());
      return 2;
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) return Usage();

  for (const Command& c : kCommands) {
    if (words[0] != c.name) continue;
    const Args args(words.begin() + 1, words.end());
    if (args.size() < c.minArgs || args.size() > c.maxArgs) {
      fprintf(stderr, "usage: uidriver %s %s\n", c.name, c.args);
      return 2;
    }
    StatusTrace trace;
    if (g_opt.traceStatus && !trace.Start()) return 1;
    const int rc = c.run(args);
    fflush(stdout);
    return rc;
  }
  fprintf(stderr, "unknown command %s (run without arguments for the list)\n", words[0].c_str());
  return 2;
}
