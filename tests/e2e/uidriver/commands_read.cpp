// Commands that read what the program shows, or wait until it shows it.
#include <cstdio>

#include "commands.h"

namespace uidriver {

int CmdWaitWindow(Context& c) {
  const long timeout = c.num[0];
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

int CmdWaitGone(Context& c) {
  const long timeout = c.num[0];
  const DWORD start = GetTickCount();
  while (FindMain()) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout: the Ferrolink window is still there after %ld ms", timeout);
    Sleep(kPollMs);
  }
  return 0;
}

int CmdPid(Context& c) {
  printf("%lu\n", c.target.pid);
  return 0;
}

int CmdStatus(Context& c) {
  std::string text;
  if (!StatusText(c.target, c.control[0], c.mem, text)) return NoAnswer("SB_GETTEXT");
  PrintLine(text);
  return 0;
}

int CmdWaitStatus(Context& c) {
  const long timeout = c.num[1];
  const DWORD start = GetTickCount();
  std::string text;
  for (;;) {
    // A slow answer is no failure here: the wait as a whole has the timeout.
    if (StatusText(c.target, c.control[0], c.mem, text) && text == c.args[0]) {
      PrintLine(text);
      return 0;
    }
    if (!IsWindow(c.target.wnd)) return Fail("the Ferrolink window went away");
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout after %ld ms: status is \"%s\"", timeout, text.c_str());
    Sleep(kPollMs);
  }
}

int CmdTree(Context& c) {
  std::vector<TreeItem> items;
  if (!TreeRoots(c.target, c.control[0], c.mem, items)) return NoAnswer("TVM_GETITEM");
  for (const TreeItem& i : items) PrintLine(i.text);
  return 0;
}

int CmdWaitTree(Context& c) {
  const long want = c.num[0], timeout = c.num[1];
  const DWORD start = GetTickCount();
  LRESULT count = 0;
  for (;;) {
    if (Send(c.control[0], TVM_GETCOUNT, 0, 0, &count) && count >= want) {
      printf("%ld\n", static_cast<long>(count));
      return 0;
    }
    if (!IsWindow(c.target.wnd)) return Fail("the Ferrolink window went away");
    if (GetTickCount() - start >= static_cast<DWORD>(timeout))
      return Fail("timeout after %ld ms: the tree holds %ld items", timeout,
                  static_cast<long>(count));
    Sleep(kPollMs);
  }
}

int CmdSelected(Context& c) {
  HWND tree = c.control[0];
  LRESULT item = 0;
  if (!Send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, &item)) return NoAnswer("TVM_GETNEXTITEM");
  if (!item) return 0;  // no selection: no output
  std::string text;
  if (!TreeItemText(c.target, tree, reinterpret_cast<HTREEITEM>(item), c.mem, text))
    return NoAnswer("TVM_GETITEM");
  PrintLine(text);
  return 0;
}

int CmdList(Context& c) {
  HWND list = c.control[0];
  LRESULT rows = 0, header = 0, cols = 0;
  if (!Send(list, LVM_GETITEMCOUNT, 0, 0, &rows) || !Send(list, LVM_GETHEADER, 0, 0, &header))
    return NoAnswer("LVM_GETITEMCOUNT");
  if (header && !Send(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, &cols))
    return NoAnswer("HDM_GETITEMCOUNT");
  if (cols <= 0) cols = 1;
  for (int row = 0; row < rows; ++row) {
    std::string line, cell;
    for (int col = 0; col < cols; ++col) {
      if (!ListCellText(c.target, list, row, col, c.mem, cell)) return NoAnswer("LVM_GETITEMTEXT");
      if (col) line += '\t';
      line += cell;
    }
    PrintLine(line);
  }
  return 0;
}

// The window text of a control (0: the main window's title); location's too.
int CmdText(Context& c) {
  std::string text;
  if (!WindowText(c.control[0], text)) return NoAnswer("WM_GETTEXT");
  PrintLine(text);
  return 0;
}

int CmdEnabled(Context& c) {
  printf("%d\n", IsWindowEnabled(c.control[0]) ? 1 : 0);
  return 0;
}

// The control id of the keyboard focus in the program's GUI thread, 0 for none.
int CmdFocus(Context& c) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(c.target.tid, &info))
    return Fail("GetGUIThreadInfo failed (error %lu)", GetLastError());
  const bool child = info.hwndFocus && (GetWindowLongPtrA(info.hwndFocus, GWL_STYLE) & WS_CHILD);
  printf("%d\n", child ? GetDlgCtrlID(info.hwndFocus) : 0);
  return 0;
}

// Exit 3 when menus of another process cannot be read at all: Wine keeps them
// per process and answers 1456 (invalid menu handle) to every menu call.
int CmdMenuState(Context& c) {
  const long id = c.num[0];
  HMENU menu = GetMenu(c.target.wnd);
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

// Every visible top-level window of the program: handle, class, title (for
// a tooltip, the text it shows) and screen rectangle, tab-separated.
int CmdWindows(Context&) {
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

}  // namespace uidriver
