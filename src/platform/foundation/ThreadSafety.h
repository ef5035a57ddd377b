// Which lock guards what, said so that clang checks it (-Wthread-safety):
// a member marked GUARDED_BY(m) is read or written only with m held, a
// function marked REQUIRES(m) is called only with m held and one marked
// EXCLUDES(m) only without it. Other compilers read the marks as nothing.
// `Mutex` and `MutexLock` are the standard mutex and its scoped lock with
// these marks; `MutexLock::native()` is the lock a condition variable waits
// with.
#pragma once

#include <mutex>

#if defined(__clang__)
#define QV_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QV_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) QV_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY QV_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) QV_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) QV_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QV_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QV_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QV_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

template <class Native>
class CAPABILITY("mutex") BasicMutex {
public:
    void lock() ACQUIRE() { m_native.lock(); }
    void unlock() RELEASE() { m_native.unlock(); }
    Native& native() { return m_native; }

private:
    Native m_native;
};

template <class Native>
class SCOPED_CAPABILITY BasicMutexLock {
public:
    explicit BasicMutexLock(BasicMutex<Native>& mutex) ACQUIRE(mutex)
        : m_lock(mutex.native())
    {
    }
    ~BasicMutexLock() RELEASE() { }
    BasicMutexLock(const BasicMutexLock&) = delete;
    BasicMutexLock& operator=(const BasicMutexLock&) = delete;
    std::unique_lock<Native>& native() { return m_lock; }

private:
    std::unique_lock<Native> m_lock;
};

using Mutex = BasicMutex<std::mutex>;
using MutexLock = BasicMutexLock<std::mutex>;
using RecursiveMutex = BasicMutex<std::recursive_mutex>;
using RecursiveMutexLock = BasicMutexLock<std::recursive_mutex>;
