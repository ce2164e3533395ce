// The commands, each run with its Context prepared as its row in main.cpp's
// table asks.
#pragma once

#include "context.h"

namespace uidriver {

// commands_read.cpp: what the program shows, and waits for it.
int CmdWaitWindow(Context& c);
int CmdWaitGone(Context& c);
int CmdPid(Context& c);
int CmdStatus(Context& c);
int CmdWaitStatus(Context& c);
int CmdTree(Context& c);
int CmdWaitTree(Context& c);
int CmdSelected(Context& c);
int CmdList(Context& c);
int CmdText(Context& c);
int CmdEnabled(Context& c);
int CmdFocus(Context& c);
int CmdMenuState(Context& c);
int CmdWindows(Context& c);

// commands_screen.cpp: where things are on the screen, for xdotool.
int CmdRect(Context& c);
int CmdItemRect(Context& c);
bool ItemRectArgsOk(const Context& c);
int CmdHitPoint(Context& c);
int CmdDialogRect(Context& c);

// commands_act.cpp: doing what a user does.
int CmdSelect(Context& c);
int CmdClick(Context& c);
int CmdCommand(Context& c);
int CmdSysCommand(Context& c);
int CmdActivate(Context& c);
int CmdMessageBox(Context& c);
int CmdNoMessageBox(Context& c);
int CmdClose(Context& c);

// commands_measure.cpp: benchmarks and soaks.
int CmdLaunchTime(Context& c);
int CmdSelectTime(Context& c);
int CmdWalkTime(Context& c);
int CmdGuiResources(Context& c);
int CmdRepaint(Context& c);
int CmdScanStop(Context& c);

}  // namespace uidriver
