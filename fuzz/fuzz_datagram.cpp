// One datagram (source address, bytes) received twice through the whole receive
// step against the platform doubles; the seeds are ProbeMatches, so every parser
// reaches any text. Whatever it holds, the step returns and stores at most one
// record (the repeat is known), and only a complete one.
#include <cstdlib>
#include <cstring>

#include "../tests/fake_platform.h"
#include "catalogue/model_table.h"
#include "response/response.h"
#include "transport/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    [[maybe_unused]] static bool table_ready = (init_model_table(), true);
    if (size < 4)
        return 0;
    fake::reset();
    onvif_socket = max_fd = 7;
    uint32_t source;
    memcpy(&source, data, 4);
    char dotted[16];
    dotted_text(source, dotted);
    fake::state.arp_table = std::string("header\n") + dotted + " 0x1 0x2 02:00:00:00:00:01 * eth0\n";
    fake::state.incoming.push_back({source, std::string(reinterpret_cast<const char*>(data + 4), size - 4)});
    fake::state.incoming.push_back(fake::state.incoming.back());
    recv_onvif_response();
    recv_onvif_response();
    if (!fake::state.incoming.empty() || fake::state.stored.size() > 1)
        abort();
    for (const TMediaSourceDevInfo& r : fake::state.stored)
        if (r.port < 1 || r.port > 65535 || strcmp(r.ip_addr, dotted) != 0 || r.brand_id == 0 || r.model_id == 0 ||
            memchr(r.model, '\0', sizeof r.model) == nullptr)
            abort();
    return 0;
}
