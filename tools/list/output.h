// Device texts for a terminal, a spreadsheet or a program, printed as they
// are read: no byte a device sent can break a line, move the cursor,
// reorder what is shown or start a formula.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

enum class out_format { table, wide, json, csv };  // wide: the table with no cell cut

// One item: its cells for the table and CSV, its object for JSON.
using item_sink = std::function<void(const std::vector<std::string>& cells, const nlohmann::json& object)>;
// Hands every item to the sink in order. Returns an empty string, or what
// failed.
using item_source = std::function<std::string(const item_sink&)>;

// Table: aligned by display width (of the first 1000 rows), cells escaped
// as escape_text does; wider than 80 columns, its columns close up to one
// space and then the cells of the columns named in cut lose their ends to
// a marker, widest first, down to 8 columns. CSV: RFC 4180, the same
// escapes, and a leading single quote for a cell that a spreadsheet would
// take as a formula. JSON: an array, with the characters that cannot be
// seen as JSON escapes. An empty table is said as when_empty. Returns what
// failed, after what was printed.
std::string print_items(out_format format, const std::vector<std::string>& headings, const item_source& items,
                        const std::string& when_empty, const std::vector<std::string>& cut = {});

// Sets key to text; text that is not valid UTF-8 comes out with U+FFFD in
// its place and its exact bytes, in hexadecimal, under key + "_hex".
void put_text(nlohmann::json& object, const std::string& key, const std::string& text);
