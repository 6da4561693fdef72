// Bounded copy into the fixed-width, zero-terminated text fields of the platform's
// records. Every write into one, the host platform's too, goes through here, so
// that none is ever overrun or left unterminated.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies at most N - 1 characters of src into dst, zero-filling the rest.
template <std::size_t N>
inline void copy_text(char (&dst)[N], std::string_view src)
{
    std::size_t n = std::min(src.size(), N - 1);
    std::memcpy(dst, src.data(), n);
    std::memset(dst + n, 0, N - n);
}

// A text field read up to its first zero byte, never past its width.
template <std::size_t N>
inline std::string_view field_text(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}
