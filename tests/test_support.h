// Small helpers shared by the unit tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "run/globals.h"

// Position of the first event equal to what, or -1.
inline int event_index(const std::string& what)
{
    auto& events = fake::state.events;
    auto it = std::find(events.begin(), events.end(), what);
    return it == events.end() ? -1 : static_cast<int>(it - events.begin());
}

inline void reset_process_state()
{
    fake::reset();
    in_lan_list.clear();
    seen_responder_addrs.clear();
    seen_channel_keys.clear();
    onvif_socket = 0;
    max_fd = 0;
}
