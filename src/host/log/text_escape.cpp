#include "host/log/text_escape.h"

#include <cstdio>
#include <iterator>

static const char hex_digits[] = "0123456789abcdef";

static void escape_byte(std::string& out, unsigned char c)
{
    if (c == '\\') {
        out += "\\\\";
    } else if (c == '\r') {
        out += "\\r";
    } else if (c == '\n') {
        out += "\\n";
    } else if (c < 0x20 || c >= 0x7f) {
        out += "\\x";
        out += hex_digits[c >> 4];
        out += hex_digits[c & 15];
    } else {
        out += static_cast<char>(c);
    }
}

std::string escape_log_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x80)
            out += static_cast<char>(c);  // a device's UTF-8 stays readable in the log
        else
            escape_byte(out, c);
    }
    return out;
}

std::size_t utf8_sequence_length(std::string_view text, std::size_t at)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    std::size_t n = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3 : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    if (n == 0 || at + n > text.size())
        return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((byte(at + i) & 0xc0) != 0x80)
            return 0;
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    unsigned char second = byte(at + 1);
    if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) || (lead == 0xf0 && second < 0x90) ||
        (lead == 0xf4 && second > 0x8f))
        return 0;
    return n;
}

static char32_t code_point(std::string_view text, std::size_t at, std::size_t n)
{
    char32_t c = static_cast<unsigned char>(text[at]) & (0xff >> (n + 1));
    for (std::size_t i = 1; i < n; ++i)
        c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3f);
    return c;
}

struct code_range {
    char32_t first, last;
};

static bool in_ranges(char32_t c, const code_range* ranges, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (c >= ranges[i].first && c <= ranges[i].last)
            return true;
    return false;
}

// C1 controls, the invisible format characters (the bidirectional marks,
// embeddings, overrides and isolates among them), the line and paragraph
// separators, private use and noncharacters: nothing an operator can see,
// some of it able to reorder or hide what is shown.
static const code_range unprintable[] = {
    {0x80, 0x9f},       {0xad, 0xad},       {0x34f, 0x34f},     {0x61c, 0x61c},     {0x115f, 0x1160},
    {0x180b, 0x180f},   {0x200b, 0x200f},   {0x2028, 0x202e},   {0x2060, 0x206f},   {0x3164, 0x3164},
    {0xe000, 0xf8ff},   {0xfdd0, 0xfdef},   {0xfe00, 0xfe0f},   {0xfeff, 0xfeff},   {0xfff0, 0xfffb},
    {0xfffe, 0xffff},   {0x1bca0, 0x1bca3}, {0x1d173, 0x1d17a}, {0xe0000, 0xe0fff}, {0xf0000, 0x10ffff},
};

// True for a character that display text escapes.
static bool unprintable_character(char32_t c)
{
    return c < 0x20 || c == 0x7f || in_ranges(c, unprintable, std::size(unprintable)) || (c & 0xfffe) == 0xfffe;
}

static void escape_code_point(std::string& out, char32_t c, bool json)
{
    char text[16];
    if (json && c > 0xffff)  // JSON writes a character past U+FFFF as a surrogate pair
        std::snprintf(text, sizeof text, "\\u%04x\\u%04x", 0xd800 + ((c - 0x10000) >> 10), 0xdc00 + (c & 0x3ff));
    else
        std::snprintf(text, sizeof text, json ? "\\u%04x" : c > 0xffff ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(c));
    out += text;
}

std::string escape_display_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = static_cast<unsigned char>(text[i]) >= 0x80 ? utf8_sequence_length(text, i) : 0;
        if (n == 0)
            escape_byte(out, static_cast<unsigned char>(text[i++]));
        else if (char32_t c = code_point(text, i, n); unprintable_character(c))
            escape_code_point(out, c, false);
        else
            out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

std::string escape_json_unprintables(std::string_view json)
{
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        std::size_t n = static_cast<unsigned char>(json[i]) >= 0x80 ? utf8_sequence_length(json, i) : 0;
        char32_t c = n ? code_point(json, i, n) : static_cast<unsigned char>(json[i]);
        if (c == 0x7f || (n > 0 && unprintable_character(c)))
            escape_code_point(out, c, true);
        else
            out.append(json.substr(i, n ? n : 1));
        i += n ? n - 1 : 0;
    }
    return out;
}

// Combining marks take no column of their own; East Asian wide and
// full-width characters and most emoji take two.
static const code_range zero_width[] = {
    {0x300, 0x36f},   {0x483, 0x489},   {0x591, 0x5bd},   {0x610, 0x61a},   {0x64b, 0x65f},
    {0x1ab0, 0x1aff}, {0x1dc0, 0x1dff}, {0x20d0, 0x20ff}, {0xfe20, 0xfe2f},
};
static const code_range double_width[] = {
    {0x1100, 0x115f},   {0x2e80, 0x303e},   {0x3041, 0x33ff},   {0x3400, 0x4dbf},   {0x4e00, 0x9fff},
    {0xa000, 0xa4cf},   {0xac00, 0xd7a3},   {0xf900, 0xfaff},   {0xfe30, 0xfe4f},   {0xff00, 0xff60},
    {0xffe0, 0xffe6},   {0x1f300, 0x1f64f}, {0x1f900, 0x1f9ff}, {0x20000, 0x2fffd}, {0x30000, 0x3fffd},
};

std::size_t display_width(std::string_view shown)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < shown.size();) {
        std::size_t n = static_cast<unsigned char>(shown[i]) >= 0x80 ? utf8_sequence_length(shown, i) : 0;
        char32_t c = n ? code_point(shown, i, n) : static_cast<unsigned char>(shown[i]);
        width += in_ranges(c, zero_width, std::size(zero_width)) ? 0 : in_ranges(c, double_width, std::size(double_width)) ? 2 : 1;
        i += n ? n : 1;
    }
    return width;
}
