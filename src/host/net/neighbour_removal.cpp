#include "host/net/neighbour_removal.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>

#include "platform/os_calls.h"
#include "run/text_field.h"

int open_route_socket()
{
    int fd = os_socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    timeval limit{0, 100000};
    if (fd >= 0 && os_setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        os_close(fd);
        return -1;
    }
    return fd;
}

ssize_t ask_kernel(int fd, nlmsghdr& question, void* answer, size_t size)
{
    static uint32_t seq = 0;
    question.nlmsg_seq = ++seq;
    if (os_sendto(fd, &question, question.nlmsg_len, 0, nullptr, 0) != static_cast<ssize_t>(question.nlmsg_len))
        return -1;
    // An answer to an earlier question that timed out may come first.
    for (int i = 0; i < 4; ++i) {
        ssize_t n = os_recvfrom(fd, answer, size, 0, nullptr, nullptr);
        if (n < static_cast<ssize_t>(sizeof(nlmsghdr)))
            return errno = n < 0 ? errno : EPROTO, -1;
        if (static_cast<const nlmsghdr*>(answer)->nlmsg_seq == seq)
            return n;
    }
    return errno = EPROTO, -1;
}

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
    alignas(nlmsghdr) char answer[1024];
    ssize_t n = ask_kernel(fd, q.h, answer, sizeof answer);
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
    int fd = open_route_socket();
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
