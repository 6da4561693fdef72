#include "host/net/ping_reply.h"

#include <netinet/ip_icmp.h>

#include <cstring>

bool is_echo_reply(const uint8_t* bytes, size_t n, bool with_ip_header, uint16_t id)
{
    size_t skip = with_ip_header && n > 0 ? static_cast<size_t>(bytes[0] & 0x0f) * 4 : 0;
    if (n < skip + sizeof(icmphdr))
        return false;
    icmphdr h;
    std::memcpy(&h, bytes + skip, sizeof h);
    return h.type == ICMP_ECHOREPLY && (!with_ip_header || h.un.echo.id == htons(id));
}
