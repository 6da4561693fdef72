#include "output.h"

#include <unistr.h>
#include <uniwidth.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <numeric>

#include "host/log/text_escape.h"

static void put_line(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
}

static const uint8_t* utf8(const std::string& text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}

// The columns a terminal gives an escaped text, which holds no control.
static std::size_t display_width(const std::string& shown)
{
    return static_cast<std::size_t>(u8_width(utf8(shown), shown.size(), "UTF-8"));
}

// The escaped text in at most width columns, its last one a marker when it is cut.
static std::string cut_to(const std::string& shown, std::size_t width)
{
    if (display_width(shown) <= width)
        return shown;
    std::size_t used = 1, end = 0;  // the marker's column
    while (end < shown.size()) {
        ucs4_t c;
        int bytes = u8_mbtouc(&c, utf8(shown) + end, shown.size() - end);
        if ((used += static_cast<std::size_t>(uc_width(c, "UTF-8"))) > width)
            break;
        end += static_cast<std::size_t>(bytes);
    }
    return shown.substr(0, end) + "\u2026";
}

static std::string table_line(const std::vector<std::string>& cells, const std::vector<std::size_t>& width,
                              std::size_t gap, bool cutting)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        std::string shown = cutting ? cut_to(escape_text(cells[i]), width[i]) : escape_text(cells[i]);
        line += shown;
        if (i + 1 < cells.size())
            line.append(std::max(width[i], display_width(shown)) - display_width(shown) + gap, ' ');
    }
    return line + "\n";
}

// Aligned by the widest cells of the first rows, so that a long listing
// begins at once and is read once; a later cell that is wider pushes the
// rest of its line on.
static const std::size_t measured_rows = 1000;

// Fits the widths to 80 columns as print_items says. Returns the gap between columns.
static std::size_t fit_80(const std::vector<std::string>& headings, std::vector<std::size_t>& width,
                          const std::vector<std::string>& cut)
{
    std::size_t gap = 2;
    auto line_width = [&] { return std::accumulate(width.begin(), width.end(), (width.size() - 1) * gap); };
    if (line_width() > 80)
        gap = 1;
    while (line_width() > 80) {
        std::size_t* widest = nullptr;
        for (std::size_t i = 0; i < headings.size(); ++i)
            if (std::find(cut.begin(), cut.end(), headings[i]) != cut.end() && width[i] > 8 &&
                (!widest || width[i] > *widest))
                widest = &width[i];
        if (!widest)
            break;
        --*widest;
    }
    return gap;
}

static std::string print_table(const listing& what, const item_source& items, bool cutting)
{
    std::vector<std::vector<std::string>> first{what.headings};
    std::vector<std::size_t> width;  // empty until the first rows are measured
    std::size_t gap = 2;
    auto print = [&](const std::vector<std::string>& cells) { put_line(table_line(cells, width, gap, cutting)); };
    auto begin = [&] {
        width.assign(what.headings.size(), 0);
        for (const std::vector<std::string>& cells : first)
            for (std::size_t i = 0; i < cells.size() && i < width.size(); ++i)
                width[i] = std::max(width[i], display_width(escape_text(cells[i])));
        if (cutting)
            gap = fit_80(what.headings, width, what.cut);
        std::ranges::for_each(first, print);
    };
    std::string why = items([&](const std::vector<std::string>& cells) {
        if (!width.empty())
            return print(cells);
        first.push_back(cells);
        if (first.size() > measured_rows)
            begin();
    });
    if (width.empty() && why.empty() && first.size() == 1)
        put_line(what.when_empty + "\n");
    else if (width.empty() && why.empty())
        begin();
    return why;
}

static std::string csv_cell(const std::string& raw)
{
    std::string s = escape_text(raw);
    if (!raw.empty() && std::string("=+-@\t\r").find(raw[0]) != std::string::npos)
        s = "'" + s;
    if (s.find_first_of(",\"") == std::string::npos)
        return s;
    std::string quoted = "\"";
    for (char c : s)
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    return quoted + "\"";
}

static std::string csv_line(const std::vector<std::string>& cells)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line.append(i ? "," : "").append(csv_cell(cells[i]));
    return line + "\r\n";
}

// Sets key to text, and key + "_hex" to its bytes when it is not valid UTF-8.
static void put_text(nlohmann::json& object, const std::string& key, const std::string& text)
{
    object[key] = text;
    if (u8_check(utf8(text), text.size()) == nullptr)
        return;
    std::string hex;
    for (unsigned char c : text)
        hex += std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    object[key + "_hex"] = hex;
}

static nlohmann::json object_of(const listing& what, const std::vector<std::string>& cells)
{
    nlohmann::json object = nlohmann::json::object();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        std::string key = what.headings[i];
        for (char& c : key)
            c = c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        nlohmann::json number;
        if (std::ranges::count(what.numbers, what.headings[i]))
            number = nlohmann::json::parse(cells[i], nullptr, false);
        if (key == "model_id")  // brand/model
            object[key] = {{"brand", std::stoll(cells[i])}, {"model", std::stoll(cells[i].substr(cells[i].find('/') + 1))}};
        else if (number.is_number())
            object[key] = number;
        else
            put_text(object, key, cells[i]);
    }
    return object;
}

// An array of objects as dump(2) would print it whole: each item is dumped
// as an array of its own, which is then left without its brackets.
static std::string print_json(const listing& what, const item_source& items)
{
    bool first = true;
    std::string why = items([&](const std::vector<std::string>& cells) {
        nlohmann::json item = nlohmann::json::array({object_of(what, cells)});
        std::string text = item.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        put_line((first ? "[\n" : ",\n") + escape_text(text.substr(2, text.size() - 4), text_form::json));
        first = false;
    });
    put_line(first ? "[]\n" : "\n]\n");
    return why;
}

std::string print_items(out_format format, const listing& what, const item_source& items)
{
    if (format == out_format::json)
        return print_json(what, items);
    if (format == out_format::table || format == out_format::wide)
        return print_table(what, items, format == out_format::table);
    put_line(csv_line(what.headings));
    return items([](const std::vector<std::string>& cells) { put_line(csv_line(cells)); });
}

// The listings: the store's rows, its runs' outcomes and the changes between runs.

// The table gives a time to the minute, as ls -l does, to fit 80 columns.
static std::string shown_time(out_format format, const std::string& time)
{
    if (format == out_format::table && time.size() > 16 && time[10] == 'T')
        return time.substr(0, 10) + ' ' + time.substr(11, 5);
    return time;
}

// Items whose first cell is their recorder: shown in a column of its own
// from the central inventory, left out of a recorder's own store.
static std::string print_rows(out_format format, const store_reader& store, listing what, const item_source& items)
{
    if (store.central) {
        what.headings.insert(what.headings.begin(), "RECORDER");
        what.cut.push_back("RECORDER");
        return print_items(format, what, items);
    }
    return print_items(format, what, [&](const result_sink& each) {
        return items([&](const std::vector<std::string>& cells) { each({cells.begin() + 1, cells.end()}); });
    });
}

std::string print_sources(out_format format, bool all, const store_reader& store, const std::string& name)
{
    std::string sql = "SELECT " + store.columns + " FROM " +
                      (all ? "found_media_sources ORDER BY " + store.order_all : "media_sources ORDER BY " + store.order_newest);
    listing what{{"ADDRESS", "MAC", "PORT", "BRAND", "MODEL", "MODEL ID", "LAST SEEN"}, {"MODEL"}, {"PORT", "BRAND"},
                 "no media sources found yet in " + name};
    return print_rows(format, store, what, [&](const result_sink& each) {
        return store.query(sql, {}, [&](const result_row& row) {
            source_row r = source_row_of(store, row);
            each({r.recorder, r.address, r.mac, r.port, r.brand, r.model, r.model_id, shown_time(format, r.found_at)});
        });
    });
}

std::string print_runs(out_format format, const store_reader& store, const std::string& name)
{
    listing what{{"STARTED", "SECONDS", "FOUND", "STORED", "NO MAC", "REFUSED", "FORWARDED", "DATAGRAMS", "DROPS",
                  "CUT SHORT"}, {"CUT SHORT"}, {}, "no runs recorded yet in " + name};
    what.numbers.assign(what.headings.begin() + 1, what.headings.end() - 1);
    bool kept = false;  // a store that no run has used since outcomes were kept has no table for them
    std::string why = store.query("SELECT 1 FROM sqlite_master WHERE name = 'run_outcomes'", {},
                                  [&](const result_row&) { kept = true; });
    return print_items(format, what, [&](const result_sink& each) {
        if (!kept)
            return why;
        return store.query("SELECT started, printf('%.1f', seconds), found, stored, no_mac, refused, forwarded, datagrams,"
                           " drops, cut_short FROM run_outcomes ORDER BY rowid DESC", {}, [&](result_row row) {
            row[0] = shown_time(format, row[0]);
            each(row);
        });
    });
}

void print_changes(out_format format, const store_reader& store, const std::vector<source_change>& changes)
{
    listing what{{"CHANGE", "MAC", "ADDRESS", "BEFORE", "NOW"}, {"BEFORE", "NOW"}, {}, "no changes"};
    print_rows(format, store, what, [&](const result_sink& each) {
        for (const source_change& c : changes)
            each({c.recorder, c.kind, c.mac, c.address, c.before, c.now});
        return std::string();
    });
}
