#include "response/response.h"

#include <arpa/inet.h>

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/run.h"
#include "run/text_field.h"

// The kernel may still be resolving when ping returns; the table is read
// again at once rather than waiting.
static const int arp_tries = 20;

void dotted_text(uint32_t addr, char (&text)[16])
{
    in_addr a;
    a.s_addr = addr;
    inet_ntop(AF_INET, &a, text, sizeof text);
}

// True when the line's first space-separated token is the address: a cheap test,
// so that a lookup in a site's large table splits one line, not every line.
static bool starts_with_token(std::string_view line, std::string_view dotted)
{
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    return line.substr(0, dotted.size()) == dotted && (line.size() == dotted.size() || line[dotted.size()] == ' ');
}

// Writes the HW address column of the first line of /proc/net/arp whose IP
// address column is exactly dotted, or the all-zero MAC.
static void find_remote_mac(char (&mac)[32], const char* dotted)
{
    copy_text(mac, all_zero_mac);
    FILE* table = os_fopen("/proc/net/arp", "r");
    if (table == nullptr)
        return;
    char line[1024];
    bool header_read = fgets(line, 1023, table) != nullptr;
    while (header_read && fgets(line, 1023, table) != nullptr) {
        if (!starts_with_token(line, dotted))
            continue;
        // Only spaces separate, as in a Scopes value: a line's newline stays
        // in its last token.
        std::vector<std::string> tokens = split_scopes(line);
        if (tokens.size() >= 4)
            copy_text(mac, tokens[3]);
        break;  // the first matching line decides, complete or not
    }
    os_fclose(table);
}

void resolve_device_mac(uint32_t addr, char (&mac)[32])
{
    char dotted[16];
    dotted_text(addr, dotted);
    char empty[1] = "";
    ping(dotted, 3000, empty);
    for (int i = 0; i < arp_tries; ++i) {
        find_remote_mac(mac, dotted);
        if (std::strcmp(mac, all_zero_mac) != 0)
            break;
    }
    debug_log("[onvif camscout] pch_IP %s, FindRemoteMAC = %s", dotted, mac);
}

void get_local_mac_addr(TMediaSourceDevInfo& info)
{
    netcom_nic_dev_name_st* head = nullptr;
    if (netcom_NIC_Get_Dev_Name_List(&head) != 0)
        return;
    for (netcom_nic_dev_name_st* e = head; e != nullptr; e = e->next) {
        NIC_INFO nic{};
        // Up, with an IPv4 address, not the loopback.
        bool considered = e->select_flag_1 != 0 && e->select_flag_2 != 0 && e->exclude_flag == 0;
        if (!considered || netcom_NIC_Get_Info(e->name, &nic) != 0 || field_text(info.ip_addr) != field_text(nic.addr))
            continue;
        copy_text(info.mac_addr, field_text(nic.mac));
        debug_log("[onvif camscout] get_local_mac_addr() dev=[%s], addr=[%s], mac=[%s]", e->name,
                  info.ip_addr, info.mac_addr);
        break;
    }
    netcom_NIC_Free_Dev_Name_List(head);
}
