#pragma once

#include <QByteArray>
#include <QTemporaryDir>

// For a program that ctest does not start, such as a benchmark: a private
// directory for the guard "comport", named in KELVORA_LOCK_DIR for the
// object's life, so that nothing else on this machine that takes the real
// guard waits on it or shows up in its figures. (ctest gives every test such
// a directory of its own; see kelvora_add_test.)
class PrivateLockDir
{
public:
    PrivateLockDir();
    // Gives KELVORA_LOCK_DIR back its earlier value.
    ~PrivateLockDir();
    PrivateLockDir(const PrivateLockDir &) = delete;
    PrivateLockDir &operator=(const PrivateLockDir &) = delete;

private:
    QTemporaryDir m_dir;
    QByteArray m_saved;
    bool m_wasSet = false;
};
