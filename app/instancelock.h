#pragma once

#include <QString>

// Lets one copy of Kelvora run at a time. The lock is an exclusive flock on
// "Kelvora.SEMAPHORE.lock" in $XDG_RUNTIME_DIR (else /tmp), taken without
// waiting and held for the life of this object. The kernel drops it when the
// holder dies, so a killed copy never blocks the next start.
class InstanceLock
{
public:
    enum class Result
    {
        Acquired,      // this copy may run
        HeldElsewhere, // another copy holds the lock
        Unavailable,   // the lock file cannot be made: start anyway
    };

    explicit InstanceLock(QString path = DefaultPath());
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    Result TryAcquire();
    bool Held() const { return m_fd >= 0; }
    QString Path() const { return m_path; }

    static QString DefaultPath();

private:
    QString m_path;
    int m_fd = -1;
};
