#include "host/net/neighbour_removal.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

#include "platform/os_calls.h"
#include "run/text_field.h"

int ask_neighbour(int fd, uint16_t type, int index, in_addr_t address)
{
    struct {
        nlmsghdr h;
        ndmsg n;
        rtattr dst;
        in_addr_t address;
    } q{};
    q.h = {sizeof q, type, static_cast<uint16_t>(NLM_F_REQUEST | (type == RTM_DELNEIGH ? NLM_F_ACK : 0)), 0, 0};
    q.n.ndm_family = AF_INET;
    q.n.ndm_ifindex = index;
    q.dst = {RTA_LENGTH(sizeof address), NDA_DST};
    q.address = address;
    if (os_sendto(fd, &q, sizeof q, 0, nullptr, 0) != sizeof q)
        return -1;
    alignas(nlmsghdr) char answer[1024];
    ssize_t n = os_recvfrom(fd, answer, sizeof answer, MSG_DONTWAIT, nullptr, nullptr);
    const auto* h = reinterpret_cast<const nlmsghdr*>(answer);
    if (n >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) && h->nlmsg_type == NLMSG_ERROR) {
        errno = -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
        return errno == 0 ? 0 : -1;
    }
    if (n >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(ndmsg))) && h->nlmsg_type == RTM_NEWNEIGH)
        return static_cast<const ndmsg*>(NLMSG_DATA(h))->ndm_state;
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
    ifreq req{};
    copy_text(req.ifr_name, device);
    int state = os_ioctl(fd, SIOCGIFINDEX, &req) == 0 ? ask_neighbour(fd, RTM_GETNEIGH, req.ifr_ifindex, request.address) : -1;
    int result = state < 0 ? (errno == ENOENT ? 0 : -1)
                 : (state & (NUD_INCOMPLETE | NUD_FAILED)) == 0 ? 0
                 : ask_neighbour(fd, RTM_DELNEIGH, req.ifr_ifindex, request.address) == 0 ? 1 : -1;
    int error = errno;
    os_close(fd);
    errno = error;
    return result;
}
