#include "net/ping.h"
#include "framework/late_module.h"
#include "framework/proc_address.h"
#include "framework/win_app.h"

#ifdef __i386__
static_assert(sizeof(ICMP_ECHO_REPLY) == 28, "ICMP_ECHO_REPLY is 28 bytes on 32-bit Windows");
#endif

namespace {
// A probe's failures are said in a box the main window owns: the window is
// disabled until the answer, so no other selection can start a probe, and a
// box of its own, meanwhile.
void ShowError(const char* text)
{
    CWnd* main = AfxGetApp() ? AfxGetApp()->m_pMainWnd : nullptr;
    ::MessageBoxA(main && main->IsWindow() ? main->m_hWnd : nullptr, text, "Error:", MB_OK);
}

// WinSock 1.1 is loaded at the first probe rather than with the program,
// which starts faster without it, and then stays: loading it again for every
// probe would cost each selection the time.
struct WinsockEntries {
    HMODULE module = nullptr;
    decltype(&::WSAStartup) startup = nullptr;
    decltype(&::WSACleanup) cleanup = nullptr;
    decltype(&::inet_addr) inetAddr = nullptr;
    decltype(&::gethostbyname) byName = nullptr;
    decltype(&::gethostbyaddr) byAddr = nullptr;

    void Resolve()
    {
        startup = ProcAddress<decltype(startup)>(module, "WSAStartup");
        cleanup = ProcAddress<decltype(cleanup)>(module, "WSACleanup");
        inetAddr = ProcAddress<decltype(inetAddr)>(module, "inet_addr");
        byName = ProcAddress<decltype(byName)>(module, "gethostbyname");
        byAddr = ProcAddress<decltype(byAddr)>(module, "gethostbyaddr");
    }
    bool Complete() const { return startup && cleanup && inetAddr && byName && byAddr; }
};

CLateModule<WinsockEntries> g_winsock("wsock32.dll");
} // namespace

CPing::CPing()
{
    m_bReady = 0;
    m_hIcmp = ::LoadLibraryA("ICMP.DLL");
    if (!m_hIcmp) {
        ShowError("Could not load ICMP.DLL");
        return;
    }
    m_pfnIcmpCreateFile = ProcAddress<PFN_ICMPCREATEFILE>(m_hIcmp, "IcmpCreateFile");
    m_pfnIcmpCloseHandle = ProcAddress<PFN_ICMPCLOSEHANDLE>(m_hIcmp, "IcmpCloseHandle");
    m_pfnIcmpSendEcho = ProcAddress<PFN_ICMPSENDECHO>(m_hIcmp, "IcmpSendEcho");
    if (!m_pfnIcmpCreateFile || !m_pfnIcmpCloseHandle || !m_pfnIcmpSendEcho) {
        ShowError("Error loading ICMP.DLL");
        ::FreeLibrary(m_hIcmp);
        m_hIcmp = nullptr;
        return;
    }
    // Without Windows Sockets no probe can start: said by the probe that
    // found them missing, not again at every selection after it.
    bool loadedHere = false;
    const WinsockEntries& winsock = g_winsock.Get(&loadedHere);
    if (!winsock.Complete()) {
        if (loadedHere)
            ShowError("WSAStartup() error:");
        ::FreeLibrary(m_hIcmp);
        m_hIcmp = nullptr;
        return;
    }
    WSADATA data = {};
    if (winsock.startup(MAKEWORD(1, 1), &data) != 0) {
        // A start-up that failed holds nothing: a WSACleanup here would give
        // back the start-up of another probe that is still alive.
        ShowError("WSAStartup() error:");
        ::FreeLibrary(m_hIcmp);
        m_hIcmp = nullptr;
        return;
    }
    if (data.wVersion != MAKEWORD(1, 1)) {
        ShowError("No WinSock version 1.1 support found");
        winsock.cleanup();
        ::FreeLibrary(m_hIcmp);
        m_hIcmp = nullptr;
        return;
    }
    m_bReady = 1;
}

CPing::~CPing()
{
    if (!m_bReady)
        return;
    g_winsock.Get().cleanup();
    ::FreeLibrary(m_hIcmp);
}

int CPing::Ping(CString name)
{
    if (!m_bReady)
        return 0;

    const WinsockEntries& winsock = g_winsock.Get();
    hostent* host = nullptr;
    const unsigned long address = winsock.inetAddr(name);
    if (address == INADDR_NONE)
        host = winsock.byName(name);
    else
        host = winsock.byAddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
        !host->h_addr_list[0])
        return 0;
    IPAddr destination;
    memcpy(&destination, host->h_addr_list[0], 4);

    HANDLE echo = m_pfnIcmpCreateFile();
    if (echo == INVALID_HANDLE_VALUE || echo == nullptr)
        return 0;

    IP_OPTION_INFORMATION options = {};
    options.Ttl = 255;
    options.Tos = 0;
    options.Flags = 0;
    options.OptionsSize = 0;
    options.OptionsData = nullptr;

    // One reply plus the 8 bytes Windows asks for an ICMP error message.
    union {
        ICMP_ECHO_REPLY reply;
        char bytes[sizeof(ICMP_ECHO_REPLY) + 8];
    } buffer = {};
    buffer.reply.Status = IP_SUCCESS;
    const DWORD replies = m_pfnIcmpSendEcho(echo, destination, nullptr, 0, &options, &buffer,
                                            sizeof buffer, kPingTimeoutMs);
    // A failed call may leave the reply untouched: only a counted reply counts.
    const int answered = replies >= 1 && buffer.reply.Status == IP_SUCCESS;

    m_pfnIcmpCloseHandle(echo);
    return answered;
}
