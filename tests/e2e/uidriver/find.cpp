#include "find.h"

#include <tlhelp32.h>

#include <cstring>

#include "agent.h"
#include "driver.h"

namespace uidriver {

namespace {

BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

bool IsMainWindow(HWND h) {
  return IsWindowVisible(h) && ClassOf(h) == "#32770" &&
         StartsWith(TitleOf(h), kMainTitlePrefix) &&
         (!g_opt.pid || PidOf(h) == g_opt.pid);
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

// A MessageBox: a visible dialog with the text static, neither the main window
// nor the About box (both dialogs too, with statics of id 0xFFFF).
bool IsMessageBox(HWND h) {
  if (!IsWindowVisible(h) || ClassOf(h) != "#32770") return false;
  const std::string title = TitleOf(h);
  if (StartsWith(title, kMainTitlePrefix) || StartsWith(title, kAboutTitlePrefix)) return false;
  HWND text = GetDlgItem(h, kIdMsgText);
  return text && ClassOf(text) == "Static";
}

bool IsWow64(HANDLE proc) {
  typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
  // Looked up: the call is missing on the oldest systems, which are all 32-bit.
  IsWow64Fn fn = reinterpret_cast<IsWow64Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow = FALSE;
  return fn && fn(proc, &wow) && wow;
}

}  // namespace

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

std::vector<HWND> TopWindows() {
  std::vector<HWND> v;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&v));
  return v;
}

HWND FindMain() {
  for (HWND h : TopWindows())
    if (IsMainWindow(h)) return h;
  return nullptr;
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

HWND FindMessageBox() {
  HWND main = FindMain();
  const DWORD mainPid = main ? PidOf(main) : 0;
  for (HWND h : TopWindows())
    if (IsMessageBox(h) && IsProgramPid(PidOf(h), mainPid)) return h;
  return nullptr;
}

bool Attach(Target& t) {
  t.wnd = FindMain();
  if (!t.wnd) {
    Fail("no Ferrolink window");
    return false;
  }
  t.tid = GetWindowThreadProcessId(t.wnd, &t.pid);
  agent::Aim(t.wnd, t.tid);
  return true;
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

}  // namespace uidriver
