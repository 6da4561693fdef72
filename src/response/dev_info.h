#pragma once

#include <cstdint>
#include <memory>

#include "platform/records.h"

// The recorder's drivers for these brands speak only to port 80; their
// cameras' XAddrs often name a web port that the drivers cannot use.
inline constexpr int forced_port_brands[] = {1, 3, 31, 53, 71, 130, 145};

using dev_info_ptr = std::unique_ptr<TMediaSourceDevInfo>;

// A zero-filled record with the source address (network byte order) as
// dotted text and the MAC text, each cut to its field.
dev_info_ptr create_dev_info(uint32_t source_addr, const char* mac);
// Frees the record without storing or logging it.
void discard_dev_info(dev_info_ptr info);
// Logs the record, forces port 80 for the brands that need it, stores it
// unless its MAC is unknown, and frees it.
void store_dev_info(dev_info_ptr info);
