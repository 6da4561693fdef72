// Device texts shown on one line: what the log file and the operator see.
#pragma once

#include <string>
#include <string_view>

// Escapes backslash, CR, LF and every other control byte so that one log
// call is always one line of the log file.
std::string escape_log_text(std::string_view text);

// The same, and every byte that is not part of valid UTF-8 as \xHH too:
// what a terminal, a spreadsheet or a case file is shown.
std::string escape_display_text(std::string_view text);

// The length of the valid UTF-8 sequence that starts at text[at] with a
// byte of 0x80 or more, or 0.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);
