// The framework in one include.
#pragma once
#include "framework/string.h"
#include "framework/rect.h"
#include "framework/wnd.h"
#include "framework/dialog.h"
#include "framework/data_exchange.h"
#include "framework/win_app.h"
#include "framework/win_thread.h"
#include "framework/button.h"
#include "framework/static.h"
#include "framework/tree_ctrl.h"
#include "framework/list_ctrl.h"
#include "framework/status_bar_ctrl.h"
