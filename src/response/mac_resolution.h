#pragma once

#include <cstdint>

#include "platform/records.h"

// Pings the address (network byte order), then reads the ARP table up to 20
// times; mac receives the MAC text found or the all-zero MAC.
void resolve_device_mac(uint32_t addr, char (&mac)[32]);

// Overwrites info.mac_addr with the MAC of the local interface that holds
// info.ip_addr, for replies sent by this machine itself.
void get_local_mac_addr(TMediaSourceDevInfo& info);

// The address as dotted text.
void dotted_text(uint32_t addr, char (&text)[16]);

inline constexpr char all_zero_mac[] = "00:00:00:00:00:00";
