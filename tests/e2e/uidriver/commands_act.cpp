// Commands that do what a user does: select, click, choose from a menu,
// answer a message box, close the program.
#include "commands.h"

namespace uidriver {

namespace {

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

}  // namespace

int CmdSelect(Context& c) {
  const std::string& name = c.args[0];
  const long timeout = c.num[1];
  HWND tree = c.control[0];
  std::vector<TreeItem> items;
  if (!TreeRoots(c.target, tree, c.mem, items)) return NoAnswer("TVM_GETITEM");

  HTREEITEM target = nullptr;
  if (name.size() > 1 && name[0] == '#') {
    long index;
    if (!NumArg(Args{name.substr(1)}, 0, 0, index)) return BadNumber(c.args, 0);
    if (index < 0 || static_cast<size_t>(index) >= items.size())
      return Fail("no tree item #%ld (%u items)", index, static_cast<unsigned>(items.size()));
    target = items[index].handle;
  } else {
    for (const TreeItem& i : items)
      if (i.text == name) {
        target = i.handle;
        break;
      }
    if (!target) return Fail("no tree item \"%s\"", name.c_str());
  }

  LRESULT ok = 0;
  switch (SendAndWait(c.target, tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target),
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

int CmdClick(Context& c) {
  HWND h = c.control[0];
  if (!IsWindowEnabled(h)) return Fail("disabled");
  if (SendAndWait(c.target, h, BM_CLICK, 0, 0, kDefaultTimeout, nullptr) == Reply::None)
    return Fail("timeout: BM_CLICK not answered within %lu ms", kDefaultTimeout);
  return 0;
}

// Posted, as a menu choice is: the handler runs after we are gone. The menu
// item's own state is not consulted; see menu-state.
int CmdCommand(Context& c) {
  if (!PostMessageA(c.target.wnd, WM_COMMAND, MAKEWPARAM(c.num[0], 0), 0))
    return Fail("PostMessage failed (error %lu)", GetLastError());
  return 0;
}

// A system menu choice, such as 16 (About Ferrolink...).
int CmdSysCommand(Context& c) {
  if (!PostMessageA(c.target.wnd, WM_SYSCOMMAND, static_cast<WPARAM>(c.num[0]), 0))
    return Fail("PostMessage failed (error %lu)", GetLastError());
  return 0;
}

int CmdActivate(Context& c) {
  const long row = c.num[0];
  HWND list = c.control[0];
  const RemoteMem& mem = c.mem;
  LRESULT rows = 0, ok = 0;
  if (!Send(list, LVM_GETITEMCOUNT, 0, 0, &rows)) return NoAnswer("LVM_GETITEMCOUNT");
  if (row < 0 || row >= rows) return Fail("no row %ld (%ld rows)", row, static_cast<long>(rows));
  if (!Send(list, LVM_ENSUREVISIBLE, row, FALSE)) return NoAnswer("LVM_ENSUREVISIBLE");

  RECT r = {};
  r.left = LVIR_LABEL;  // in report view: the first column
  if (!mem.Write(0, &r, sizeof r)) return AllocFailed();
  if (!Send(list, LVM_GETITEMRECT, row, mem.param(), &ok)) return NoAnswer("LVM_GETITEMRECT");
  if (!ok || !mem.Read(0, &r, sizeof r)) return Fail("no rectangle for row %ld", row);

  HWND wnd = c.target.wnd;
  if (IsIconic(wnd)) ShowWindowAsync(wnd, SW_RESTORE);
  SetForegroundWindow(wnd);
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

int CmdMessageBox(Context& c) {
  const long timeout = c.num[0];
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

int CmdNoMessageBox(Context& c) {
  const long ms = c.num[0];
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

int CmdClose(Context& c) {
  const long timeout = c.num[0];
  const DWORD pid = c.target.pid;
  HANDLE proc = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!proc) return Fail("cannot open process %lu (error %lu)", pid, GetLastError());
  // Posted: the handler may ask a question first, and that is for the test to answer.
  PostMessageA(c.target.wnd, WM_CLOSE, 0, 0);
  const DWORD waited = WaitForSingleObject(proc, static_cast<DWORD>(timeout));
  CloseHandle(proc);
  if (waited != WAIT_OBJECT_0)
    return Fail("timeout: process %lu still running %ld ms after WM_CLOSE", pid, timeout);
  return 0;
}

}  // namespace uidriver
