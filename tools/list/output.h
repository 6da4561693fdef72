// Tables of device texts for a terminal, a spreadsheet or a program: no
// byte a device sent can break a line, move the cursor or start a formula.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

using text_table = std::vector<std::vector<std::string>>;  // headings first

// Aligned by what the terminal shows: control bytes and backslashes
// escaped as in the log file, bytes that are not UTF-8 as \xHH, and a UTF-8
// character counted once.
void print_table(const text_table& t);
// RFC 4180, with the same escapes, and a leading single quote for a cell
// that a spreadsheet would take as a formula.
void print_csv(const text_table& t);
// Sets key to text; text that is not valid UTF-8 comes out with U+FFFD in
// its place and its exact bytes, in hexadecimal, under key + "_hex".
void put_text(nlohmann::json& object, const std::string& key, const std::string& text);
void print_json(const nlohmann::json& value);
