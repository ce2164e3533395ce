// CDC: a device context with the drawing calls the controls use. A CDC
// from FromHandle only wraps a context that someone else owns and releases.
#pragma once
#include <windows.h>
#include "framework/rect.h"

class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    // A wrapper of `hdc` for the current handler; null for no context (or
    // no memory for the thread's wrappers). The wrapper stays valid while
    // the next few wraps of this thread are made.
    static CDC* FromHandle(HDC hdc);
    // Gives back the calling thread's wrappers; the framework's threads do
    // as they end.
    static void ReleaseThreadWrappers();

    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    HGDIOBJ SelectStockObject(int index) { return ::SelectObject(m_hDC, ::GetStockObject(index)); }
    HFONT GetCurrentFont() const { return static_cast<HFONT>(::GetCurrentObject(m_hDC, OBJ_FONT)); }

    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int GetBkMode() const { return ::GetBkMode(m_hDC); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }

    int FillRect(LPCRECT rect, HBRUSH brush) { return ::FillRect(m_hDC, rect, brush); }
    // Fills with a colour without a brush; the background colour is kept.
    void FillSolidRect(LPCRECT rect, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    // A one-pixel frame inside `rect`: top and left in `topLeft`, right
    // and bottom in `bottomRight`.
    void Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight);
    BOOL RoundRect(LPCRECT rect, POINT corner)
    { return ::RoundRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom, corner.x, corner.y); }
    int DrawText(const char* text, int count, LPRECT rect, UINT format)
    { return ::DrawTextA(m_hDC, text, count, rect, format); }
    BOOL DrawState(POINT pt, SIZE size, HICON icon, UINT flags)
    {
        return ::DrawStateA(m_hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, pt.x, pt.y,
                            size.cx, size.cy, flags | DST_ICON);
    }
    SIZE GetTextExtent(const char* text, int count) const;
    // GradientFill of msimg32.dll where the system has it (98, 2000 and
    // later); on 95 and NT 4.0 rectangles are blended by FillGradientRects.
    BOOL GradientFill(TRIVERTEX* vertices, ULONG vertexCount, void* mesh, ULONG meshCount, ULONG mode);
    // The same rectangle blends, one band of one colour per row or column.
    static BOOL FillGradientRects(HDC hdc, const TRIVERTEX* vertices, ULONG vertexCount,
                                  const GRADIENT_RECT* rects, ULONG rectCount, ULONG mode);

    BOOL BeginPath() { return ::BeginPath(m_hDC); }
    BOOL EndPath() { return ::EndPath(m_hDC); }
    BOOL SelectClipPath(int mode) { return ::SelectClipPath(m_hDC, mode); }
    int IntersectClipRect(LPCRECT rect)
    { return ::IntersectClipRect(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
    POINT OffsetViewportOrg(int dx, int dy);
};
