// The ping's ICMP echo: the request sent and reading the answer.
#pragma once

#include <cstddef>
#include <cstdint>

// The internet checksum of the bytes, in network byte order.
uint16_t icmp_checksum(const uint8_t* data, size_t len);

// The echo request of the ping with id: sequence 1, eight bytes of zeros.
// The packet is aligned as an icmphdr.
void make_echo_request(uint8_t (&packet)[16], uint16_t id);

// True when the n bytes are an echo reply. A raw socket hands over the IP
// header too, and sees every host's replies, so there the id must match;
// the kernel matches it for an unprivileged ICMP socket.
bool is_echo_reply(const uint8_t* bytes, size_t n, bool with_ip_header, uint16_t id);
