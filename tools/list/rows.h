// What the store reader works with: found media sources as rows, read from
// a recorder's SQLite store or from the central inventory with the same
// questions, each row handed on as it is read.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct source_row {
    std::string recorder;  // empty for a recorder's own store
    std::string address, mac, model, found_at;
    long long port = 0, brand = 0, model_brand = 0, model_no = 0;
};

// A result row as texts, SQL NULL as an empty text.
using result_row = std::vector<std::string>;
using result_sink = std::function<void(const result_row&)>;

// An open store, and what its SQL differs in.
struct store_reader {
    // Runs sql with params bound to $1, $2 ..., handing each row to each as
    // it is read. Returns an empty string, or what failed.
    std::function<std::string(const std::string& sql, const std::vector<std::string>& params, const result_sink& each)>
        query;
    bool central = false;  // many recorders; the model comes as hexadecimal
    std::string columns;   // the columns of a source_row, in its order, from found_media_sources
    std::string order_all, order_newest;  // every row oldest first; the newest row per MAC address
    std::string snapshot;  // begins a transaction that sees the same rows for every question
    std::string id;        // the column that orders a recorder's rows
    bool runs_in_order = false;  // runs numbered in the order stored, whatever their clock said
};

// Opens a recorder's SQLite store, read-only. A first-version store is
// grouped into runs in a copy of its own when changes are asked for.
std::string open_sqlite_store(const std::string& path, bool changes, store_reader& store);
// Opens the central inventory at a libpq connection string, its every
// wait bounded; past one, the process ends with failure_status.
std::string open_central_store(const std::string& conninfo, store_reader& store, int failure_status);

// A row of store.columns.
source_row source_row_of(const store_reader& store, const result_row& r);

// Makes or migrates the central schema at conninfo (as the database's
// owner); central_setup_sql() is the whole of it. Returns "", or what failed.
std::string set_up_central(const std::string& conninfo, const std::string& sql);
