#pragma once
// One mutex with its condition variable, shared by a worker pool and the job
// queue of its owner (and by the web client and the chart caches).
#include <condition_variable>
#include <mutex>

class CMutexCondition
{
public:
    // Not recursive: a thread that holds the mutex never takes it again.
    CMutexCondition() = default;
    CMutexCondition(const CMutexCondition&) = delete;
    CMutexCondition& operator=(const CMutexCondition&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    // Waits through a lock of this mutex (released while waiting).
    void Wait(std::unique_lock<std::mutex>& lock) { m_condition.wait(lock); }
    void Signal() { m_condition.notify_one(); }
    void Broadcast() { m_condition.notify_all(); }
    std::mutex& Mutex() { return m_mutex; }
    std::condition_variable& Condition() { return m_condition; }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
};

// Holds the mutex of a CMutexCondition for its scope.
class CScopedLock
{
public:
    explicit CScopedLock(CMutexCondition& mc) : m_lock(mc.Mutex()) {}
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;
    // For waiting on the condition inside the scope.
    std::unique_lock<std::mutex>& Lock() { return m_lock; }

private:
    std::unique_lock<std::mutex> m_lock;
};
