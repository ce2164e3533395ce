// The net update: a worker thread walks the provider router depth-first
// and adds one tree item per computer it meets.
#pragma once
#include <windows.h>
#include <winnetwk.h>
#include <commctrl.h>
#include <atomic>
#include "framework/afx.h"

// Id of the registered message "Message_net_update_notify".
extern const UINT g_netUpdateNotifyMsg;
// 1 from the start of a worker until it has finished, its completion
// message included; 1 once a stop is requested, until the next start.
extern std::atomic<int> g_updateRunning;
extern std::atomic<int> g_stopRequested;

// The router calls and the thread start the update makes, replaceable so the
// tests can play a router that Wine's cannot (ERROR_MORE_DATA) or a thread
// that does not start.
struct NetUpdateCalls {
    DWORD (APIENTRY *openEnum)(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA container, LPHANDLE handle);
    DWORD (APIENTRY *enumResource)(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize);
    DWORD (APIENTRY *closeEnum)(HANDLE handle);
    CWinThread* (*beginThread)(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                               DWORD flags, LPSECURITY_ATTRIBUTES security);
};
extern NetUpdateCalls g_netCalls;
NetUpdateCalls DefaultNetUpdateCalls();

UINT NetUpdateThread(LPVOID param);
void WalkNetwork(LPNETRESOURCEA container);

// The tree text of a remote name: two leading characters dropped when it
// starts with a backslash; empty for none or one too short for that.
CString ComputerNameFromRemote(const char* remote);

// The main window is going away: the walk stops at its next stop test.
void NetUpdateWindowClosing();
// For a new window in the same process (the tests).
void NetUpdateWindowOpening();
// The main window has been shown and waits for input: a walk that waits to
// begin goes on.
void NetUpdateWindowReady();
