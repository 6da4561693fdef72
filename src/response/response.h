// Response processing: each datagram the worker receives, from the drop tests
// to the stored media-source record. Addresses are IPv4, in network byte order.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/records.h"

// One receive step of the worker: waits up to 5 s on onvif_socket and handles at most one datagram.
void recv_onvif_response();

// Responders handled in this run: source addresses, and address-and-channel
// keys of the maker's multi-channel sources. Touched by the worker only.
extern std::vector<uint64_t> seen_responder_addrs;
extern std::vector<std::string> seen_channel_keys;
// True when the responder, or this channel of it, was handled before in this run; else records it.
bool is_known_responder(uint32_t source_addr, const char* message);

// The fields of a WS-Discovery message, found by plain substring search: no
// XML parser, no entity decoding, no trimming.
// Returns 0 and writes into the zero-filled prefix the prefix that the message
// binds to the WS-Discovery namespace (the empty one counts; at most 127
// characters; elements are then prefix:local); else -1, prefix untouched.
int get_ns_prefix(const char* message, char (&prefix)[256]);
// True, with the text between the element's tags in value, when it is present; else value is untouched.
bool get_tag_value(const char* message, const std::string& tag, std::string& value);
// The tokens of a Scopes value, separated by runs of spaces (code 32 only).
std::vector<std::string> split_scopes(std::string_view scopes);

// info.port from the first URL of an XAddrs text (null when there is none), else 80.
void parse_service_port(TMediaSourceDevInfo& info, const char* xaddrs);
// info.model_id, model and brand_id from a Scopes text (null when there is
// none): the ONVIF scopes, the maker's own IP cameras, the model table.
void identify_device(TMediaSourceDevInfo& info, const char* scopes);
// True when pattern occurs in text, the letters a to z matched in either case.
bool contains_nocase(const std::string& text, const char* pattern);

inline constexpr char all_zero_mac[] = "00:00:00:00:00:00";
// Pings addr, then reads the ARP table up to 20 times; mac receives the MAC found or all_zero_mac.
void resolve_device_mac(uint32_t addr, char (&mac)[32]);
// Overwrites info.mac_addr with the MAC of the local interface that holds
// info.ip_addr, for replies sent by this machine itself.
void get_local_mac_addr(TMediaSourceDevInfo& info);
void dotted_text(uint32_t addr, char (&text)[16]);

using dev_info_ptr = std::unique_ptr<TMediaSourceDevInfo>;
// A zero-filled record with the source address as dotted text and the MAC text, each cut to its field.
dev_info_ptr create_dev_info(uint32_t source_addr, const char* mac);
// Frees the record without storing or logging it.
void discard_dev_info(dev_info_ptr info);
// Logs the record, forces port 80 for the brands that need it, stores it
// unless its MAC is unknown, and frees it.
void store_dev_info(dev_info_ptr info);
