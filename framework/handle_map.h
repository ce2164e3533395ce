// CHandleMap: the windows the framework has attached, and their objects.
// A window property would do as well, but under Wine every property look-up
// is a call to the server, and the look-up runs for every message a
// subclassed window gets.
#pragma once
#include <windows.h>
#include <unordered_map>

class CWnd;

class CHandleMap {
public:
    // The one map of the process; never destroyed, since objects of static
    // storage may detach during exit.
    static CHandleMap& Permanent();

    CWnd* Find(HWND hWnd);
    void Add(HWND hWnd, CWnd* object);
    // Only the binding of `object`: the handle may have been bound anew.
    void Remove(HWND hWnd, const CWnd* object);
    // How many windows have an object bound now.
    size_t Count();

private:
    CHandleMap() { ::InitializeCriticalSection(&m_lock); }

    CRITICAL_SECTION m_lock;
    std::unordered_map<HWND, CWnd*> m_objects;
};
