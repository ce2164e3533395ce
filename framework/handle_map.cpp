#include "framework/handle_map.h"

namespace {
struct Lock {
    explicit Lock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~Lock() { ::LeaveCriticalSection(&m_cs); }
    CRITICAL_SECTION& m_cs;
};
} // namespace

CHandleMap& CHandleMap::Permanent()
{
    static CHandleMap* map = new CHandleMap;
    return *map;
}

CWnd* CHandleMap::Find(HWND hWnd)
{
    Lock lock(m_lock);
    const auto it = m_objects.find(hWnd);
    return it == m_objects.end() ? nullptr : it->second;
}

void CHandleMap::Add(HWND hWnd, CWnd* object)
{
    Lock lock(m_lock);
    m_objects[hWnd] = object;
}

void CHandleMap::Remove(HWND hWnd, const CWnd* object)
{
    Lock lock(m_lock);
    const auto it = m_objects.find(hWnd);
    if (it != m_objects.end() && it->second == object)
        m_objects.erase(it);
}

size_t CHandleMap::Count()
{
    Lock lock(m_lock);
    return m_objects.size();
}
