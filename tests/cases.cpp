// The case files in tests/cases: directives that drive the system's code
// against the doubles, each with what it did: the calls its section checks
// and its result lines. A file passes when the lines it holds are the lines
// made now.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>

#include "catalogue/model_table.h"
#include "run/debug_log.h"
#include "fake_platform.h"
#include "host/log/text_escape.h"
#include "host/net/ping_reply.h"
#include "host/net/ping_wait.h"
#include "platform/platform.h"
#include "host/settings/settings.h"
#include "run/text_field.h"
#include "response/dedup.h"
#include "response/dev_info.h"
#include "response/endpoint.h"
#include "response/extraction.h"
#include "response/identification.h"
#include "response/mac_resolution.h"
#include "response/receive.h"
#include "run/lan_interfaces.h"
#include "run/run_sequence.h"
#include "transport/probe.h"
#include "transport/recv_thread.h"

using words = std::vector<std::string>;

// C escapes (\n \r \t \\ \xHH), "\*N:c" for N copies of c, and "-" alone
// for the empty text.
static std::string unescape(const std::string& in)
{
    if (in == "-")
        return "";
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
        } else if (char c = in[++i]; c == 'x') {
            out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c == '*') {
            std::size_t colon = in.find(':', i);
            out.append(std::stoul(in.substr(i + 1, colon - i - 1)), in[colon + 1]);
            i = colon + 1;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
    }
    return out;
}

// The first n - 1 words, then the rest of the line as the n-th.
static words split(const std::string& line, std::size_t n)
{
    words w;
    std::size_t pos = 0;
    while (w.size() + 1 < n && pos < line.size()) {
        std::size_t end = std::min(line.find(' ', pos), line.size());
        w.push_back(unescape(line.substr(pos, end - pos)));
        pos = end + 1;
    }
    w.push_back(pos < line.size() ? unescape(line.substr(pos)) : "");
    return w;
}

// A ProbeMatches answer from "PREFIX|SCOPES|XADDRS"; an empty scopes or
// xaddrs leaves the element out.
static std::string probe_match(const std::string& fields)
{
    std::size_t bar1 = fields.find('|'), bar2 = fields.find('|', bar1 + 1);
    std::string p = fields.substr(0, bar1);
    auto element = [&](const std::string& name, const std::string& text) {
        return text.empty() ? "" : "<" + p + ":" + name + ">" + text + "</" + p + ":" + name + ">"; };
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:" + p +
           "=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Body>" +
           element("ProbeMatches", element("ProbeMatch", element("Types", "dn:NetworkVideoTransmitter") +
                   element("Scopes", fields.substr(bar1 + 1, bar2 - bar1 - 1)) + element("XAddrs", fields.substr(bar2 + 1)))) +
           "</s:Body></s:Envelope>";
}

static std::string seen_addrs()
{
    std::string addrs;
    for (uint64_t a : seen_responder_addrs)
        addrs += " " + std::to_string(a);
    return addrs;
}

static std::string record_text(const TMediaSourceDevInfo& r)
{
    return std::string("record ") + r.ip_addr + " " + r.mac_addr + " port=" + std::to_string(r.port) +
           " brand=" + std::to_string(r.brand_id) + " id=" + std::to_string(r.model_id >> 32) + "/" +
           std::to_string(r.model_id & 0xffffffff) + " model=[" + r.model + "]";
}

static void receive(const std::string& from, const std::string& bytes)
{
    fake::state.incoming.push_back({inet_addr(from.c_str()), bytes});
    onvif_socket = max_fd = 7;
    recv_onvif_response();
}

static int& setting(const std::string& name)
{
    auto& s = fake::state;
    const std::map<std::string, int*> ints = {
        {"auth", &s.auth}, {"net_list", &s.net_list_result}, {"dev_name_list", &s.dev_name_list},
        {"fork", &s.fork}, {"thread", &s.thread}, {"defer", &s.defer},
        {"socket", &s.socket}, {"fail_sockopt", &s.fail_sockopt}, {"fail_send", &s.fail_send}, {"recv", &s.recv},
        {"onvif_socket", &onvif_socket}, {"max_fd", &max_fd}};
    return *ints.at(name);
}

template <typename Entry>
static void add_entry(std::vector<Entry>& list, const words& w)
{
    Entry e{};
    copy_text(e.dev_name, w[1]);
    copy_text(e.state, w[2]);
    copy_text(e.ipv4_addr, w[3]);
    list.push_back(e);
}

// Bytes from hexadecimal, a space between any two ignored.
static std::vector<uint8_t> hex_bytes(const std::string& text)
{
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += text[i] == ' ' ? 1 : 2)
        if (text[i] != ' ')
            out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

static words echo_reply(const std::string& r, bool with_ip_header)
{
    words w = split(r, 2);
    std::vector<uint8_t> bytes = hex_bytes(w[1]);
    bool reply = is_echo_reply(bytes.data(), bytes.size(), with_ip_header, static_cast<uint16_t>(std::stoi(w[0], nullptr, 16)));
    return {reply ? "an echo reply" : "not an echo reply"};
}

static const std::vector<std::string> route_names = {"on-link", "gateway", "local", "none"};  // in route_kind's order

// "wait PER FREE BUDGET ROUTE:MS ...": one ping wait per address on a clock of
// its own; MS is when the entry completes, "never" for a liar.
static words neighbour_waits(const std::string& r)
{
    std::istringstream in(r);
    int per = 0, free = 0, budget = 0;
    in >> per >> free >> budget;
    neighbour_wait waits(per, free, budget);
    words out;
    for (std::string item; in >> item;) {
        std::string when = item.substr(item.find(':') + 1);
        int64_t now = 0, at = when == "never" ? -1 : std::stoll(when);
        neighbour_watch watch{[&] { return at >= 0 && now >= at; }, [&](int ms) { now += ms; },
                              [&] { return now; }};
        auto name = std::find(route_names.begin(), route_names.end(), item.substr(0, item.find(':')));
        bool done = waits.wait(static_cast<route_kind>(name - route_names.begin()), 3000, watch);
        out.push_back(item + (done ? " resolved after " : " unresolved after ") + std::to_string(now) +
                      " ms, budget left " + std::to_string(waits.budget_left_ms()));
    }
    return out;
}

// Every directive and what it does; each returns its result lines.
static const std::map<std::string, std::function<words(const std::string&)>> verbs = {
    {"reset", [](auto&) { fake::reset(); init_model_table(); return words{}; }},
    {"set", [](auto& r) {
         std::istringstream settings(r);
         for (std::string kv; settings >> kv;)
             setting(kv.substr(0, kv.find('='))) = std::stoi(kv.substr(kv.find('=') + 1));
         fake::state.sockopts = fake::state.sends = 0;  // failure indexes count from here
         return words{}; }},
    {"nic", [](auto& r) { words w = split(r, 4); fake::state.nics[w[0]] = fake::nic(w[0], w[1], w[2], w[3]); return words{}; }},
    {"devname", [](auto& r) {
         words w = split(r, 4);
         auto flag = [&](int i) { return static_cast<uint8_t>(std::stoi(w[i])); };
         netcom_nic_dev_name_st& e = fake::state.dev_names.emplace_back();
         copy_text(e.name, w[0]);
         std::tie(e.select_flag_1, e.select_flag_2, e.exclude_flag) = std::tuple(flag(1), flag(2), flag(3));
         return words{}; }},
    {"entry", [](auto& r) {
         words w = split(r, 4);
         if (w[0] == "wired") add_entry(fake::state.net_list.wired, w);
         else if (w[0] == "wireless") add_entry(fake::state.net_list.wireless, w);
         else add_entry(fake::state.net_list.bridges, w);
         return words{}; }},
    {"interface", [](auto& r) { in_lan_list.push_back(fake::nic("eth", "02:00:00:00:00:01", r)); return words{}; }},
    {"arp", [](auto& r) { fake::state.arp_tables.push_back(unescape(r)); return words{}; }},
    {"main", [](auto& r) {
         std::string name = unescape(r);
         char* argv[] = {name.data(), nullptr};
         int status = camscout_main(1, argv);
         return words{"exit " + std::to_string(status) + " onvif_socket=" + std::to_string(onvif_socket) +
                      " max_fd=" + std::to_string(max_fd)}; }},
    {"collect", [](auto&) {
         collect_in_lan_list(fake::state.net_list);
         std::string devs = "in_lan_list:";
         for (const NIC_INFO& n : in_lan_list)
             devs += std::string(" ") + n.dev + "/" + n.addr;
         in_lan_list.clear();
         return words{devs}; }},
    {"worker", [](auto&) {
         start_recv_thread();
         stop_recv_thread();
         return words{"onvif_socket=" + std::to_string(onvif_socket) + " max_fd=" + std::to_string(max_fd) +
                      " held=" + std::to_string(recv_thread_held) + " running=" + std::to_string(recv_thread_running)}; }},
    {"held", [](auto&) { recv_thread_held = true; return words{}; }},
    {"probe", [](auto&) { send_onvif_probe(); return words{"onvif_socket=" + std::to_string(onvif_socket)}; }},
    {"receive", [](auto& r) { words w = split(r, 2); receive(w[0], w[1]); return words{}; }},
    {"match", [](auto& r) { words w = split(r, 2); receive(w[0], probe_match(w[1])); return words{}; }},
    {"prefix", [](auto& r) {
         char prefix[256] = "untouched";
         int result = get_ns_prefix(r == "null" ? nullptr : unescape(r).c_str(), prefix);
         return words{std::to_string(result) + " [" + prefix + "]"}; }},
    {"tag", [](auto& r) {
         words w = split(r, 2);
         std::string value = "untouched";
         bool found = get_tag_value(w[1].c_str(), w[0].c_str(), value);
         return words{(found ? "found [" : "not found [") + value + "]"}; }},
    {"port", [](auto& r) {
         TMediaSourceDevInfo info{};
         parse_service_port(info, r == "null" ? nullptr : unescape(r).c_str());
         return words{"port " + std::to_string(info.port)}; }},
    {"scopes", [](auto& r) {
         TMediaSourceDevInfo info{};
         identify_device(info, r == "null" ? nullptr : unescape(r).c_str());
         return words{record_text(info)}; }},
    {"resolve", [](auto& r) {
         words w = split(r, 2);  // ADDRESS [TABLE]: a table given is the only one, read afresh
         if (!w[1].empty()) {
             fake::state.arp_tables = {w[1]};
             fake::state.arp_opens = fake::state.arp_closes = 0;
         }
         char mac[32];
         resolve_device_mac(inet_addr(w[0].c_str()), mac);
         return words{std::string("mac [") + mac + "] opens=" + std::to_string(fake::state.arp_opens) +
                      " closes=" + std::to_string(fake::state.arp_closes)}; }},
    {"localmac", [](auto& r) {
         dev_info_ptr info = create_dev_info(inet_addr(r.c_str()), all_zero_mac);
         get_local_mac_addr(*info);
         return words{record_text(*info)}; }},
    {"known", [](auto& r) {
         words w = split(r, 2);
         bool known = is_known_responder(inet_addr(w[0].c_str()), probe_match(w[1]).c_str());
         std::string keys = (known ? "known; keys" : "new; keys") + seen_addrs();
         for (const std::string& k : seen_channel_keys)
             keys += " " + k;
         return words{keys}; }},
    {"seen", [](auto&) { return words{"seen" + seen_addrs()}; }},
    {"echo", [](auto& r) { return echo_reply(r, false); }},
    {"echo-ip", [](auto& r) { return echo_reply(r, true); }},
    {"route", [](auto& r) {
         auto b = hex_bytes(r); return words{route_names.at(static_cast<std::size_t>(route_from_answer(b.data(), b.size())))}; }},
    {"checksum", [](auto& r) { auto b = hex_bytes(r); uint16_t sum = icmp_checksum(b.data(), b.size()); return words{fake::hex(&sum, 2)}; }},
    {"echo-request", [](auto& r) {
         alignas(4) uint8_t p[16];
         make_echo_request(p, static_cast<uint16_t>(std::stoi(r, nullptr, 16)));
         char text[80];
         snprintf(text, sizeof text, "type %u code %u id %02x%02x seq %u checksum %s", p[0], p[1], p[4], p[5],
                  unsigned(p[6] << 8 | p[7]), icmp_checksum(p, sizeof p) == 0 ? "verifies" : "fails");
         return words{text}; }},
    {"wait", neighbour_waits},
    {"path", [](auto& r) {
         std::string made = path_setting(r == "null" ? nullptr : unescape(r).c_str(), "/fallback");
         std::string cwd = std::filesystem::current_path().string();
         return words{made.rfind(cwd, 0) == 0 ? "$PWD" + made.substr(cwd.size()) : made}; }},
    {"escape", [](auto& r) { return words{escape_text(unescape(r))}; }},
    {"json", [](auto& r) { return words{escape_text(unescape(r), text_form::json)}; }},
    {"debuglog", [](auto& r) { words w = split(r, 2); return words{"returns " + std::to_string(debug_log(w[0].c_str(), w[1].c_str()))}; }},
};

// Runs one directive: the calls it made of the kinds its case holds, then
// its result lines.
static words run(const std::string& verb, const std::string& rest, const std::set<std::string>& kinds)
{
    auto& s = fake::state;
    auto it = verbs.find(verb);
    if (it == verbs.end())
        return {"unknown directive " + verb};
    std::size_t seen = s.events.size();
    words out;
    try {
        out = it->second(rest);
    } catch (const std::exception& e) {
        out = {std::string("error: ") + e.what()};
    }
    seen = std::min(seen, s.events.size());  // a reset starts afresh
    words made;
    std::copy_if(s.events.begin() + static_cast<std::ptrdiff_t>(seen), s.events.end(), std::back_inserter(made),
                 [&](const std::string& e) { return kinds.count(e.substr(0, e.find(':'))) != 0; });
    made.insert(made.end(), out.begin(), out.end());
    return made;
}

// A directive that makes one line holds it after " => "; more follow it as
// "> " lines. A case, the lines after a comment, shows only the kinds of
// call its lines hold ("log", "sendto"...): a trace holds what its case is
// about, and a kind it holds is checked in all its directives.
static std::string made_from(std::istream& in)
{
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::string out;
    std::set<std::string> kinds;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i].substr(0, lines[i].find(" => "));
        if (line[0] == '#') {
            kinds.clear();
            for (std::size_t j = i + 1; j < lines.size() && lines[j][0] != '#'; ++j) {
                std::size_t arrow = lines[j].find(" => "), start = arrow != std::string::npos ? arrow + 4 : 2;
                if (arrow != std::string::npos || lines[j].rfind("> ", 0) == 0)
                    kinds.insert(lines[j].substr(start, lines[j].find(':', start) - start));
            }
        }
        if (line.empty() || line[0] == '#' || line.rfind("> ", 0) == 0) {
            out += line[0] == '>' ? "" : line + "\n";
            continue;
        }
        std::size_t space = std::min(line.find(' '), line.size());
        words made = run(line.substr(0, space), space < line.size() ? line.substr(space + 1) : "", kinds);
        out += line + (made.size() == 1 ? " => " + escape_text(made[0]) : "") + "\n";
        for (std::size_t k = 0; made.size() > 1 && k < made.size(); ++k)
            out += "> " + escape_text(made[k]) + "\n";
    }
    return out;
}

class case_file : public ::testing::TestWithParam<const char*> {};

// UPDATE_CASES=1 writes the lines made now into the file, for an intended
// change reviewed in the diff; never in CI, where it would pass anything.
TEST_P(case_file, makes_the_lines_it_holds)
{
    std::string path = std::string(CASES_DIR) + "/" + GetParam() + ".txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << "cannot read " << path;
    std::stringstream held;
    held << in.rdbuf();
    std::string made = made_from(held);
    if (getenv("UPDATE_CASES") != nullptr) {
        const char* ci = getenv("CI");
        ASSERT_TRUE(ci == nullptr || *ci == 0) << "UPDATE_CASES is refused where CI is set";
        std::ofstream(path) << made;
        return;
    }
    EXPECT_EQ(held.str(), made) << path;  // with the lines that differ
}

INSTANTIATE_TEST_SUITE_P(cases, case_file, ::testing::Values("run", "transport", "message", "response", "platform"));
