// Bounded copy into the fixed-width, zero-terminated text fields of the
// platform's records. Every write into such a field goes through here so
// that no field is ever overrun and every field stays terminated; the
// host's implementation of the platform fills its records through it too.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

// Copies at most N - 1 characters of src into dst and fills the rest of
// dst with zeros.
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

// printf-style formatting into a fixed-width buffer: longer output is cut,
// and the buffer always ends with a terminating zero.
template <std::size_t N>
inline void format_text(char (&dst)[N], const char* format, va_list args)
{
    vsnprintf(dst, N, format, args);
}
