// The discovery process's confinement. It parses whatever any device on
// the LAN sends, so once the store process has been started it gives up
// everything else: every capability and root (as root it becomes nobody),
// new privileges, every system call but those its worker, ping and logger
// make, and, where the kernel has Landlock, every file but its own
// /proc/self/net to read, TCP, and signals and abstract unix sockets
// outside itself. Its log file, syslog connection and the worker's socket,
// sized past the host's limit where the process may, are opened before.
#pragma once

enum confine_step : unsigned {
    confined_landlock = 1,
    confined_privileges = 2,  // no capability in any set; not root
    confined_no_new_privileges = 4,
    confined_calls = 8,       // the seccomp filter
};

// What the kernel granted: confine_step bits, and the Landlock ABI in force (0: none).
struct confinement {
    unsigned applied;
    int abi;
};

// Restricts the calling process for good, before it starts a thread, and
// logs one "[confine]" line saying what holds and why the rest does not.
confinement confine_discovery_process();
