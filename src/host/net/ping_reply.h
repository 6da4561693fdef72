// Reading the answer to the ping's ICMP echo.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the n bytes are an echo reply. A raw socket hands over the IP
// header too, and sees every host's replies, so there the id must match;
// the kernel matches it for an unprivileged ICMP socket.
bool is_echo_reply(const uint8_t* bytes, size_t n, bool with_ip_header, uint16_t id);
