#include "host/net/neighbour_removal.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

#include "platform/os_calls.h"
#include "run/text_field.h"

struct neighbour_message {
    nlmsghdr h;
    ndmsg n;
    rtattr dst;
    in_addr_t address;
};

// One request and its one answer: the entry's state (RTM_GETNEIGH) or the
// acknowledgement (RTM_DELNEIGH). 0, or -1 with errno.
static int ask(int fd, uint16_t type, int index, in_addr_t address, int& state)
{
    neighbour_message m{};
    uint16_t flags = NLM_F_REQUEST | (type == RTM_DELNEIGH ? NLM_F_ACK : 0);
    m.h = {sizeof m, type, flags, 1, 0};
    m.n.ndm_family = AF_INET;
    m.n.ndm_ifindex = index;
    m.dst = {RTA_LENGTH(sizeof address), NDA_DST};
    m.address = address;
    alignas(nlmsghdr) char reply[1024];
    if (os_sendto(fd, &m, sizeof m, 0, nullptr, 0) != sizeof m)
        return -1;
    ssize_t n = os_recvfrom(fd, reply, sizeof reply, 0, nullptr, nullptr);
    const auto* h = reinterpret_cast<const nlmsghdr*>(reply);
    if (n >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) && h->nlmsg_type == NLMSG_ERROR) {
        int error = -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
        errno = error;
        return error == 0 ? 0 : -1;
    }
    if (n >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(ndmsg))) && h->nlmsg_type == RTM_NEWNEIGH) {
        state = static_cast<const ndmsg*>(NLMSG_DATA(h))->ndm_state;
        return 0;
    }
    errno = n < 0 ? errno : EPROTO;
    return -1;
}

// An entry that resolves between the question and the removal goes too;
// the kernel then merely asks for it again.
int remove_unresolved_neighbour(const neighbour_removal& request, const std::vector<NIC_INFO>& lan_devices)
{
    std::string_view device = field_text(request.device);
    if (device.empty() || std::none_of(lan_devices.begin(), lan_devices.end(),
                                       [&](const NIC_INFO& nic) { return field_text(nic.dev) == device; }))
        return errno = EPERM, -1;
    int fd = os_socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    timeval limit{0, 100000};
    ifreq req{};
    copy_text(req.ifr_name, device);
    int state = 0, result = -1;
    if (os_setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
        os_ioctl(fd, SIOCGIFINDEX, &req) == 0 &&
        ask(fd, RTM_GETNEIGH, req.ifr_ifindex, request.address, state) == 0)
        result = (state & (NUD_INCOMPLETE | NUD_FAILED)) == 0 ? 0
                 : ask(fd, RTM_DELNEIGH, req.ifr_ifindex, request.address, state) == 0 ? 1 : -1;
    else if (errno == ENOENT)
        result = 0;
    int error = errno;
    os_close(fd);
    errno = error;
    return result;
}
