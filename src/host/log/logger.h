// Internals of the platform logger, exposed for its tests.
#pragma once

#include <string>

#include "host/log/text_escape.h"

// "YYYY-MM-DDTHH:MM:SS.mmmZ" for the current time, in UTC.
std::string utc_timestamp();
// Opens the log file and connects to syslog now, for a process that is
// about to lose the right to open files.
void log_open_now();
