#include "framework/dc.h"
#include "framework/late_module.h"
#include "framework/proc_address.h"
#include <new>

namespace {
// A handler wraps one or two contexts at a time, nested at most a few deep
// (a paint that asks the parent to erase): a small ring for each thread
// that paints serves. It is found through a TLS index of the process's
// own rather than a thread_local: Windows 9x is said not to run an EXE's TLS
// callbacks, which would leave each exiting thread's emulated block behind.
struct WrapperRing {
    CDC dcs[16];
    unsigned next = 0;
};

const DWORD g_ringSlot = ::TlsAlloc();

WrapperRing* ThreadRing()
{
    if (g_ringSlot == TLS_OUT_OF_INDEXES)
        return nullptr;
    auto* ring = static_cast<WrapperRing*>(::TlsGetValue(g_ringSlot));
    if (!ring) {
        ring = new (std::nothrow) WrapperRing;
        if (ring && !::TlsSetValue(g_ringSlot, ring)) {
            delete ring;
            ring = nullptr;
        }
    }
    return ring;
}
} // namespace

CDC* CDC::FromHandle(HDC hdc)
{
    WrapperRing* ring = hdc ? ThreadRing() : nullptr;
    if (!ring)
        return nullptr;
    for (CDC& dc : ring->dcs)
        if (dc.m_hDC == hdc)
            return &dc;
    CDC* dc = &ring->dcs[ring->next];
    ring->next = (ring->next + 1) % 16;
    dc->m_hDC = hdc;
    return dc;
}

void CDC::ReleaseThreadWrappers()
{
    if (g_ringSlot == TLS_OUT_OF_INDEXES)
        return;
    delete static_cast<WrapperRing*>(::TlsGetValue(g_ringSlot));
    ::TlsSetValue(g_ringSlot, nullptr);
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color)
{
    const COLORREF old = ::SetBkColor(m_hDC, color);
    ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    const RECT r = {x, y, x + cx, y + cy};
    FillSolidRect(&r, color);
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight)
{
    const int x = rect->left, y = rect->top;
    const int cx = rect->right - rect->left, cy = rect->bottom - rect->top;
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx - 1, y, 1, cy, bottomRight);
    FillSolidRect(x, y + cy - 1, cx, 1, bottomRight);
}

SIZE CDC::GetTextExtent(const char* text, int count) const
{
    SIZE size = {0, 0};
    ::GetTextExtentPoint32A(m_hDC, text, count, &size);
    return size;
}

POINT CDC::OffsetViewportOrg(int dx, int dy)
{
    POINT old = {0, 0};
    ::OffsetViewportOrgEx(m_hDC, dx, dy, &old);
    return old;
}

namespace {
// msimg32.dll does not exist on Windows 95 or NT 4.0, so it is looked up
// at run time, once, and kept loaded for the rest of the process.
struct GradientEntries {
    HMODULE module = nullptr;
    BOOL (WINAPI *gradientFill)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG) = nullptr;

    void Resolve() { gradientFill = ProcAddress<decltype(gradientFill)>(module, "GradientFill"); }
};

CLateModule<GradientEntries> g_msimg32("msimg32.dll");

// One channel at `pos` of `len` steps from `from` to `to`, 8 bits.
BYTE Blend(COLOR16 from, COLOR16 to, long long pos, long long len)
{
    return static_cast<BYTE>(((from * (len - pos) + to * pos) / len) >> 8);
}
} // namespace

BOOL CDC::GradientFill(TRIVERTEX* vertices, ULONG vertexCount, void* mesh, ULONG meshCount, ULONG mode)
{
    if (const auto proc = g_msimg32.Get().gradientFill)
        return proc(m_hDC, vertices, vertexCount, mesh, meshCount, mode);
    return FillGradientRects(m_hDC, vertices, vertexCount, static_cast<const GRADIENT_RECT*>(mesh), meshCount,
                             mode);
}

BOOL CDC::FillGradientRects(HDC hdc, const TRIVERTEX* vertices, ULONG vertexCount, const GRADIENT_RECT* rects,
                            ULONG rectCount, ULONG mode)
{
    if (!vertices || !rects || (mode != GRADIENT_FILL_RECT_V && mode != GRADIENT_FILL_RECT_H))
        return FALSE;
    const bool vertical = mode == GRADIENT_FILL_RECT_V;
    const COLORREF oldBk = ::GetBkColor(hdc);
    for (ULONG i = 0; i < rectCount; ++i) {
        if (rects[i].UpperLeft >= vertexCount || rects[i].LowerRight >= vertexCount) {
            ::SetBkColor(hdc, oldBk);
            return FALSE;
        }
        // Colours go with their vertices: the blend runs from the vertex
        // nearer the top (or left) to the other, whichever one the mesh
        // names first.
        const TRIVERTEX* a = &vertices[rects[i].UpperLeft];
        const TRIVERTEX* b = &vertices[rects[i].LowerRight];
        if (vertical ? a->y > b->y : a->x > b->x) {
            const TRIVERTEX* t = a;
            a = b;
            b = t;
        }
        const LONG left = a->x < b->x ? a->x : b->x, right = a->x < b->x ? b->x : a->x;
        const LONG top = a->y < b->y ? a->y : b->y, bottom = a->y < b->y ? b->y : a->y;
        const long long len = vertical ? bottom - top : right - left;
        for (long long pos = 0; pos < len; ++pos) {
            ::SetBkColor(hdc, RGB(Blend(a->Red, b->Red, pos, len), Blend(a->Green, b->Green, pos, len),
                                  Blend(a->Blue, b->Blue, pos, len)));
            const LONG at = static_cast<LONG>((vertical ? top : left) + pos);
            const RECT band = vertical ? RECT{left, at, right, at + 1} : RECT{at, top, at + 1, bottom};
            ::ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &band, nullptr, 0, nullptr);
        }
    }
    ::SetBkColor(hdc, oldBk);
    return TRUE;
}
