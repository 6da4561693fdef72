#include "output.h"

#include <unistr.h>
#include <uniwidth.h>

#include <cstdio>

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

static std::string table_line(const std::vector<std::string>& cells, const std::vector<std::size_t>& width)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        std::string shown = escape_text(cells[i]);
        line += shown;
        if (i + 1 < cells.size())
            line.append(std::max(width[i], display_width(shown)) - display_width(shown) + 2, ' ');
    }
    return line + "\n";
}

// Aligned by the widest cells of the first rows, so that a long listing
// begins at once and is read once; a later cell that is wider pushes the
// rest of its line on.
static const std::size_t measured_rows = 1000;

static std::string print_table(const std::vector<std::string>& headings, const item_source& items,
                               const std::string& when_empty)
{
    std::vector<std::size_t> width(headings.size());
    std::vector<std::vector<std::string>> first{headings};
    bool begun = false;
    auto begin = [&] {
        for (const std::vector<std::string>& cells : first)
            for (std::size_t i = 0; i < cells.size() && i < width.size(); ++i)
                width[i] = std::max(width[i], display_width(escape_text(cells[i])));
        for (const std::vector<std::string>& cells : first)
            put_line(table_line(cells, width));
        begun = true;
    };
    std::string why = items([&](const std::vector<std::string>& cells, const nlohmann::json&) {
        if (begun)
            return put_line(table_line(cells, width));
        first.push_back(cells);
        if (first.size() > measured_rows)
            begin();
    });
    if (!begun && why.empty() && first.size() > 1)
        begin();
    else if (!begun)
        put_line(why.empty() ? when_empty + "\n" : "");
    return why;
}

static std::string csv_cell(const std::string& raw)
{
    std::string s = escape_text(raw);
    if (!raw.empty() && std::string("=+-@\t\r").find(raw[0]) != std::string::npos)
        s = "'" + s;
    if (s.find_first_of(",\"") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

static std::string csv_line(const std::vector<std::string>& cells)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line.append(i ? "," : "").append(csv_cell(cells[i]));
    return line + "\r\n";
}

// An array of objects indented by two, as dump(2) would print it whole.
static std::string print_json(const item_source& items)
{
    bool first = true;
    std::string why = items([&](const std::vector<std::string>&, const nlohmann::json& object) {
        std::string text = object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace), indented;
        for (char c : text)
            indented += c == '\n' ? std::string("\n  ") : std::string(1, c);
        put_line((first ? "[\n  " : ",\n  ") + escape_text(indented, text_form::json));
        first = false;
    });
    put_line(first ? "[]\n" : "\n]\n");
    return why;
}

std::string print_items(out_format format, const std::vector<std::string>& headings, const item_source& items,
                        const std::string& when_empty)
{
    if (format == out_format::json)
        return print_json(items);
    if (format == out_format::table)
        return print_table(headings, items, when_empty);
    put_line(csv_line(headings));
    return items([](const std::vector<std::string>& cells, const nlohmann::json&) { put_line(csv_line(cells)); });
}

void put_text(nlohmann::json& object, const std::string& key, const std::string& text)
{
    object[key] = text;
    if (u8_check(utf8(text), text.size()) == nullptr)
        return;
    std::string hex;
    for (unsigned char c : text)
        hex += std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    object[key + "_hex"] = hex;
}
