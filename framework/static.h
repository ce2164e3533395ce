// CStatic: a static control.
#pragma once
#include "framework/wnd.h"

class CStatic : public CWnd {
};
