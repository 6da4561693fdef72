#include "run/globals.h"

std::vector<NIC_INFO> in_lan_list;
std::vector<uint64_t> seen_responder_addrs;
std::vector<std::string> seen_channel_keys;
