// The discovery process's confinement. It parses whatever any device on
// the LAN sends, so once the store process has been started it gives up
// everything else: every capability and root (as root it becomes nobody),
// new privileges, every system call but those its worker, ping and logger
// make, and, where the kernel has Landlock, every file but its own
// /proc/self/net (the ARP table) to read, TCP, and signals and abstract
// unix sockets outside itself. Its log file, syslog connection and the
// worker's socket, sized past the host's limit where it may, open first.
#pragma once

#include <string>
#include <vector>

// Restricts the calling process for good, before it starts a thread, and
// logs one "[confine]" line saying what holds and why the rest does not.
void confine_discovery_process();

// What a process may still reach once it confines itself: files and
// folders to read (beneath), folders to write, and TCP ports to connect to
// (none: no TCP at all).
struct store_reach {
    std::vector<std::string> readable, writable;
    std::vector<int> tcp_ports;
};

// The store process's confinement, once it has the files it keeps open: no
// new privileges, no capability but CAP_NET_ADMIN where it has it (to
// remove neighbour entries that never resolved) and, where the kernel has
// Landlock, nothing beyond reach. Logs one "[confine]" line.
void confine_store_process(const store_reach& reach);
