// fake_target: a stand-in for Ferrolink's main window, with the same window
// classes, control ids and menu, so uidriver can be checked on its own.
// It scans a fixed list of computers on a timer; selecting one fills the
// list; a few names and test-only commands make it slow, modal or hung.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

enum {
  IDC_STATUSBAR = 101,
  IDC_BACK = 1000,
  IDC_FORWARD = 1001,
  IDC_STOP = 1002,
  IDC_SCAN = 1003,
  IDC_LOCATION = 1006,
  IDC_TREE = 1007,
  IDC_LIST = 1008,
  IDC_SITE_LINK = 1009,
  IDC_ABOUT_TEXT = 0xFFFF,
  ID_NET_UPDATE = 32771,
  ID_NET_BREAK = 32772,
  ID_HELP_ABOUT = 32773,
  IDM_ABOUTBOX = 0x0010,
  ID_TEST_HANG = 40001,   // the UI thread stops answering for 3 s
  ID_TEST_UIBOX = 40002,  // a message box from the UI thread, owned by the window
};

const UINT_PTR kScanTimer = 1;
const UINT kScanStepMs = 300;

// The computers a scan finds, in order: a non-ASCII name (Windows-1252 bytes)
// and a 16 KB one among them.
std::vector<std::string> Computers() {
  return {"ALPHA", "BETA", "GR\xDCN", "MODAL", "SLOW", "LONG" + std::string(16000, 'x'), "OMEGA"};
}

struct Share {
  const char* name;
  const char* type;
  const char* comment;
};
const Share kShares[] = {
    {"DOCS", "Disk", "Documents"},
    {"PRINTER", "Printer", ""},
    {"IPC$", "IPC", "Remote IPC"},
};

HWND g_dlg;
size_t g_scanned;
std::string g_computer;

// A dialog template built in memory: DLGTEMPLATE, then each DLGITEMTEMPLATE
// on a DWORD boundary.
class DialogTemplate {
 public:
  DialogTemplate(const wchar_t* title, DWORD style, short cx, short cy) {
    Dword(style | DS_SETFONT);
    Dword(0);
    count_ = words_.size();
    Word(0);
    Word(0);
    Word(0);
    Word(cx);
    Word(cy);
    Word(0);  // no menu
    Word(0);  // the dialog class
    String(title);
    Word(8);
    String(L"MS Shell Dlg");
  }
  void Add(const wchar_t* cls, const wchar_t* text, DWORD style, int id, short x, short y,
           short cx, short cy) {
    if (words_.size() % 2) Word(0);
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(x);
    Word(y);
    Word(cx);
    Word(cy);
    Word(static_cast<WORD>(id));
    String(cls);
    String(text);
    Word(0);  // no creation data
    ++words_[count_];
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void String(const wchar_t* s) {
    do Word(static_cast<WORD>(*s));
    while (*s++);
  }
  std::vector<WORD> words_;
  size_t count_ = 0;
};

HWND Item(int id) { return GetDlgItem(g_dlg, id); }

void SetStatus(const char* text) {
  SendMessageA(Item(IDC_STATUSBAR), SB_SETTEXTA, 255, reinterpret_cast<LPARAM>(text));
}

void SetScanning(bool on) {
  EnableWindow(Item(IDC_SCAN), !on);
  EnableWindow(Item(IDC_STOP), on);
  HMENU menu = GetMenu(g_dlg);
  EnableMenuItem(menu, ID_NET_UPDATE, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
  EnableMenuItem(menu, ID_NET_BREAK, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  DrawMenuBar(g_dlg);
}

void StartScan() {
  if (IsWindowEnabled(Item(IDC_STOP))) return;
  TreeView_DeleteAllItems(Item(IDC_TREE));
  g_scanned = 0;
  SetStatus("Net update in progress...");
  SetScanning(true);
  SetTimer(g_dlg, kScanTimer, kScanStepMs, nullptr);
}

void StopScan(const char* status) {
  KillTimer(g_dlg, kScanTimer);
  SetScanning(false);
  SetStatus(status);
}

void ScanStep() {
  const std::vector<std::string> names = Computers();
  if (g_scanned >= names.size()) return StopScan("Net update complete");
  TVINSERTSTRUCTA ins = {};
  ins.hParent = TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT;
  ins.item.pszText = const_cast<char*>(names[g_scanned++].c_str());
  SendMessageA(Item(IDC_TREE), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins));
}

std::string ItemText(HTREEITEM item) {
  std::vector<char> buf(20000, '\0');
  TVITEMA tv = {};
  tv.mask = TVIF_HANDLE | TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = buf.data();
  tv.cchTextMax = static_cast<int>(buf.size());
  SendMessageA(Item(IDC_TREE), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
  return tv.pszText;
}

// As the real window does on a selection: list the computer's shares.
void OnSelChanged(HTREEITEM item) {
  g_computer = ItemText(item);
  if (g_computer == "MODAL")
    MessageBoxA(g_dlg, "Cannot list the shares of MODAL.", "ferrolink", MB_OK | MB_ICONERROR);
  if (g_computer == "SLOW") Sleep(2000);

  HWND list = Item(IDC_LIST);
  ListView_DeleteAllItems(list);
  int row = 0;
  for (const Share& s : kShares) {
    LVITEMA lv = {};
    lv.mask = LVIF_TEXT;
    lv.iItem = row;
    lv.pszText = const_cast<char*>(s.name);
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&lv));
    lv.iSubItem = 1;
    lv.pszText = const_cast<char*>(s.type);
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&lv));
    lv.iSubItem = 2;
    lv.pszText = const_cast<char*>(s.comment);
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&lv));
    ++row;
  }
  SetWindowTextA(Item(IDC_LOCATION), ("Share resources at: \\\\" + g_computer).c_str());
  InvalidateRect(Item(IDC_LOCATION), nullptr, TRUE);
  EnableWindow(Item(IDC_BACK), TRUE);
  SetStatus("Done");
}

void OnItemActivate(int row) {
  char name[256] = "";
  ListView_GetItemText(Item(IDC_LIST), row, 0, name, sizeof name);
  SetStatus(("Opened \\\\" + g_computer + "\\" + name).c_str());
}

DWORD WINAPI LinkErrorThread(void*) {
  // No owner, from a thread of its own, as a failed URL launch reports.
  MessageBoxA(nullptr, "The link cannot be opened.", "Error:", MB_OK | MB_ICONERROR);
  return 0;
}

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
    EndDialog(dlg, LOWORD(wp));
    return TRUE;
  }
  return FALSE;
}

void ShowAbout() {
  DialogTemplate t(L"About Ferrolink", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 160, 60);
  t.Add(L"Static", L"Ferrolink Version 1.0", SS_LEFT, IDC_ABOUT_TEXT, 10, 10, 140, 10);
  t.Add(L"Button", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 55, 36, 50, 14);
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), g_dlg, AboutProc, 0);
}

void DrawButton(const DRAWITEMSTRUCT& di) {
  RECT r = di.rcItem;
  FillRect(di.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(di.hDC, &r, (di.itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  char text[256] = "";
  GetWindowTextA(di.hwndItem, text, sizeof text);
  SetBkMode(di.hDC, TRANSPARENT);
  SetTextColor(di.hDC, GetSysColor((di.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  DrawTextA(di.hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void OnInitDialog() {
  SendMessageA(Item(IDC_STATUSBAR), SB_SIMPLE, TRUE, 0);
  SetStatus("Ready");

  HWND list = Item(IDC_LIST);
  ListView_SetExtendedListViewStyle(list, LVS_EX_ONECLICKACTIVATE);
  const char* columns[] = {"Name", "Type", "Comment"};
  const int widths[] = {100, 70, 160};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<char*>(columns[i]);
    col.cx = widths[i];
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
  }

  HMENU menu = CreateMenu();
  AppendMenuA(menu, MF_STRING, ID_NET_UPDATE, "&Update Net");
  AppendMenuA(menu, MF_STRING | MF_GRAYED, ID_NET_BREAK, "&Break update");
  AppendMenuA(menu, MF_STRING, ID_HELP_ABOUT, "&About");
  SetMenu(g_dlg, menu);
  // The menu took height from the client area: put the status bar back at the bottom.
  SendMessageA(Item(IDC_STATUSBAR), WM_SIZE, 0, 0);
  HMENU sys = GetSystemMenu(g_dlg, FALSE);
  AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(sys, MF_STRING, IDM_ABOUTBOX, "&About Ferrolink...");

  EnableWindow(Item(IDC_BACK), FALSE);
  EnableWindow(Item(IDC_FORWARD), FALSE);
  EnableWindow(Item(IDC_STOP), FALSE);
  SetFocus(Item(IDC_TREE));
  StartScan();
}

void OnCommand(int id, int code) {
  switch (id) {
    case IDC_SCAN:
    case ID_NET_UPDATE:
      StartScan();
      break;
    case IDC_STOP:
    case ID_NET_BREAK:
      if (IsWindowEnabled(Item(IDC_STOP))) StopScan("Net update stopped");
      break;
    case IDC_BACK:
      SetStatus("Back pressed");
      break;
    case IDC_FORWARD:
      SetStatus("Forward pressed");
      break;
    case IDC_SITE_LINK:
      if (code == STN_CLICKED) CloseHandle(CreateThread(nullptr, 0, LinkErrorThread, nullptr, 0, nullptr));
      break;
    case ID_HELP_ABOUT:
      ShowAbout();
      break;
    case ID_TEST_HANG:
      Sleep(3000);
      break;
    case ID_TEST_UIBOX:
      MessageBoxA(g_dlg, "Nothing to select.", "ferrolink", MB_OK | MB_ICONINFORMATION);
      break;
  }
}

INT_PTR CALLBACK MainProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      g_dlg = dlg;
      OnInitDialog();
      return FALSE;  // focus set
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
      if (wp == kScanTimer) ScanStep();
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* nm = reinterpret_cast<const NMHDR*>(lp);
      if (nm->idFrom == IDC_TREE && (nm->code == TVN_SELCHANGEDA || nm->code == TVN_SELCHANGEDW))
        OnSelChanged(reinterpret_cast<const NMTREEVIEWA*>(lp)->itemNew.hItem);
      else if (nm->idFrom == IDC_LIST && nm->code == LVN_ITEMACTIVATE)
        OnItemActivate(reinterpret_cast<const NMITEMACTIVATE*>(lp)->iItem);
      return TRUE;
    }
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dlg);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  DialogTemplate t(L"Ferrolink 1.0",
                   WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE | DS_MODALFRAME,
                   400, 250);
  t.Add(L"Button", L"Back", BS_OWNERDRAW, IDC_BACK, 4, 4, 40, 14);
  t.Add(L"Button", L"Forward", BS_OWNERDRAW, IDC_FORWARD, 48, 4, 40, 14);
  t.Add(L"Button", L"Stop", BS_OWNERDRAW, IDC_STOP, 92, 4, 40, 14);
  t.Add(L"Button", L"Scan", BS_OWNERDRAW, IDC_SCAN, 136, 4, 40, 14);
  t.Add(L"Button", L"Share resources at: ", BS_OWNERDRAW, IDC_LOCATION, 4, 22, 392, 12);
  t.Add(WC_TREEVIEWW, L"", WS_BORDER | WS_TABSTOP | TVS_SHOWSELALWAYS, IDC_TREE, 4, 38, 110, 176);
  t.Add(WC_LISTVIEWW, L"", WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
        IDC_LIST, 118, 38, 278, 176);
  t.Add(L"Static", L"www.ferrolink.example", SS_NOTIFY, IDC_SITE_LINK, 4, 218, 150, 10);
  t.Add(STATUSCLASSNAMEW, L"", 0, IDC_STATUSBAR, 0, 0, 0, 0);

  if (!CreateDialogIndirectParamW(inst, t.Get(), nullptr, MainProc, 0)) return 1;
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(g_dlg, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}
