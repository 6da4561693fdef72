#include "host/process/child_wait.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

// glibc 2.36's header declares it without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

// A pidfd becomes readable when its process ends, so the wait is one poll.
bool wait_child(pid_t pid, std::chrono::milliseconds limit)
{
    int fd = pidfd_open(pid, 0);
    if (fd >= 0) {
        pollfd ended{fd, POLLIN, 0};
        while (poll(&ended, 1, static_cast<int>(limit.count())) < 0 && errno == EINTR) {
        }
        close(fd);
    }
    pid_t reaped = waitpid(pid, nullptr, WNOHANG);
    return reaped == pid || (reaped < 0 && errno == ECHILD);
}
