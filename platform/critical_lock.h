// A lock for short critical regions: a Win32 critical
// section on Windows, a standard mutex elsewhere. Neither allocates when taken,
// so it is safe on the host's real-time threads for the few instructions it is
// held. Enter it only through CCriticalLock::Guard.
#pragma once

#ifdef _WIN32
#include "platform/com_base.h"
#else
#include <mutex>
#endif

class CCriticalLock {
public:
    CCriticalLock() {
#ifdef _WIN32
        InitializeCriticalSection(&m_section);
#endif
    }
    ~CCriticalLock() {
#ifdef _WIN32
        DeleteCriticalSection(&m_section);
#endif
    }
    CCriticalLock(const CCriticalLock&) = delete;
    CCriticalLock& operator=(const CCriticalLock&) = delete;

    class Guard {
    public:
        explicit Guard(CCriticalLock& lock) : m_lock(lock) { m_lock.Enter(); }
        ~Guard() { m_lock.Leave(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CCriticalLock& m_lock;
    };

private:
#ifdef _WIN32
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }
    CRITICAL_SECTION m_section;
#else
    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }
    std::mutex m_mutex;
#endif
};
