#include "framework/dc.h"

CDC* CDC::FromHandle(HDC hdc)
{
    if (!hdc)
        return nullptr;
    // A handler wraps one or two contexts at a time, nested at most a few
    // deep (a paint that asks the parent to erase): a small ring serves.
    thread_local CDC ring[16];
    thread_local unsigned next = 0;
    for (CDC& dc : ring)
        if (dc.m_hDC == hdc)
            return &dc;
    CDC* dc = &ring[next];
    next = (next + 1) % 16;
    dc->m_hDC = hdc;
    return dc;
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
