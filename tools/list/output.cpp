#include "output.h"

#include <iostream>

#include "host/log/text_escape.h"

static std::size_t shown_width(const std::string& escaped)
{
    std::size_t n = 0;
    for (unsigned char c : escaped)
        n += (c & 0xc0) != 0x80;
    return n;
}

void print_table(const text_table& t)
{
    text_table shown = t;
    std::vector<std::size_t> width(t.empty() ? 0 : t[0].size());
    for (auto& row : shown)
        for (std::size_t i = 0; i < row.size(); ++i)
            width[i] = std::max(width[i], shown_width(row[i] = escape_display_text(row[i])));
    for (const auto& row : shown) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i] + std::string(width[i] - shown_width(row[i]) + 2, ' ') : row[i];
        std::cout << line << "\n";
    }
}

static std::string csv_cell(const std::string& raw)
{
    std::string s = escape_display_text(raw);
    if (!raw.empty() && std::string("=+-@\t\r").find(raw[0]) != std::string::npos)
        s = "'" + s;
    if (s.find_first_of(",\"") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

void print_csv(const text_table& t)
{
    for (const auto& row : t) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line.append(i ? "," : "").append(csv_cell(row[i]));
        std::cout << line << "\r\n";
    }
}

static bool valid_utf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : utf8_sequence_length(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void put_text(nlohmann::json& object, const std::string& key, const std::string& text)
{
    object[key] = text;
    if (valid_utf8(text))
        return;
    std::string hex;
    for (unsigned char c : text)
        hex += std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    object[key + "_hex"] = hex;
}

void print_json(const nlohmann::json& value)
{
    std::cout << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}
