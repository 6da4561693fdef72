// The platform logger's one call beyond log_Debug.
#pragma once

// Opens the log file and connects to syslog now, for a process that is
// about to lose the right to open files.
void log_open_now();
