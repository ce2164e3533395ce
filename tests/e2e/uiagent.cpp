// uiagent.dll: loaded into the program by uidriver's hook when the program
// runs under qemu's emulator, it reads, writes and allocates the program's
// memory for the driver (see uiagent.h).
#include <windows.h>
#include <cstring>
#include <vector>
#include "uiagent.h"

namespace {

// How many bytes from `at` can be read, at most `want`: committed and not
// guarded or inaccessible.
size_t Readable(const char* at, size_t want)
{
    size_t total = 0;
    while (total < want) {
        MEMORY_BASIC_INFORMATION mbi;
        if (!VirtualQuery(at + total, &mbi, sizeof mbi) || mbi.State != MEM_COMMIT ||
            (mbi.Protect & (PAGE_NOACCESS | PAGE_GUARD)) || !mbi.Protect)
            break;
        const size_t left = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize - (at + total);
        total += left < want - total ? left : want - total;
    }
    return total;
}

void Serve(HWND agent, const COPYDATASTRUCT* request)
{
    using namespace uiagent;
    Request r;
    std::memcpy(&r, request->lpData, sizeof r);
    std::vector<char> reply(sizeof(Answer));
    Answer a = {0, 0, 0};
    char* at = reinterpret_cast<char*>(static_cast<uintptr_t>(r.address));
    switch (r.op) {
    case kAlloc:
        if (void* p = VirtualAlloc(nullptr, r.size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
            a.ok = 1;
            a.address = reinterpret_cast<uintptr_t>(p);
        }
        break;
    case kFree:
        a.ok = VirtualFree(at, 0, MEM_RELEASE) != FALSE;
        break;
    case kWrite:
        if (request->cbData >= sizeof r + r.size && Readable(at, r.size) == r.size) {
            std::memcpy(at, static_cast<const char*>(request->lpData) + sizeof r, r.size);
            a.ok = 1;
        }
        break;
    case kRead:
        a.size = static_cast<uint32_t>(Readable(at, r.size));
        a.ok = 1;
        reply.resize(sizeof a + a.size);
        std::memcpy(reply.data() + sizeof a, at, a.size);
        break;
    }
    std::memcpy(reply.data(), &a, sizeof a);
    COPYDATASTRUCT answer = {kMagic, static_cast<DWORD>(reply.size()), reply.data()};
    SendMessageA(reinterpret_cast<HWND>(static_cast<uintptr_t>(r.replyWindow)), WM_COPYDATA,
                 reinterpret_cast<WPARAM>(agent), reinterpret_cast<LPARAM>(&answer));
}

HINSTANCE g_module = nullptr;

LRESULT CALLBACK AgentProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    static const UINT goodbye = RegisterWindowMessageA(uiagent::kGoodbye);
    const COPYDATASTRUCT* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (msg == WM_COPYDATA && cds && cds->dwData == uiagent::kMagic && cds->cbData >= sizeof(uiagent::Request)) {
        Serve(h, cds);
        return TRUE;
    }
    if (msg == goodbye) {
        DestroyWindow(h);
        return TRUE;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) LRESULT CALLBACK AgentHook(int code, WPARAM wp, LPARAM lp)
{
    static const UINT hello = RegisterWindowMessageA(uiagent::kHello);
    MSG* m = reinterpret_cast<MSG*>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && m && m->message == hello) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = AgentProc;
        wc.hInstance = g_module;
        wc.lpszClassName = "FerrolinkUiAgent";
        RegisterClassA(&wc);   // already there from an earlier driver: fine
        HWND agent = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
        SendMessageA(reinterpret_cast<HWND>(m->wParam), hello, reinterpret_cast<WPARAM>(agent), 0);
        m->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
