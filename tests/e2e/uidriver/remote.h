// Talking to the program's controls from this process: messages with a
// timeout, memory in the program for messages that carry pointers, and the
// readers of status bar, tree, list and tooltip texts built on both.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "find.h"

namespace uidriver {

// A message that returns promptly; false when the program does not answer in time.
bool Send(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result = nullptr);
int NoAnswer(const char* what);

// Sends without waiting; a message pump of ours later takes in the reply.
bool SendAsync(HWND h, UINT msg, WPARAM wp, LPARAM lp);
// Whether the reply to the last SendAsync has come in, and with what.
bool Replied(LRESULT* result = nullptr);

enum class Reply { Done, Modal, None };

// For messages whose handler may run for seconds or open a modal window: waits
// for the reply, or until the program shows a new message box or disables its
// main window (then the handler sits in a modal loop, which is not a hang).
Reply SendAndWait(const Target& t, HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD timeout,
                  LRESULT* result);

// Memory in the program's process, for messages that carry pointers: those are
// not marshalled between processes.
class RemoteMem {
 public:
  RemoteMem() = default;
  RemoteMem(HANDLE proc, size_t size) { Allocate(proc, size); }
  ~RemoteMem();
  RemoteMem(const RemoteMem&) = delete;
  RemoteMem& operator=(const RemoteMem&) = delete;

  bool Allocate(HANDLE proc, size_t size);
  bool ok() const { return base_ != nullptr; }
  char* at(size_t offset) const { return static_cast<char*>(base_) + offset; }
  LPARAM param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(at(offset)); }
  bool Write(size_t offset, const void* src, size_t n) const;
  bool Read(size_t offset, void* dst, size_t n) const;

 private:
  HANDLE proc_ = nullptr;
  void* base_ = nullptr;
  bool agent_ = false;  // reached through the agent inside the program
};

// Reports the failed allocation; returns the exit code of a failure.
int AllocFailed();

std::string ReadRemoteString(HANDLE proc, const char* addr);

// WM_GETTEXT is marshalled, so a local buffer serves.
bool WindowText(HWND h, std::string& out);

bool StatusText(const Target& t, HWND bar, const RemoteMem& mem, std::string& out);

bool TreeItemText(const Target& t, HWND tree, HTREEITEM item, const RemoteMem& mem,
                  std::string& out);

struct TreeItem {
  HTREEITEM handle;
  std::string text;
};

// The root items in order (the tree is a flat list of computers).
bool TreeRoots(const Target& t, HWND tree, const RemoteMem& mem, std::vector<TreeItem>& out);

bool ListCellText(const Target& t, HWND list, int row, int col, const RemoteMem& mem,
                  std::string& out);

// The text a tooltip of the program shows: its current tool's. Empty when
// it shows none.
std::string CurrentTipText(HWND tip);

}  // namespace uidriver
