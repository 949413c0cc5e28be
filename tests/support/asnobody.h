#pragma once

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

// Runs what with the rights of the user "nobody" and returns its result. As
// root a folder's or file's mode stops nothing, so there it runs in a forked
// child that becomes nobody first; for any other user it runs here. -1 when
// the child did not end by itself, 3 when it could not become nobody.
inline int RunAsNobody(const std::function<int()> &what)
{
    if (::geteuid() != 0)
        return what();
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped ? what() : 3);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
