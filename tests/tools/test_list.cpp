#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/media_source_store.h"
#include "platform/platform.h"
#include "platform/text_field.h"

namespace fs = std::filesystem;

struct output {
    int status;
    std::string text;
};

static output run_list(const std::string& args)
{
    std::string command = std::string(LIST_PROGRAM) + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    output out{-1, ""};
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.text.append(buf, n);
    int status = pclose(p);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

class list_program : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("camscout-list-" + std::to_string(getpid()));
    std::string store = (dir / "store.db").string();
    void SetUp() override { fs::remove_all(dir); ASSERT_EQ(store_open(store), ""); }
    void TearDown() override { store_close(); fs::remove_all(dir); }

    static void add(const char* ip, const char* mac, const char* model, int port)
    {
        TMediaSourceDevInfo info{};
        info.model_id = make_long_long(139, 42);
        info.brand_id = 139;
        info.port = port;
        copy_text(info.ip_addr, ip);
        copy_text(info.mac_addr, mac);
        copy_text(info.model, model);
        ASSERT_EQ(store_insert(info), "");
    }
};

TEST_F(list_program, shows_the_newest_row_per_mac_unless_all_are_asked_for)
{
    add("10.0.0.9", "02:00:00:00:00:09", "Old", 80);
    add("10.0.0.19", "02:00:00:00:00:09", "New, \"quoted\"", 8080);
    output table = run_list("--store " + store);
    EXPECT_EQ(table.status, 0);
    EXPECT_NE(table.text.find("ADDRESS"), std::string::npos);
    EXPECT_NE(table.text.find("10.0.0.19  02:00:00:00:00:09  8080  139"), std::string::npos) << table.text;
    EXPECT_EQ(table.text.find("Old"), std::string::npos);
    EXPECT_NE(table.text.find("139/42"), std::string::npos);

    output csv = run_list("--csv --all --store " + store);
    EXPECT_NE(csv.text.find("\n10.0.0.9,02:00:00:00:00:09,80,139,Old,139/42,"), std::string::npos) << csv.text;
    EXPECT_NE(csv.text.find(",\"New, \"\"quoted\"\"\",139/42,"), std::string::npos) << csv.text;

    output json = run_list("--json --store " + store);
    EXPECT_NE(json.text.find("\"model\": \"New, \\\"quoted\\\"\""), std::string::npos) << json.text;
    EXPECT_NE(json.text.find("\"brand\": 139"), std::string::npos);
}

TEST_F(list_program, an_empty_store_says_so_and_a_missing_one_fails_clearly)
{
    output empty = run_list("--store " + store);
    EXPECT_EQ(empty.status, 0);
    EXPECT_NE(empty.text.find("no media sources found yet"), std::string::npos);

    output missing = run_list("--store " + (dir / "nothing.db").string());
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.text.find("cannot read the store"), std::string::npos) << missing.text;

    output bad = run_list("--bogus");
    EXPECT_EQ(bad.status, 2);
}
