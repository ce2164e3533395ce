// CPen: an owned pen.
#pragma once
#include "framework/gdi_object.h"

class CPen : public CGdiObject {
public:
    BOOL CreatePen(int style, int width, COLORREF color) { return Attach(::CreatePen(style, width, color)); }
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }
};
