// Bounded waits for a process this one started.
#pragma once

#include <sys/types.h>

#include <chrono>

// True once the child pid has ended and been reaped, within limit; false
// when it still runs then.
bool wait_child(pid_t pid, std::chrono::milliseconds limit);
// Ends the child pid, which outlived its wait, and reaps it.
void stop_child(pid_t pid);
