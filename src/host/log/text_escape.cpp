#include "host/log/text_escape.h"

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

std::string escape_display_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = static_cast<unsigned char>(text[i]) >= 0x80 ? utf8_sequence_length(text, i) : 0;
        if (n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            escape_byte(out, static_cast<unsigned char>(text[i++]));
        }
    }
    return out;
}
