// CPing: does a computer answer one ICMP echo within 150 ms? A probe object
// lives for one operation: it holds ICMP.DLL and WinSock while it exists.
#pragma once
#include <winsock.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include "framework/string.h"

class CPing {
public:
    CPing();
    ~CPing();
    CPing(const CPing&) = delete;
    CPing& operator=(const CPing&) = delete;

    // 1 when `name` (a dotted address or a host name) answered, else 0.
    int Ping(CString name);

    typedef HANDLE (WINAPI *PFN_ICMPCREATEFILE)();
    typedef BOOL (WINAPI *PFN_ICMPCLOSEHANDLE)(HANDLE);
    typedef DWORD (WINAPI *PFN_ICMPSENDECHO)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID,
                                             DWORD, DWORD);

private:
    PFN_ICMPCREATEFILE m_pfnIcmpCreateFile = nullptr;
    PFN_ICMPCLOSEHANDLE m_pfnIcmpCloseHandle = nullptr;
    PFN_ICMPSENDECHO m_pfnIcmpSendEcho = nullptr;
    HMODULE m_hIcmp = nullptr;
    int m_bReady = 0;
};

// Echo timeout of a probe, in milliseconds.
const DWORD kPingTimeoutMs = 150;
