#include <gtest/gtest.h>

#include "fake_platform.h"
#include "response/endpoint.h"

TEST(parse_service_port, takes_the_port_of_the_first_url)
{
    struct {
        const char* xaddrs;
        int port;
    } cases[] = {
        {"http://192.168.1.20/onvif/device_service", 80},
        {"http://192.168.1.20:8080/onvif/device_service", 8080},
        {"http://[fe80::1]:8899/onvif/device_service", 8899},
        {"http://[fe80::1]/onvif/device_service", 80},
        {"http://[fe80::1]:8000/onvif/device_service http://192.168.1.20:8000/onvif/device_service", 8000},
        {"http://192.168.1.20:8000/onvif/device_service http://[fe80::1]:8000/onvif/device_service", 80},
        {"http://192.168.1.20:0/onvif/device_service", 80},
        {"http://192.168.1.20:abc/onvif/device_service", 80},
        {"http://192.168.1.20:/onvif/device_service", 80},
        {"http://192.168.1.20:65616/onvif/device_service", 80},
        {"http://192.168.1.20:65537/onvif/device_service", 1},
        {"http://192.168.1.20:-1/onvif/device_service", 65535},
        {"http://192.168.1.20:8080", 8080},
        {"http://192.168.1.20:8080?x=1", 8080},
        {"http://192.168.1.20 http://10.0.0.1:554/x", 80},  // no path: the host part runs on to "http:"
        {"http://192.168.1.20:99999999999999999999999/", 65535},
        {"", 80},
        {"192.168.1.20:8081/onvif", 8081},
        {"garbage", 80},
    };
    for (auto& c : cases) {
        fake::reset();
        TMediaSourceDevInfo info{};
        parse_service_port(info, c.xaddrs);
        EXPECT_EQ(info.port, c.port) << c.xaddrs;
        EXPECT_TRUE(fake::state.log.empty());
    }
}

TEST(parse_service_port, no_xaddrs_gives_port_80_with_a_message)
{
    fake::reset();
    TMediaSourceDevInfo info{};
    parse_service_port(info, nullptr);
    EXPECT_EQ(info.port, 80);
    EXPECT_EQ(fake::state.log,
              std::vector<std::string>{"[onvif camscout] can't find Camera endpoint, use default port: 80"});
}
