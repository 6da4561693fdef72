// Device texts shown on one line: what the log file and the operator see.
#pragma once

#include <string>
#include <string_view>

// Escapes backslash, CR, LF and every other control byte so that one log
// call is always one line of the log file.
std::string escape_log_text(std::string_view text);

// What a terminal, a spreadsheet or a case file is shown: the same as the
// log for bytes below 0x80, every byte that is not part of valid UTF-8 as
// \xHH too, and every character that cannot be seen (C1 controls,
// bidirectional and other format characters, separators, private use) as
// \uXXXX, or \UXXXXXXXX past U+FFFF.
std::string escape_display_text(std::string_view text);

// JSON text with those characters and DEL written as JSON escapes (\u009b,
// \u202e); JSON escapes the C0 controls itself.
std::string escape_json_unprintables(std::string_view json);

// The columns a terminal gives an escaped text: two for a wide (CJK)
// character, none for a combining mark.
std::size_t display_width(std::string_view shown);

// The length of the valid UTF-8 sequence that starts at text[at] with a
// byte of 0x80 or more, or 0.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);
