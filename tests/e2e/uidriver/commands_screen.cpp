// Commands that say where things are on the screen, for xdotool to point at.
#include <cstdio>

#include "commands.h"

namespace uidriver {

// Screen coordinates of a control (0: the main window).
int CmdRect(Context& c) {
  RECT r;
  if (!GetWindowRect(c.control[0], &r)) return Fail("GetWindowRect failed (error %lu)", GetLastError());
  printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  return 0;
}

bool ItemRectArgsOk(const Context& c) {
  const long id = c.num[0];
  if (id == kIdTree || id == kIdList) return true;
  Fail("item-rect works on %d and %d only", kIdTree, kIdList);
  return false;
}

// Screen rectangle of a tree item or list row: the tree's whole-row
// rectangle of root item INDEX, or the list's row INDEX.
int CmdItemRect(Context& c) {
  const long index = c.num[1];
  HWND h = c.control[0];
  const RemoteMem& mem = c.mem;
  RECT r = {};
  LRESULT ok = 0;
  if (c.num[0] == kIdTree) {
    std::vector<TreeItem> items;
    if (!TreeRoots(c.target, h, mem, items)) return NoAnswer("TVM_GETITEM");
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

// A point of the main window's frame that answers WM_NCHITTEST with CODE
// (20 close box, 2 caption, 17 bottom-right corner...), as "x y" on the
// screen: of those points, the one nearest the middle of them all, so that it
// lies inside an L-shaped corner too. Only the bands along the edges are
// searched: the frame, caption and menu bar lie there, and a hit test is one
// message per point, dear under qemu's emulator. The frame's edges are
// 4 pixels across: every 3rd pixel across them, every 9th along; the caption,
// its buttons and the menu bar are 14 or more each way: every 6th. Only the
// bands that can hold the code: the caption's parts lie in the top band, the
// bottom's in the bottom band and up the sides.
int CmdHitPoint(Context& c) {
  const long code = c.num[0];
  RECT w;
  if (!GetWindowRect(c.target.wnd, &w)) return Fail("GetWindowRect failed (error %lu)", GetLastError());
  const bool edge = code >= HTLEFT && code <= HTBOTTOMRIGHT;
  const LONG top = 48, side = 12;
  const LONG across = edge ? 3 : 6, along = edge ? 9 : 6;
  const bool caption = code == HTCAPTION || code == HTSYSMENU || code == HTMENU || code == HTMINBUTTON ||
                       code == HTMAXBUTTON || code == HTCLOSE || code == HTHELP || code == HTTOP;
  const bool bottom = code == HTBOTTOM || code == HTBOTTOMLEFT || code == HTBOTTOMRIGHT;
  const bool sides = code == HTLEFT || code == HTRIGHT;
  struct Band {
    bool searched;
    RECT r;
    LONG dx, dy;
  };
  const Band bands[] = {
      {!bottom && !sides, {w.left, w.top, w.right, w.top + top}, along, across},
      {!caption, {w.left, w.bottom - side, w.right, w.bottom}, along, across},
      {!caption, {w.left, w.top + top, w.left + side, w.bottom - side}, across, along},
      {!caption, {w.right - side, w.top + top, w.right, w.bottom - side}, across, along},
  };
  std::vector<POINT> hits;
  for (const Band& b : bands)
    for (LONG y = b.r.top; b.searched && y < b.r.bottom; y += b.dy)
      for (LONG x = b.r.left; x < b.r.right; x += b.dx) {
        LRESULT hit = 0;
        if (!Send(c.target.wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y), &hit)) return NoAnswer("WM_NCHITTEST");
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
int CmdDialogRect(Context& c) {
  const std::string& title = c.args[0];
  const long id = c.num[1];
  HWND main = FindMain();
  const DWORD mainPid = main ? PidOf(main) : 0;
  for (HWND h : TopWindows()) {
    if (!IsWindowVisible(h) || TitleOf(h) != title || !IsProgramPid(PidOf(h), mainPid)) continue;
    HWND ctl = id == 0 ? h : GetDlgItem(h, static_cast<int>(id));
    if (!ctl) return Fail("window \"%s\" has no control %ld", title.c_str(), id);
    RECT r;
    if (!GetWindowRect(ctl, &r)) return Fail("GetWindowRect failed (error %lu)", GetLastError());
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  return Fail("no window \"%s\"", title.c_str());
}

}  // namespace uidriver
