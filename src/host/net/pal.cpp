// The platform abstraction library for a generic Linux host: the caller's
// identity, and the network manager's list made from the kernel's view.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/net/kernel_interfaces.h"
#include "platform/platform.h"
#include "run/text_field.h"

int PAL_auth_get_auth(t_auth* auth)
{
    if (auth == nullptr)
        return -1;
    *auth = t_auth{};
    auth->uid = static_cast<int32_t>(geteuid());
    auth->gid = static_cast<int32_t>(getegid());
    const passwd* pw = getpwuid(geteuid());
    copy_text(auth->user, pw != nullptr ? pw->pw_name : "root");
    copy_text(auth->home, pw != nullptr ? pw->pw_dir : "/");
    return 0;
}

template <typename Entry>
static Entry net_list_entry(const kernel_interface& k, const char* state)
{
    Entry e{};
    copy_text(e.dev_name, k.nic.dev);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, k.nic.addr);
    return e;
}

// The interface's kind, from sysfs. The kernel's names hold no '/' and
// are never "." or "..".
static bool in_sysfs(const char* name, const char* leaf)
{
    struct stat st;
    return stat(("/sys/class/net/" + std::string(name) + "/" + leaf).c_str(), &st) == 0;
}

int PAL_network_get_netmgr_net_list(const t_auth* auth, t_network_netmgr_net_list* list)
{
    if (auth == nullptr || list == nullptr)
        return -1;
    for (const kernel_interface& k : list_kernel_interfaces()) {
        if (k.loopback)
            continue;
        if (in_sysfs(k.nic.dev, "bridge"))
            list->bridges.push_back(net_list_entry<t_network_netmgr_bridge>(k, k.up ? "enable" : "disable"));
        else if (in_sysfs(k.nic.dev, "wireless") || in_sysfs(k.nic.dev, "phy80211"))
            list->wireless.push_back(net_list_entry<t_network_netmgr_wireless>(k, k.up ? "1" : "0"));
        else
            list->wired.push_back(net_list_entry<t_network_netmgr_wired>(k, k.up ? "1" : "0"));
    }
    return 0;
}
