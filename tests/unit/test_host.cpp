#include "tests/unit/test_host.h"
#include "framework/handle_map.h"

namespace {
const char kHostClass[] = "FerrolinkTestHost";

void RegisterHostClass()
{
    static HBRUSH background = ::CreateSolidBrush(TestHost::kBackground);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = kHostClass;
    ::RegisterClassA(&wc);
}
} // namespace

TestHost::TestHost(int x, int y, int width, int height)
{
    RegisterHostClass();
    HWND wnd = ::CreateWindowExA(WS_EX_TOPMOST, kHostClass, "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                                 width, height, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    SubclassWindow(wnd);
    ::UpdateWindow(wnd);
}

TestHost::~TestHost()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
    PumpMessages();
}

HWND TestHost::AddChild(const char* className, const char* text, DWORD style, int x, int y, int width, int height,
                        int id)
{
    HWND child = ::CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, m_hWnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleA(nullptr), nullptr);
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

LRESULT TestHost::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND: {
        const Command c = {LOWORD(wp), HIWORD(wp)};
        commands.push_back(c);
        if (onCommand)
            onCommand(c);
        return 0;
    }
    case WM_RBUTTONDOWN:
        rightPresses.push_back(lp);
        return 0;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

namespace {

// Adds one GDI object of the given type to its kind. A display DC that
// belongs to no window is one of the system's spare ones. Regions are
// counted only when asked: Wine keeps each update region as one.
void CountGdi(Objects* o, HGDIOBJ obj, DWORD type, bool regions)
{
    switch (type) {
    case 0:
        break;
    case OBJ_REGION:
        o->regions += regions;
        break;
    case OBJ_FONT: ++o->fonts; break;
    case OBJ_BRUSH: ++o->brushes; break;
    case OBJ_PEN:
    case OBJ_EXTPEN: ++o->pens; break;
    case OBJ_BITMAP: ++o->bitmaps; break;
    case OBJ_DC:
        o->dcs += ::WindowFromDC(static_cast<HDC>(obj)) != nullptr;
        break;
    case OBJ_MEMDC: ++o->dcs; break;
    default: ++o->otherGdi; break;
    }
}

void CountGdiKinds(Objects* o, bool regions)
{
    for (ULONG_PTR value = 1; value < 0x10000; ++value) {
        const HGDIOBJ obj = reinterpret_cast<HGDIOBJ>(value);
        CountGdi(o, obj, ::GetObjectType(obj), regions);
    }
}

} // namespace

int CountGdiObjects()
{
    Objects o;
    CountGdiKinds(&o, false);
    return o.gdi();
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM lp)
{
    ++*reinterpret_cast<int*>(lp);
    return TRUE;
}

BOOL CALLBACK CountTop(HWND wnd, LPARAM lp)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == ::GetCurrentProcessId()) {
        ++*reinterpret_cast<int*>(lp);
        ::EnumChildWindows(wnd, &CountChild, lp);
    }
    return TRUE;
}

// Windows are the USER objects that a leak here would leave; GetGuiResources
// answers 0 under Wine. EnumWindows leaves message-only windows out.
int CountWindows()
{
    int n = 0;
    ::EnumWindows(&CountTop, reinterpret_cast<LPARAM>(&n));
    for (HWND h = ::FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
         h = ::FindWindowExA(HWND_MESSAGE, h, nullptr, nullptr))
        CountTop(h, reinterpret_cast<LPARAM>(&n));
    return n;
}

BOOL CALLBACK ValidateTop(HWND wnd, LPARAM)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == ::GetCurrentProcessId())
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_VALIDATE | RDW_NOFRAME | RDW_NOERASE | RDW_ALLCHILDREN);
    return TRUE;
}

// Empties every update region of this process's windows.
void ValidateAll()
{
    ::EnumWindows(&ValidateTop, 0);
}

// GetProcessHandleCount answers 0 under Wine: try every handle value.
long CountHandles()
{
    long n = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        n += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != FALSE;
    return n;
}

// Cursors and icons are USER objects; as for GDI objects, a 16-bit value
// names a live one under Wine. GetIconInfo hands back copies of the
// images, deleted at once (before the GDI objects are counted).
int CountCursors()
{
    int n = 0;
    for (ULONG_PTR value = 2; value < 0x10000; value += 2) {
        ICONINFO info = {};
        if (!::GetIconInfo(reinterpret_cast<HICON>(value), &info))
            continue;
        ++n;
        if (info.hbmColor)
            ::DeleteObject(info.hbmColor);
        if (info.hbmMask)
            ::DeleteObject(info.hbmMask);
    }
    return n;
}

Objects CountObjects()
{
    Objects o;
    o.cursors = CountCursors();
    ValidateAll();
    CountGdiKinds(&o, true);
    o.windows = CountWindows();
    o.windowObjects = static_cast<int>(CHandleMap::Permanent().Count());
    o.handles = CountHandles();
    return o;
}

bool operator==(const Objects& a, const Objects& b)
{
    return a.fonts == b.fonts && a.brushes == b.brushes && a.pens == b.pens && a.bitmaps == b.bitmaps &&
           a.dcs == b.dcs && a.regions == b.regions && a.otherGdi == b.otherGdi && a.cursors == b.cursors &&
           a.windows == b.windows && a.windowObjects == b.windowObjects && a.handles == b.handles;
}

} // namespace

Objects TakeObjects()
{
    // Another thread may be painting just now, holding a window's DC and a
    // bitmap of its own for a moment: two counts that agree, a little apart.
    Objects last = CountObjects();
    for (int i = 0; i < 30; ++i) {
        ::Sleep(100);
        const Objects now = CountObjects();
        if (now == last)
            break;
        last = now;
    }
    return last;
}

std::string ObjectsGrown(const Objects& before, const Objects& after)
{
    const struct {
        const char* name;
        long before, after;
    } kinds[] = {
        {"fonts", before.fonts, after.fonts},       {"brushes", before.brushes, after.brushes},
        {"pens", before.pens, after.pens},          {"bitmaps", before.bitmaps, after.bitmaps},
        {"DCs", before.dcs, after.dcs},             {"regions", before.regions, after.regions},
        {"other GDI objects", before.otherGdi, after.otherGdi},
        {"cursors", before.cursors, after.cursors}, {"windows", before.windows, after.windows},
        {"framework window objects", before.windowObjects, after.windowObjects},
        {"handles", before.handles, after.handles},
    };
    std::string grown;
    for (const auto& k : kinds)
        if (k.after > k.before)
            grown += (grown.empty() ? "" : ", ") + std::string(k.name) + " " + std::to_string(k.before) + " -> " +
                     std::to_string(k.after);
    return grown;
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

Canvas::Canvas(int width, int height)
    : m_width(width), m_height(height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dc = ::CreateCompatibleDC(nullptr);
    m_bitmap = ::CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_old = ::SelectObject(m_dc, m_bitmap);
    Fill(RGB(0xFE, 0x01, 0xFE));
}

Canvas::~Canvas()
{
    ::SelectObject(m_dc, m_old);
    ::DeleteObject(m_bitmap);
    ::DeleteDC(m_dc);
}

void Canvas::Fill(COLORREF color)
{
    HBRUSH brush = ::CreateSolidBrush(color);
    RECT all = {0, 0, m_width, m_height};
    ::FillRect(m_dc, &all, brush);
    ::DeleteObject(brush);
}
