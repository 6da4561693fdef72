// The discovery process's confinement. It parses whatever any device on
// the LAN sends, so once the store process has been started it keeps only
// what its lookups need: no new privileges and, where the kernel has
// Landlock, no file opened except for reading under its own /proc/self/net
// (the ARP table and the like), no TCP and no abstract unix socket. The log
// file and syslog stay usable because they are open before it begins.
#pragma once

// What the kernel granted: the Landlock ABI in force, or 0 with the step
// that failed and its errno, when only no new privileges holds.
struct confinement {
    int abi;
    const char* failed_step;
    int error;
};

// Restricts the calling process for good, before it starts a thread, and
// logs one "[confine]" line saying what holds.
confinement confine_discovery_process();
