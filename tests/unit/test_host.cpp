#include "tests/unit/test_host.h"

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

int CountGdiObjects()
{
    int n = 0;
    for (ULONG_PTR value = 1; value < 0x10000; ++value) {
        const DWORD type = ::GetObjectType(reinterpret_cast<HGDIOBJ>(value));
        n += type != 0 && type != OBJ_REGION;
    }
    return n;
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
// answers 0 under Wine.
int CountWindows()
{
    int n = 0;
    ::EnumWindows(&CountTop, reinterpret_cast<LPARAM>(&n));
    return n;
}

// GetProcessHandleCount answers 0 under Wine: try every handle value.
DWORD CountHandles()
{
    DWORD n = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        n += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != FALSE;
    return n;
}

} // namespace

Objects TakeObjects()
{
    return {CountGdiObjects(), CountWindows(), CountHandles()};
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
