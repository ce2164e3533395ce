// CFont: an owned font.
#pragma once
#include "framework/gdi_object.h"

class CFont : public CGdiObject {
public:
    BOOL CreateFontIndirect(const LOGFONTA* logFont) { return Attach(::CreateFontIndirectA(logFont)); }
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};
