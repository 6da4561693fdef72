// A device's text as the log, a terminal, a spreadsheet or a JSON reader
// is given it: nothing a device sends can break a line, reach a terminal as
// a command, or reorder or hide what is shown.
#pragma once

#include <string>
#include <string_view>

enum class text_form {
    line,  // the log and the list tool's table and CSV
    json,  // JSON text as dumped, whose own escapes stand
};

// line: backslash, CR and LF as \\, \r and \n, the other C0 controls, DEL
// and every byte that is not part of valid UTF-8 as \xhh, and every
// character that cannot be seen as \uXXXX (\UXXXXXXXX past U+FFFF): C1
// controls, format characters (the bidirectional embeddings, overrides and
// isolates among them), separators, private use, unassigned code points,
// and what Unicode says to ignore when shown.
// json: DEL and those characters as JSON escapes (\u009b, \u202e), past
// U+FFFF as a surrogate pair; JSON escapes the C0 controls itself.
std::string escape_text(std::string_view text, text_form form = text_form::line);
