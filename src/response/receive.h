#pragma once

#include <cstdint>

// One receive step of the discovery worker: waits up to 5 seconds for a
// datagram on onvif_socket and handles at most one.
void recv_onvif_response();

// Everything after the receive, for one datagram: the drop tests and the
// ProbeMatch processing. text ends at its first zero byte.
void handle_datagram(uint32_t source_addr, const char* text);
