#include "remote.h"

#include <cstdint>
#include <cstring>

#include "agent.h"
#include "driver.h"

namespace uidriver {

namespace {

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

}  // namespace

bool Send(HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_NORMAL | SMTO_ABORTIFHUNG, g_opt.sendTimeout, &r))
    return false;
  if (result) *result = static_cast<LRESULT>(r);
  return true;
}

int NoAnswer(const char* what) {
  return Fail("no answer to %s within %lu ms (program busy or hung)", what, g_opt.sendTimeout);
}

bool SendAsync(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  g_pending = Pending{false, 0};
  return SendMessageCallbackA(h, msg, wp, lp, OnReply, 0) != FALSE;
}

bool Replied(LRESULT* result) {
  if (g_pending.done && result) *result = g_pending.result;
  return g_pending.done;
}

Reply SendAndWait(const Target& t, HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD timeout,
                  LRESULT* result) {
  const HWND boxBefore = FindMessageBox();
  const bool enabledBefore = IsWindowEnabled(t.wnd) != FALSE;
  if (!SendAsync(h, msg, wp, lp)) return Reply::None;
  const DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    if (Replied(result)) return Reply::Done;
    HWND box = FindMessageBox();
    if ((box && box != boxBefore) || (enabledBefore && !IsWindowEnabled(t.wnd)))
      return Reply::Modal;
    if (GetTickCount() - start >= timeout) return Reply::None;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
  }
}

RemoteMem::~RemoteMem() {
  if (base_ && agent_)
    agent::Free(reinterpret_cast<uintptr_t>(base_));
  else if (base_)
    VirtualFreeEx(proc_, base_, 0, MEM_RELEASE);
}

bool RemoteMem::Allocate(HANDLE proc, size_t size) {
  proc_ = proc;
  agent_ = agent::InUse();
  if (agent_) {
    uint64_t address = 0;
    base_ = agent::Alloc(size, &address) ? reinterpret_cast<void*>(static_cast<uintptr_t>(address)) : nullptr;
  } else {
    base_ = VirtualAllocEx(proc, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  return ok();
}

bool RemoteMem::Write(size_t offset, const void* src, size_t n) const {
  if (agent_) return agent::Write(reinterpret_cast<uintptr_t>(at(offset)), src, n);
  SIZE_T done = 0;
  return WriteProcessMemory(proc_, at(offset), src, n, &done) && done == n;
}

bool RemoteMem::Read(size_t offset, void* dst, size_t n) const {
  if (agent_) return agent::Read(reinterpret_cast<uintptr_t>(at(offset)), dst, n) == n;
  SIZE_T done = 0;
  return ReadProcessMemory(proc_, at(offset), dst, n, &done) && done == n;
}

int AllocFailed() {
  return Fail("cannot allocate memory in the program (error %lu)", GetLastError());
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
    if (agent::InUse())
      got = agent::Read(reinterpret_cast<uintptr_t>(addr), chunk, room);
    else if (!ReadProcessMemory(proc, addr, chunk, room, &got))
      got = 0;
    if (got == 0) break;
    const char* nul = static_cast<const char*>(memchr(chunk, 0, got));
    if (nul) return s.append(chunk, nul - chunk);
    s.append(chunk, got);
    addr += got;
  }
  return s;
}

bool WindowText(HWND h, std::string& out) {
  LRESULT len = 0;
  if (!Send(h, WM_GETTEXTLENGTH, 0, 0, &len)) return false;
  std::vector<char> buf(static_cast<size_t>(len) + 2, '\0');
  if (!Send(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()))) return false;
  out.assign(buf.data(), strnlen(buf.data(), buf.size()));
  return true;
}

// The status bar's text. In simple mode Windows keeps it at index 255, while
// Wine answers 255 with nothing and index 0 with the simple text.
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

}  // namespace uidriver
