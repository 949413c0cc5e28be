#pragma once

#include <string>
#include <utility>

// The system-wide guard "comport": every program that talks on the Modbus
// port takes it around each transaction, so two programs never use the port at
// the same time.
//
// It is an flock(LOCK_EX) on the lock file "comport.lock" in /run/lock (in
// /tmp where /run/lock is missing or not writable). The file is created with
// mode 0666 whatever the umask, so programs of other users share it. The
// kernel drops the lock when its holder ends, however it ends, so a lock is
// never left abandoned.
//
// Environment: KELVORA_LOCK_DIR, when set and not empty, names the directory
// of the lock file instead (tests use it to keep to a private guard).
//
// A bus reached through a device server on the network has a guard of its
// own, taken by the port's name ("rfc2217://gateway:4001"): the lock file
// "comport-" and the name with every character other than a letter, digit,
// '.' or '-' made '_' ("comport-rfc2217___gateway_4001.lock"), next to the
// shared one. Programs on one machine sharing that server take turns; a
// local port and other servers are not held up.
//
// One object is one open of the lock file: Acquire opens it and waits,
// Release (or the destructor) unlocks and closes it.
class ComportGuard
{
public:
    enum class WaitResult
    {
        Acquired, // the caller holds the guard
        TimedOut, // another holder kept it for the whole wait
        Failed,   // no wait was possible (lock file not opened, flock error)
    };

    // name: the guard's name (SerialLine::GuardName); empty for the one
    // that every local port shares.
    explicit ComportGuard(std::string name = {}) : m_name(std::move(name)) {}
    ~ComportGuard();
    ComportGuard(const ComportGuard &) = delete;
    ComportGuard &operator=(const ComportGuard &) = delete;

    // Tries the lock at once and then every few milliseconds until timeoutMs
    // have passed. A timeout of 0 tries once.
    WaitResult Acquire(int timeoutMs);
    void Release();
    bool Held() const { return m_held; }

    // The lock file in use, after KELVORA_LOCK_DIR and the fallback, for
    // the guard of that name.
    static std::string LockFilePath(const std::string &name = {});

private:
    std::string m_name;
    int m_fd = -1;
    bool m_held = false;
};
