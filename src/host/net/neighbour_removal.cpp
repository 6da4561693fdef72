#include "host/net/neighbour_removal.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cerrno>

#include "host/net/kernel_interfaces.h"
#include "platform/os_calls.h"
#include "run/text_field.h"

// One question about the address, with its body (an rtmsg or an ndmsg),
// and its answer: the answer's length, or -1.
template <typename Body>
static ssize_t ask(int fd, uint16_t type, const Body& body, in_addr_t address, char (&answer)[1024])
{
    struct {
        nlmsghdr h;
        Body body;
        rtattr dst;
        in_addr_t address;
    } q{};
    q.h = {sizeof q, type, static_cast<uint16_t>(NLM_F_REQUEST | (type == RTM_DELNEIGH ? NLM_F_ACK : 0)), 0, 0};
    q.body = body;
    q.dst = {RTA_LENGTH(sizeof address), RTA_DST};  // NDA_DST for a neighbour, the same 1
    q.address = address;
    if (os_sendto(fd, &q, sizeof q, 0, nullptr, 0) != sizeof q)
        return -1;
    return os_recvfrom(fd, answer, sizeof answer, MSG_DONTWAIT, nullptr, nullptr);
}

bool ask_route(int fd, in_addr_t address, int& device)
{
    rtmsg r{};
    r.rtm_family = AF_INET;
    r.rtm_dst_len = 32;
    alignas(nlmsghdr) char answer[1024];
    ssize_t n = ask(fd, RTM_GETROUTE, r, address, answer);
    device = 0;
    return n < 0 || on_link_route(answer, static_cast<size_t>(n), device);
}

int ask_neighbour(int fd, uint16_t type, int index, in_addr_t address)
{
    ndmsg entry{};
    entry.ndm_family = AF_INET;
    entry.ndm_ifindex = index;
    alignas(nlmsghdr) char answer[1024];
    ssize_t n = ask(fd, type, entry, address, answer);
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

// Read while none is listed: the store process that asks lives for one run.
static bool run_lan_device(int device)
{
    static std::vector<int> lan;
    if (lan.empty())
        for (const kernel_interface& k : list_kernel_interfaces())
            if (k.up && !k.loopback && k.nic.addr[0] != '\0' && field_text(k.nic.b_addr) != "0.0.0.0")
                lan.push_back(k.index);
    return device > 0 && std::find(lan.begin(), lan.end(), device) != lan.end();
}

// An entry that resolves between the question and the removal goes too;
// the kernel then merely asks for it again.
int remove_unresolved_neighbour(const neighbour_removal& request)
{
    if (!run_lan_device(request.device)) {
        errno = EPERM;
        return -1;
    }
    static int fd = -1;  // kept for the process's life, as the ping keeps its own
    if (fd < 0)
        fd = os_socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    int state = ask_neighbour(fd, RTM_GETNEIGH, request.device, request.address);
    if (state < 0)
        return errno == ENOENT ? 0 : -1;
    if ((state & (NUD_INCOMPLETE | NUD_FAILED)) == 0)
        return 0;
    return ask_neighbour(fd, RTM_DELNEIGH, request.device, request.address) == 0 ? 1 : -1;
}
