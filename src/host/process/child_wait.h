// A bounded wait for a process this one started.
#pragma once

#include <sys/types.h>

#include <chrono>

// True once the child pid has ended and been reaped, within limit; false
// when it still runs then (it is left to end by itself).
bool wait_child(pid_t pid, std::chrono::milliseconds limit);
