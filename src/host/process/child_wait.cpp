// waitpid has no deadline of its own; a pidfd would give one, but a short
// pause between tries needs nothing newer than the oldest kernel supported.
#include "host/process/child_wait.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

static const auto pause_between_tries = std::chrono::milliseconds(20);

bool wait_child(pid_t pid, std::chrono::milliseconds limit)
{
    auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR))
            return true;  // ended, or not ours to wait for
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(pause_between_tries);
    }
}

void stop_child(pid_t pid)
{
    kill(pid, SIGKILL);
    // A killed process ends at once; the bound is for a kernel that is stuck.
    wait_child(pid, std::chrono::seconds(1));
}
