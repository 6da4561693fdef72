// The platform abstraction library for a generic Linux host: the caller's
// identity, and the network manager's list made from the kernel's view.
#include <pwd.h>
#include <unistd.h>

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

int PAL_network_get_netmgr_net_list(const t_auth* auth, t_network_netmgr_net_list* list)
{
    if (auth == nullptr || list == nullptr)
        return -1;
    for (const kernel_interface& k : list_kernel_interfaces())
        if (!k.loopback)
            add_net_list_entry(*list, k);
    return 0;
}
