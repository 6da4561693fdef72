#include "host/log/text_escape.h"

#include <unictype.h>
#include <unistr.h>

#include <cstdio>

// What nobody sees, as the header lists it, by Unicode's own data.
static bool unseen(ucs4_t c)
{
    return uc_is_general_category_withtable(c, UC_CATEGORY_MASK_C | UC_CATEGORY_MASK_Zl | UC_CATEGORY_MASK_Zp) ||
           uc_is_property_default_ignorable_code_point(c);
}

static std::string hex_escape(unsigned byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    return text;
}

// The escape of one character, or "" where it is shown as it is.
static std::string escape(ucs4_t c, text_form form)
{
    char text[16];
    if (form == text_form::json ? c < 0x7f || !unseen(c) : c != '\\' && !unseen(c))
        return "";
    if (c == '\\' || c == '\r' || c == '\n')
        return c == '\\' ? "\\\\" : c == '\r' ? "\\r" : "\\n";
    if (c < 0x80 && form == text_form::line)
        return hex_escape(c);
    if (form == text_form::json && c > 0xffff)
        std::snprintf(text, sizeof text, "\\u%04x\\u%04x", 0xd800 + ((c - 0x10000) >> 10), 0xdc00 + (c & 0x3ff));
    else
        std::snprintf(text, sizeof text, form == text_form::json ? "\\u%04x" : c > 0xffff ? "\\U%08X" : "\\u%04X", c);
    return text;
}

std::string escape_text(std::string_view text, text_form form)
{
    std::string out;
    out.reserve(text.size());
    auto bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        ucs4_t c = 0;
        int n = u8_mbtoucr(&c, bytes + i, text.size() - i);
        std::string shown = n < 0 ? hex_escape(bytes[i]) : escape(c, form);  // n < 0: not UTF-8
        n = n < 0 ? 1 : n;
        out.append(shown.empty() ? text.substr(i, n) : shown);
        i += n;
    }
    return out;
}
