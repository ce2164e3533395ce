#include "framework/win_thread.h"
#include <process.h>
#include "framework/dc.h"

CWinThread::~CWinThread()
{
    if (m_hThread)
        ::CloseHandle(m_hThread);
}

namespace {
unsigned __stdcall ThreadEntry(void* arg)
{
    CWinThread* thread = static_cast<CWinThread*>(arg);
    const UINT result = thread->m_pfnThreadProc(thread->m_pThreadParams);
    CDC::ReleaseThreadWrappers();
    if (thread->m_bAutoDelete)
        delete thread;
    return result;
}
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                           DWORD createFlags, LPSECURITY_ATTRIBUTES security)
{
    CWinThread* thread = new CWinThread(proc, param);
    unsigned id = 0;
    // Created suspended so the object is complete before the thread can end.
    const uintptr_t h = _beginthreadex(security, stackSize, &ThreadEntry, thread, CREATE_SUSPENDED, &id);
    if (h == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(h);
    thread->m_nThreadID = id;
    ::SetThreadPriority(thread->m_hThread, priority);
    if (!(createFlags & CREATE_SUSPENDED))
        ::ResumeThread(thread->m_hThread);
    return thread;
}
