#pragma once
// The scoped lock of AB_EIP::listMutex. Qt's library is not built for ThreadSanitizer, so
// the hand-over inside QMutex's contended path is invisible to it; the annotations tell it
// what the mutex guarantees, so that the races it reports are ours.

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

class ListLock {
public:
    explicit ListLock(QMutex &m) : m_(m)
    {
        m_.lock();
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(&m_);
#endif
    }
    ~ListLock()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(&m_);
#endif
        m_.unlock();
    }
    ListLock(const ListLock &) = delete;
    ListLock &operator=(const ListLock &) = delete;

private:
    QMutex &m_;
};
