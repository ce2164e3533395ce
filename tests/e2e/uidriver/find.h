// Finding the program: its main window, its message boxes, its process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

std::string ClassOf(HWND h);
std::string TitleOf(HWND h);
DWORD PidOf(HWND h);
bool StartsWith(const std::string& s, const char* prefix);

std::vector<HWND> TopWindows();
HWND FindMain();
// Whether PID is the program's, given the main window's process (0: none).
bool IsProgramPid(DWORD pid, DWORD mainPid);
HWND FindMessageBox();

// The main window and its process, as a command works on them.
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
bool Attach(Target& t);
// Opens the process for reading and writing its memory; says why not.
bool OpenMemory(Target& t);
// A control of the main window (0: the window itself); says why not.
HWND Control(const Target& t, long id);

}  // namespace uidriver
