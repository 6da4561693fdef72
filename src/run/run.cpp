#include "run/run.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "run/text_field.h"

std::vector<NIC_INFO> in_lan_list;

int debug_log(const char* format, ...)
{
    char buffer[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // Through "%s", so that a '%' in a device's text is not read as a directive.
    log_Debug("%s", buffer);
    return 0;
}

static void consider(netmgr_text& dev_name, const netmgr_text& state,
                     std::string_view wanted_state, const netmgr_text& required)
{
    if (field_text(state) != wanted_state || required[0] == '\0')
        return;
    NIC_INFO info{};
    if (netcom_NIC_Get_Info(dev_name, &info) != 0)
        return;
    if (field_text(info.addr) == "0.0.0.0" || field_text(info.b_addr) == "0.0.0.0")
        return;
    debug_log("[onvif camscout] main() dev=[%s], addr=[%s], b_addr=[%s]", info.dev, info.addr, info.b_addr);
    in_lan_list.push_back(info);
}

void collect_in_lan_list(t_network_netmgr_net_list& net_list)
{
    for (auto& e : net_list.wired)
        consider(e.dev_name, e.state, "1", e.ipv4_addr);
    for (auto& e : net_list.wireless)
        consider(e.dev_name, e.state, "1", e.ipv4_addr);
    for (auto& e : net_list.bridges)
        consider(e.dev_name, e.state, "enable", e.ipv4_addr);
}
