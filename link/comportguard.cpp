#include "link/comportguard.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kPollStepMs = 5;

// Opens the lock file, creating it when missing. An existing file is opened
// without O_CREAT: with fs.protected_regular an O_CREAT open of another user's
// file in a sticky directory such as /run/lock is refused even though the file
// is mode 0666.
int OpenLockFile(const std::string &path)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666); // the umask must not narrow who may share it
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        // Another program created it in between: open the existing file.
    }
    return -1;
}

} // namespace

ComportGuard::~ComportGuard()
{
    Release();
}

std::string ComportGuard::LockFilePath(const std::string &name)
{
    const char *dir = std::getenv("KELVORA_LOCK_DIR");
    std::string base;
    if (dir && *dir)
        base = dir;
    else if (::access("/run/lock", W_OK | X_OK) == 0)
        base = "/run/lock";
    else
        base = "/tmp";
    if (name.empty())
        return base + "/comport.lock";
    std::string file = "comport-";
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-';
        file += plain ? c : '_';
    }
    return base + "/" + file + ".lock";
}

ComportGuard::WaitResult ComportGuard::Acquire(int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    if (m_held)
        return WaitResult::Acquired;
    if (m_fd < 0)
        m_fd = OpenLockFile(LockFilePath(m_name));
    if (m_fd < 0)
        return WaitResult::Failed;

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_held = true;
            return WaitResult::Acquired;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return WaitResult::Failed;
        const auto now = Clock::now();
        if (now >= deadline)
            return WaitResult::TimedOut;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(kPollStepMs)));
    }
}

void ComportGuard::Release()
{
    if (m_fd < 0)
        return;
    if (m_held)
        ::flock(m_fd, LOCK_UN);
    m_held = false;
    ::close(m_fd);
    m_fd = -1;
}
