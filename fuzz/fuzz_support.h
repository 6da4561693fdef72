// Shared by the fuzz targets: the input as a zero-terminated text, and the
// platform doubles reset so that one input never sees another's state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../tests/fake_platform.h"
#include "run/globals.h"

inline std::string input_text(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    return text.substr(0, text.find('\0'));
}

inline void reset_worker_state()
{
    fake::reset();
    seen_responder_addrs.clear();
    seen_channel_keys.clear();
}
