// Preloaded into the daemon: at the discovery process's first find (not the
// store process's answer) it does what a compromised parser would (attack.h),
// and writes what it found to CAMSCOUT_ATTACK_REPORT, opened before the run
// confines itself.
#include <dlfcn.h>

#include "attack.h"
#include "host/store/store_message.h"

static auto real_sendto = reinterpret_cast<decltype(&sendto)>(dlsym(RTLD_NEXT, "sendto"));
static const char* const report_path = std::getenv("CAMSCOUT_ATTACK_REPORT");
static const int report = report_path && std::string_view(program_invocation_short_name).starts_with("onvif_camscout")
                              ? open(report_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;

extern "C" ssize_t sendto(int fd, const void* buf, size_t len, int flags, const sockaddr* to, socklen_t to_len)
{
    static bool done = false;
    int type = 0;
    socklen_t type_len = sizeof type;
    if (!done && report >= 0 && len == sizeof(found_message) &&
        static_cast<const found_message*>(buf)->kind == found_message_kind &&
        getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_len) == 0 && type == SOCK_SEQPACKET) {
        done = true;
        std::string found = attack(report);
        (void)!write(report, found.data(), found.size());
    }
    return real_sendto(fd, buf, len, flags, to, to_len);
}
