#pragma once

#include "platform/records.h"

// Sets info.port from the first URL of an XAddrs text (null when the
// message has none); 80 when no usable port is named. Never fails.
void parse_service_port(TMediaSourceDevInfo& info, const char* xaddrs);
