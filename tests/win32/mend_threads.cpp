// Run by 32-bit Wine under qemu with qemu_mend.so: every thread must have a
// thread-area selector of its own in the LDT while it lives, whose base is
// its own thread block, and an ended thread's selector must come back, or a
// long-lived process runs out of them and its threads start sharing one
// (and each other's thread blocks). Wine's 32-bit code runs with the C
// library's %gs, so the selector can be read here, and the base through
// %gs:0, where the C library's thread block keeps its own address.
#include <windows.h>
#include <cstdio>
#include <set>

namespace {

unsigned short ReadGs()
{
    unsigned short sel;
    __asm__ volatile("mov %%gs,%0" : "=r"(sel));
    return sel;
}

unsigned long ReadGsBase()
{
    unsigned long self;
    __asm__ volatile("mov %%gs:0,%0" : "=r"(self));
    return self;
}

bool InLdt(unsigned short sel)
{
    return (sel & 4) != 0;
}

struct Seen {
    unsigned short gs = 0;
    unsigned long base = 0;
    HANDLE go = nullptr;
};

DWORD WINAPI Record(LPVOID p)
{
    Seen* seen = static_cast<Seen*>(p);
    seen->base = ReadGsBase();
    seen->gs = ReadGs();
    if (seen->go)
        ::WaitForSingleObject(seen->go, INFINITE);
    return 0;
}

int Fail(const char* what, unsigned value)
{
    std::printf("mend_threads: %s (%#x)\n", what, value);
    return 1;
}

} // namespace

int main()
{
    const unsigned short main_gs = ReadGs();
    const unsigned long main_base = ReadGsBase();
    if (!InLdt(main_gs))
        return Fail("the main thread's selector is not in the LDT", main_gs);

    // One after another: the selectors come back.
    std::set<unsigned short> sequential;
    for (int i = 0; i < 300; ++i) {
        Seen seen;
        HANDLE t = ::CreateThread(nullptr, 0, &Record, &seen, 0, nullptr);
        if (!t)
            return Fail("CreateThread failed", ::GetLastError());
        ::WaitForSingleObject(t, INFINITE);
        ::CloseHandle(t);
        if (!InLdt(seen.gs))
            return Fail("a thread's selector is not in the LDT", seen.gs);
        if (seen.base == main_base)
            return Fail("a thread runs on the main thread's block", seen.base);
        sequential.insert(seen.gs);
    }
    if (sequential.size() > 16)
        return Fail("300 threads, one after another, took this many selectors", unsigned(sequential.size()));

    // At once: each its own.
    const int kAtOnce = 8;
    Seen seen[kAtOnce];
    HANDLE threads[kAtOnce];
    HANDLE go = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < kAtOnce; ++i) {
        seen[i].go = go;
        threads[i] = ::CreateThread(nullptr, 0, &Record, &seen[i], 0, nullptr);
        if (!threads[i])
            return Fail("CreateThread failed", ::GetLastError());
    }
    for (int i = 0; i < kAtOnce; ++i)
        while (!seen[i].gs)
            ::Sleep(1);
    std::set<unsigned short> live = {main_gs};
    std::set<unsigned long> bases = {main_base};
    for (const Seen& s : seen) {
        live.insert(s.gs);
        bases.insert(s.base);
    }
    // Threads on one block may not end cleanly: said before they are let go.
    if (bases.size() != kAtOnce + 1)
        return Fail("threads alive at once share thread blocks; distinct", unsigned(bases.size()));
    ::SetEvent(go);
    ::WaitForMultipleObjects(kAtOnce, threads, TRUE, INFINITE);
    for (HANDLE t : threads)
        ::CloseHandle(t);
    ::CloseHandle(go);
    if (live.size() != kAtOnce + 1)
        return Fail("threads alive at once share selectors; distinct", unsigned(live.size()));

    std::printf("mend_threads: 300 threads took %u selectors; %d at once, each its own selector and block\n",
                unsigned(sequential.size()), kAtOnce);
    return 0;
}
