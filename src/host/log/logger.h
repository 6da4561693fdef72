// The platform logger's calls beyond log_Debug.
#pragma once

#include <cstdint>
#include <string_view>

// A line that reports a failure: as log_Debug's, at syslog's warning
// priority, so that a journal filtered to warnings shows it.
void log_Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Opens the log file and connects to syslog now, for a process that is
// about to lose the right to open files.
void log_open_now();

// From now on this process's lines reach the log file through relay, which
// hands their text to the process that writes the file, and this process
// closes its own. Syslog still takes them from here, with this pid. A null
// relay has the process write the file itself again.
void log_relay_to(void (*relay)(const char* text));
// Writes a line to the log file with its time and pid, escaped as every
// line is: one that another process logged, or this process's own.
void log_write_relayed(int64_t at_ms, int64_t pid, std::string_view text);
