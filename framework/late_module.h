// CLateModule: a system DLL loaded at its first use rather than with the
// program, and then kept, its entry points looked up once for every thread.
//
// The load runs outside any function-local static's initialiser: with the
// win32 thread model one lock of the whole process is held through each
// such initialiser, so a DLL loading inside one would hold up every other
// thread's first static. Threads that come at once each load; the first to
// finish publishes its entry points with one interlocked exchange, and the
// others give their load back and use those.
#pragma once
#include <windows.h>
#include <atomic>
#include <new>

// The two calls a late load makes; the tests put stand-ins in their place.
struct LateLoadCalls {
    HMODULE (WINAPI *load)(LPCSTR name);
    BOOL (WINAPI *free)(HMODULE module);
};
extern LateLoadCalls g_lateLoadCalls;

// Entries: a struct whose members all start null, with `HMODULE module`
// and `void Resolve()`, which looks the entry points up in `module` (null
// when the DLL could not be loaded).
template <class Entries>
class CLateModule {
public:
    explicit constexpr CLateModule(const char* dll) : m_dll(dll) {}
    CLateModule(const CLateModule&) = delete;
    CLateModule& operator=(const CLateModule&) = delete;

    // The entry points, loaded by the first call. `loadedHere` is set for
    // the one call whose load was published, so that a DLL found missing
    // is reported once.
    const Entries& Get(bool* loadedHere = nullptr)
    {
        if (loadedHere)
            *loadedHere = false;
        if (const Entries* entries = m_entries.load(std::memory_order_acquire))
            return *entries;
        Entries* fresh = new (std::nothrow) Entries();
        if (!fresh)
            return m_none;
        fresh->module = g_lateLoadCalls.load(m_dll);
        fresh->Resolve();
        const Entries* published = nullptr;
        if (m_entries.compare_exchange_strong(published, fresh, std::memory_order_acq_rel)) {
            if (loadedHere)
                *loadedHere = true;
            return *fresh;
        }
        if (fresh->module)
            g_lateLoadCalls.free(fresh->module);
        delete fresh;
        return *published;
    }

private:
    const char* m_dll;
    std::atomic<const Entries*> m_entries{nullptr};
    const Entries m_none{};
};
