// What the list tool reads: found media sources as rows, from a recorder's
// SQLite store or from the central inventory with the same questions, each
// row handed on as it is read; and what changed between two runs.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct source_row {
    std::string recorder;  // empty for a recorder's own store
    std::string address, mac, model, found_at, port, brand, model_id;  // model_id as brand/model
    bool seen_before = false;  // of a run --changes compares: a run stored before them saw it
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
    std::string columns;   // a source_row's columns from found_media_sources, in its order, then the row's id
    std::string order_all, order_newest;  // every row oldest first; the newest row per MAC address
    std::string snapshot;  // begins a transaction that sees the same rows for every question
    // The ids of a recorder's runs ($1; "" for a recorder's own store), as r.id of runs r, in the
    // order stored; and a run's rows ($1), each with whether a run stored before run $2 saw its
    // MAC address and model id, as its last column.
    std::string runs, run_rows;
};

// What the store holds cannot be shown: a cell that no run writes (a
// text, a real or NULL where an integer belongs, its row and column named),
// or a store of an earlier version.
struct unreadable_store : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A row of store.columns; throws unreadable_store.
source_row source_row_of(const store_reader& store, const result_row& r);

// Opens a recorder's SQLite store, read-only; one of an earlier version
// throws unreadable_store, which names the command that upgrades it.
std::string open_sqlite_store(const std::string& path, store_reader& store);

struct source_change {
    std::string kind;  // new, back, gone, moved, port changed, replaced, model changed
    std::string recorder, mac, address, before, now;
};

// For each recorder of the store: its newest run against the run stored
// before it, or against its last run stored that started before since (UTC,
// as the store writes it) when since is not empty; by media source (MAC
// address and model id), in the kinds the manual names; appends to out.
std::string read_changes(const store_reader& store, const std::string& since, std::vector<source_change>& out);
