#include "run/run.h"

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "transport/transport.h"

// The length of a run. A test-only build may shorten it; the product
// binary keeps 60 seconds.
#ifndef CAMSCOUT_RUN_SECONDS
#define CAMSCOUT_RUN_SECONDS 60
#endif

int camscout_main(int argc, char** argv)
{
    const char* name = argc > 0 && argv[0] != nullptr ? argv[0] : "onvif_camscout";
    if (reentried(name) != 0) {
        debug_log("[onvif camscout] reentried...");
        return 0;
    }
    os_daemon(0, 0);
    onvif_socket = 0;
    max_fd = 0;

    t_auth auth{};
    if (PAL_auth_get_auth(&auth) != 0)
        debug_log("[onvif camscout] PAL_auth_get_auth() failed");
    t_network_netmgr_net_list net_list;
    if (PAL_network_get_netmgr_net_list(&auth, &net_list) != 0)
        debug_log("[onvif camscout] PAL_network_get_netmgr_net_list() failed");
    collect_in_lan_list(net_list);
    debug_log("[onvif camscout] main() in_lan_num=%zu", in_lan_list.size());

    // The parent ends at once, also when the fork failed: no run then.
    if (os_fork() != 0)
        return 0;
    msas_init_onvif();
    start_recv_thread();
    os_sleep(CAMSCOUT_RUN_SECONDS);
    stop_recv_thread();
    msas_uninit_onvif();
    debug_log("[onvif camscout] onvif_camscout exit(0)");
    return 0;
}
