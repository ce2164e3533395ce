// Broken stand-ins for ICMP.DLL, one build per way of breaking:
//   FL_ICMP_NO_EXPORTS   loads, but has none of the Icmp* entry points;
//   FL_ICMP_PARTIAL      has IcmpCreateFile only;
//   FL_ICMP_NO_LOAD      refuses to load (DllMain answers FALSE).
#include <windows.h>

extern "C" __declspec(dllexport) DWORD WINAPI FerrolinkFixture()
{
    return 0x4943;   // "IC"
}

#ifdef FL_ICMP_PARTIAL
extern "C" __declspec(dllexport) HANDLE WINAPI IcmpCreateFile()
{
    return INVALID_HANDLE_VALUE;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
#ifdef FL_ICMP_NO_LOAD
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
#else
    (void)reason;
    return TRUE;
#endif
}
