// Internals of the platform logger, exposed for its tests.
#pragma once

#include <string>
#include <string_view>

// Escapes backslash, CR, LF and every other control byte so that one log
// call is always one line of the log file.
std::string escape_log_text(std::string_view text);

// "YYYY-MM-DDTHH:MM:SS.mmmZ" for the current time, in UTC.
std::string utc_timestamp();
