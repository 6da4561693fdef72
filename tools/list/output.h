// Device texts for a terminal, a spreadsheet or a program, printed as they
// are read: no byte a device sent can break a line, move the cursor,
// reorder what is shown or start a formula.
#pragma once

#include "read_runs.h"

enum class out_format { table, wide, json, csv };  // wide: the table with no cell cut

// Hands every item's cells to the sink in order. Returns "" or what failed.
using item_source = std::function<std::string(const result_sink&)>;

// What a listing's items are: one cell under each heading.
struct listing {
    std::vector<std::string> headings;
    std::vector<std::string> cut;      // the columns whose cells the table may cut
    std::vector<std::string> numbers;  // the columns whose cells JSON gives as numbers
    std::string when_empty;            // what the table says for no item
};

// As the manual's DEVICE TEXTS says. Table: aligned by display width (of
// the first 1000 rows); wider than 80 columns, its columns close up to one
// space and then the cells of the columns named in cut lose their ends to a
// marker, widest first, down to 8 columns. JSON: an array of objects, each
// heading in lower case with _ for a space their key. Returns what failed,
// after what was printed.
std::string print_items(out_format format, const listing& what, const item_source& items);

// The found media sources: every row with all, else each MAC address's newest.
// An empty store is said with its name. Returns what failed.
std::string print_sources(out_format format, bool all, const store_reader& store, const std::string& name);
// Each run's outcome, newest first. Returns what failed.
std::string print_runs(out_format format, const store_reader& store, const std::string& name);
void print_changes(out_format format, const store_reader& store, const std::vector<source_change>& changes);
