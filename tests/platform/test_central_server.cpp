// Forwarding to a PostgreSQL server that the program starts for itself, as
// the postgres user in a temporary folder, on a Unix socket there only; and
// the list tool's set-up and reading of it. Skipped without root or the server.
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "../tools/list/read_postgres.h"
#include "host/settings/settings.h"
#include "host/central/central_connection.h"
#include "host/store/sqlite_query.h"
#include "host/store/store_identity.h"
#include "host/store/media_source_store.h"
#include "host/store/store_sightings.h"

namespace fs = std::filesystem;
static std::string dir, owner, host;  // the server's folder; the owner's connection string; the name forwarded under

// As the owner, through the list tool's reader: each row of sql, its cells joined by '|' and ended by ';'.
static std::string central(const std::string& sql, const std::string& conninfo = owner)
{
    store_reader r;
    std::string out, why = open_central_store(conninfo, r, 1);
    if (why.empty())
        why = r.query(std::regex_replace(sql, std::regex("COLUMNS"), r.columns), {}, [&](const result_row& row) {
            for (const std::string& cell : row)
                out += cell + (&cell == &row.back() ? ";" : "|");
        });
    return why + out;
}

// What --central --changes reports of the recorders whose name begins with of: "kind mac before|now;" each.
static std::string changes(const std::string& conninfo, const std::string& of)
{
    store_reader r;
    std::vector<source_change> found;
    std::string why = open_central_store(conninfo, r, 1), seen;
    why = why.empty() ? r.query(r.snapshot, {}, [](const result_row&) {}) : why;
    why = why.empty() ? read_changes(r, "", found) : why;
    for (const source_change& c : found)
        seen += c.recorder.rfind(of, 0) == 0 ? c.kind + " " + c.mac + " " + c.before + "|" + c.now + ";" : "";
    return why + seen;
}

// A database of the owner's; its owner's connection string.
static std::string database(const std::string& name)
{
    EXPECT_EQ(central("CREATE DATABASE " + name + " OWNER \"Inventory Owner\"", "host=" + dir + " user=postgres"), "");
    return "host=" + dir + " dbname=" + name + " user='Inventory Owner'";
}

struct server : ::testing::Environment {
    FILE* keeper = nullptr;  // stops the server and removes the folder once its pipe closes, however the program ends
    void SetUp() override
    {
        std::string bin, as_pg = geteuid() == 0 ? "timeout 60 runuser -u postgres -- " : "timeout 60 ";
        std::error_code none;
        for (const fs::directory_entry& v : fs::directory_iterator("/usr/lib/postgresql", none))
            bin = std::max(bin, (v.path() / "bin/").string());
        passwd* pg = getpwnam("postgres");
        if (!fs::exists(bin + "initdb") || !pg || (geteuid() != 0 && geteuid() != pg->pw_uid))
            GTEST_SKIP() << "needs the PostgreSQL server (scripts/install-deps) and to run as root or postgres";
        dir = fs::temp_directory_path() / "camscout-central-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir.data()) && chown(dir.c_str(), pg->pw_uid, pg->pw_gid) == 0);
        std::string pg_ctl = as_pg + bin + "pg_ctl -w -t 30 -D " + dir + "/data -l " + dir + "/log -m immediate ";
        // In a session of its own, deaf to a terminal's and CTest's signals. The list tool's reader, which
        // every query here goes through, keeps an alarm 31 s past its last answer: a forward that spins ends there.
        keeper = popen(("setsid -f sh -c 'trap \"\" INT TERM HUP; read x; " + pg_ctl + "stop >/dev/null; rm -rf " + dir + "'").c_str(), "we");
        ASSERT_EQ(std::system((as_pg + bin + "initdb -N -A trust -U postgres -D " + dir + "/data >/dev/null 2>&1").c_str()), 0);
        std::ofstream(dir + "/data/postgresql.conf", std::ios::app)
            << "listen_addresses = ''\nunix_socket_directories = '" << dir << "'\nfsync = off\n";
        ASSERT_EQ(std::system((pg_ctl + "start >/dev/null").c_str()), 0);
        // An owner whose name needs quoting, wherever set-up names a role.
        ASSERT_EQ(central("CREATE ROLE recorder LOGIN; CREATE ROLE \"Inventory Owner\" LOGIN", "host=" + dir + " user=postgres"), "");
        owner = database("inventory");
        char name[256] = "";
        gethostname(name, sizeof name - 1);
        host = name;
        int was = -1;
        ASSERT_EQ(set_up_central(owner, was), "");  // as docs/operating.md says
        ASSERT_EQ(was, 0);
        ASSERT_EQ(central("GRANT USAGE ON SCHEMA camscout TO recorder; GRANT SELECT ON camscout_schema TO recorder;"
                          " GRANT EXECUTE ON FUNCTION forward TO recorder"), "");
    }
    void TearDown() override { if (keeper) pclose(keeper); }
};
static auto* const environment = ::testing::AddGlobalTestEnvironment(new server);

TEST(central_server, forwards_every_row_once_to_its_schema_only_and_within_the_budget)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(store_open(dir + "/store.db"), "");
    ASSERT_EQ(sqlite3_open((dir + "/store.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(store_identity_set_up(db, "rec"), "");
    EXPECT_EQ(store_identity(db).size(), 36u);  // its own, random: nothing was forwarded under the recorder's name
    ASSERT_EQ(sqlite_run(db, "INSERT INTO found_pending (found_at, run_pid,"
        " model_id, model, ip_addr, mac_addr, brand_id, port, record, run_started) VALUES ('2026-12-06T10:00:00.000Z', 42,"
        " 597000454196, X'ff00fe27', '10.0.0.9', '02:00:00:00:00:09', 139, 8080, X'00ff80', '2026-12-06T09:59:00.000Z'),"
        " (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL); INSERT INTO found_pending (found_at)"
        " WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n WHERE i < 502) SELECT 'later' FROM n"), "");
    ASSERT_EQ(store_move_pending(db), "");
    auto listening = [](const std::string& folder) {
        sockaddr_un a{AF_UNIX, {}};
        fs::create_directory(folder);
        (folder + "/.s.PGSQL.5432").copy(a.sun_path, sizeof a.sun_path - 1);
        int l = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        return bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a) + listen(l, 1) == 0 ? l : -1;
    };
    // A server that says AuthenticationOk and ReadyForQuery, then reads nothing; one that never answers.
    int l = listening(dir + "/stall"), silent = listening(dir + "/silent"), c = -1;
    ASSERT_TRUE(l != -1 && silent != -1);
    std::thread stall([&] {
        pollfd p{l, POLLIN, 0};
        c = poll(&p, 1, 30000) == 1 ? accept(l, nullptr, nullptr) : -1;
        EXPECT_EQ(write(c, "R\0\0\0\10\0\0\0\0Z\0\0\0\5I", 15), 15);
    });
    const std::string at = "host=" + dir, rec = at + " dbname=inventory user=recorder", to = " to user=recorder dbname=inventory",
                      fail = "cannot forward" + to + " " + at, wait = "; 1 found media sources wait for a later run; 503;1",
                      unknown = std::string(70, 'u') + ".invalid", hosts = " host=" + unknown + "," + dir + "/none";
    auto sent = [&](int n, const std::string& rest) { return std::to_string(n) + " found media sources forwarded" + to + rest; };
    const std::tuple<const char*, const char*, std::string, std::string> steps[] = {
        // as the owner; in the local store; forwarded to: the line; the rows central; the rows waiting
        {"", "", rec, sent(502, " " + at + "; 502;0")},
        // Sent again from a mark lost; and a row longer than a recorder's record, as only a damaged store holds:
        // passed over, never sent again.
        {"", "UPDATE forwarding SET up_to = 499; INSERT INTO found_pending (found_at, record) VALUES ('long', zeroblob(300)),"
         " ('fine', NULL)", rec, sent(4, " " + at + ", 3 of them there already; 503;0")},
        {"UPDATE camscout_schema SET version = 4", "INSERT INTO found_pending (found_at) VALUES ('new')", rec,
         fail + ": the central schema is version 4, this recorder writes version 3 (a release of this program that"
         " writes it forwards there)" + wait},
        {"", "", at + " dbname=postgres user=recorder", "cannot forward to user=recorder dbname=postgres " + at + ": the central"
         " schema is missing, this recorder writes version 3 (its owner sets it up with onvif_camscout_list --central --setup)" + wait},
        // Past a name that does not resolve (no query leaves the machine), each host's failure.
        {"UPDATE camscout_schema SET version = 3", "", rec + hosts, "cannot forward" + to + hosts + ": could not translate"
         " host name \"" + unknown + "\" to address: Name or service not known; connection to server on socket \"" + dir +
         "/none/.s.PGSQL.5432\" failed: No such file or directory" + wait},
        {"", "", rec + " host=" + dir + "/stall", fail + "/stall: no answer within 5 s" + wait},
        // And past a silent host, within the budget.
        {"", "", rec + hosts + "," + dir + "/silent," + dir, sent(1, hosts + "," + dir + "/silent," + dir + "; 504;0")},
        // The store made anew under the same recorder name: the same ids and times are other rows.
        {"", "UPDATE store_identity SET id = 'new'; UPDATE forwarding SET up_to = 0", rec, sent(504, " " + at + "; 1008;0")},
    };
    for (auto& [owner_sql, local_sql, conninfo, line] : steps) {
        EXPECT_EQ(central(owner_sql), "");
        EXPECT_EQ(sqlite_run(db, local_sql), "");
        EXPECT_EQ(store_move_pending(db), "");
        auto started = std::chrono::steady_clock::now();
        store_forward(conninfo);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(central_forward_budget_seconds + 2));
        std::stringstream log;  // its last forwarding line, without the time it took
        log << std::ifstream(settings().log_path).rdbuf();
        std::string last = log.str().substr(log.str().rfind("[msas] ") + 7);
        EXPECT_EQ(std::regex_replace(last.substr(0, last.find('\n')), std::regex(" in [0-9.]+ s"), "") + "; " +
                      central("SELECT count(*) FROM found_media_sources") +
                      std::to_string(sqlite_integer(db, "SELECT count(*) FROM found_media_sources WHERE forwarded = 0", -1)),
                  line);
    }
    stall.join();
    close(c), close(l), close(silent);
    // Every column, bytes and NULLs as they were, as the list tool shows them.
    EXPECT_EQ(central("SELECT COLUMNS, run_pid, encode(record, 'hex'), run_started FROM found_media_sources"
                      " WHERE local_id < 3 AND store_id = 'new' ORDER BY local_id"),
              host + " rec|10.0.0.9|02:00:00:00:00:09|ff00fe27|2026-12-06T10:00:00.000Z|8080|139|597000454196|1|42|"
                     "00ff80|2026-12-06T09:59:00.000Z;" + host + " rec||||||||2|||;");
    sqlite3_close(db);
}

// A store's 20 rows, 4 cameras in each of 5 runs, the fourth camera at another address in the last; as the
// local store and the versions before held them. $ is the row's id.
static std::string found_at(const char* id) { return std::string("'2026-12-06T10:0' || ((") + id + " - 1) / 4) || ':0' || (" + id + " % 4) || '.250Z'"; }
static std::string run_started(const char* id) { return std::string("'2026-12-06T10:0' || ((") + id + " - 1) / 4) || ':00.000Z'"; }
static std::string ip_addr(const char* id) { return std::string("CASE WHEN ") + id + " = 20 THEN '10.0.0.9' ELSE '10.0.0.' || (" + id + " % 4) END"; }

TEST(central_server, upgrades_from_each_version_before_keep_each_row_once_and_expire_by_run)
{
    for (int version : {1, 2}) {
        const std::string db_name = "earlier" + std::to_string(version), rec = "host=" + dir + " dbname=" + db_name +
                          " user=recorder", at = version == 1 ? "public." : "camscout.", earlier = database(db_name);
        int was = 0;
        // As the version made them (the first in public, by the recorders), with 16 of the rows, this recorder's; and a
        // trigger that a recorder role left, which set-up would run as the owner: it refuses and names it.
        const std::string t = at + "found_media_sources";
        ASSERT_EQ(central(std::string(version == 1 ? "" : "CREATE SCHEMA camscout; ") + "CREATE TABLE " + at + "camscout_schema AS"
            " SELECT " + std::to_string(version) + " AS version; CREATE TABLE " + t + " (" + (version == 1 ? "" : "store_id text, ") +
            "local_id bigint NOT NULL, found_at text, recorder text NOT NULL, recorder_name text NOT NULL, run_pid bigint, model_id"
            " bigint, model bytea, ip_addr text, mac_addr text, brand_id integer, port integer, record bytea, run_started text);"
            " CREATE VIEW " + at + "media_sources AS SELECT * FROM " + t + "; CREATE VIEW " + at + "media_sources_by_mac AS SELECT *"
            " FROM " + t + "; GRANT INSERT ON " + t + " TO recorder; INSERT INTO " + t + " SELECT " + (version == 1 ? "" : "'old', ") +
            "i, " + found_at("i") + ", '" + settings().recorder + "', '" + host + "', 7, 5, '\\x41', " + ip_addr("i") +
            ", '02:00:00:00:00:0' || (i % 4), 3, 80, NULL, " + run_started("i") + " FROM generate_series(1, 16) i;"
            " CREATE FUNCTION public.grab() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RETURN NEW; END';"
            " CREATE TRIGGER grab BEFORE UPDATE ON " + t + " EXECUTE FUNCTION public.grab()", earlier), "");
        EXPECT_NE(set_up_central(earlier, was).find("trigger grab on table camscout.found_media_sources_moving, which"
                                                    " set-up did not make"), std::string::npos);
        ASSERT_EQ(central("DROP TRIGGER grab ON " + t, earlier), "");
        // Rows 1 to 12 marked forwarded; 13 to 16 forwarded but not marked, as after a lost answer. A store that
        // forwarded to the first version has no identity: it takes the recorder's name, as its rows there have.
        sqlite3* db = nullptr;
        ASSERT_EQ(store_open(dir + "/" + db_name + ".db"), "");
        ASSERT_EQ(sqlite3_open((dir + "/" + db_name + ".db").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite_run(db, std::string(version == 1 ? "" : "CREATE TABLE store_identity (id TEXT NOT NULL);"
            " INSERT INTO store_identity VALUES ('old');") + " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
            " WHERE i < 20) INSERT INTO found_pending (id, found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port,"
            " run_started) SELECT i, " + found_at("i") + ", 7, 5, 'A', " + ip_addr("i") + ", '02:00:00:00:00:0' || (i % 4), 3, 80, " +
            run_started("i") + " FROM n"), "");
        ASSERT_EQ(store_move_pending(db), "");
        ASSERT_EQ(sqlite_run(db, "UPDATE forwarding SET up_to = 12"), "");
        ASSERT_EQ(store_identity_set_up(db, "rec"), "");
        ASSERT_EQ(set_up_central(earlier, was), "");
        EXPECT_EQ(was, version);
        // The roles that could insert forward now: every row once, its time's text as it was, none left aside.
        store_forward(rec);
        EXPECT_EQ(central("SELECT count(DISTINCT local_id), bool_and(found_at = " + found_at("local_id") + "),"
                          " to_regclass('camscout.found_media_sources_moving') IS NULL FROM found_media_sources", earlier),
                  "20|t|t;");
        // The newest run against the one before: one camera moved.
        EXPECT_EQ(changes(earlier, ""), "moved 02:00:00:00:00:00 10.0.0.0|10.0.0.9;");
        // Expiry by run: the sightings of runs older than the days kept go, and the facts that no kept run saw last.
        // What is left: sightings, facts, runs, recorders, the first run a fact saw, and the newest of each camera.
        const std::string left = "SELECT count(*), (SELECT count(*) FROM facts), (SELECT count(*) FROM runs), (SELECT count(*)"
            " FROM recorders), (SELECT min(first_started) FROM facts), (SELECT string_agg(local_id || ' ' || ip_addr, ','"
            " ORDER BY local_id) FROM media_sources) FROM found_media_sources",
            newest = "|2026-12-06T10:00:00.000Z|17 10.0.0.1,18 10.0.0.2,19 10.0.0.3,20 10.0.0.9;";
        const std::tuple<const char*, const char*, std::string> expiries[] = {
            {"run_started < '2026-12-06T10:02'", "2;", "12|5|3|1" + newest},
            {"run_started < '2026-12-06T10:04'", "2;", "4|4|1|1" + newest}, {"true", "1;", "0|0|0|0||;"}};
        for (auto& [runs, trimmed, after] : expiries) {
            long long n = -1;  // as the owner's tool does it, in steps
            bool done = false;
            ASSERT_EQ(central("UPDATE runs SET at = now() - interval '31 days' WHERE " + std::string(runs), earlier), "");
            ASSERT_EQ(expire_central(earlier, 30, n, done), "");
            EXPECT_EQ(std::to_string(n) + (done ? ";" : " left;") + central(left, earlier), trimmed + after);
            // Sent again (a store restored from a copy): nothing expired comes back while the store has a run
            // kept; once it has none, it has gone too, and what it sends is new.
            ASSERT_EQ(sqlite_run(db, "UPDATE forwarding SET up_to = 0"), "");
            store_forward(rec);
            EXPECT_EQ(central(left, earlier), *runs == 't' ? "20|5|5|1" + newest : after);
        }
        sqlite3_close(db);
    }
}

// A recorder role's call of forward, batch given as a literal; a row of it.
static std::string call(const std::string& store, const std::string& batch)
{
    return "SELECT camscout.forward('" + store + "', 'r-" + store + "', 'h', ARRAY[" + batch + "]::camscout.found[])";
}
static std::string row(int id, const std::string& started, const char* mac, const std::string& record = "NULL")
{
    return "(" + std::to_string(id) + ", '" + started + "', 1, 5, NULL, '10.0." + std::to_string(mac[0]) + "." + mac[1] +
           "', '" + mac + "', 3, 80, " + record + ", '" + started + "')";
}

TEST(central_server, a_recorder_role_cannot_grow_stall_or_turn_the_inventory)
{
    // An inventory of its own, of these recorders only.
    const std::string owner = database("turn"), rec = "host=" + dir + " dbname=turn user=recorder", run = "2026-12-07T00:00:00.000Z";
    int was = 0;
    ASSERT_EQ(set_up_central(owner, was), "");
    ASSERT_EQ(central("GRANT USAGE ON SCHEMA camscout TO recorder; GRANT EXECUTE ON FUNCTION forward TO recorder", owner), "");
    // A call of a megabyte: refused (in a statement, which keeps nothing).
    EXPECT_NE(central(call("big", row(1, run, "m1", "'\\x" + std::string(2000000, 'a') + "'")), rec)
                  .find("a call adds at most 1000 rows in 1000000 bytes"), std::string::npos);
    std::string why;
    central_deadline by{10};
    auto exec = [&](PGconn* pg, const std::string& sql) { PQclear(central_exec(pg, {sql, {}, {}, {}}, by, why)); };
    PGconn *holder = central_connect(rec, "test", by, why), *namer = central_connect(rec, "test", by, why);
    // Recorder a's forward held open, in a transaction that took the lock set-up once took and named the views and
    // the table that set-up and expiry lock: set-up goes on; expiry passes a over and comes back; b forwards meanwhile.
    ASSERT_EQ(central(call("a", row(1, run, "a1")), rec), "1;");
    ASSERT_EQ(central(call("b", row(1, run, "b1")), rec), "1;");
    ASSERT_EQ(central("UPDATE runs SET at = now() - interval '31 days' - (source % 2) * interval '1 day' WHERE"
                      " run_started = '" + run + "'", owner), "");  // a's the oldest
    exec(holder, "BEGIN; SELECT pg_advisory_lock(4762013); " + call("a", row(2, "2026-12-07T00:10:00.000Z", "a1")) +
                 "; PREPARE p AS SELECT FROM camscout.media_sources, camscout.media_sources_by_mac, camscout.found_media_sources");
    exec(namer, "BEGIN; PREPARE p AS SELECT FROM camscout_owner.owner_lock");
    EXPECT_EQ(why, "ERROR:  permission denied for schema camscout_owner");
    EXPECT_EQ(set_up_central(owner, was), "");  // again, as after an upgrade
    EXPECT_EQ(was, 3);
    EXPECT_EQ(central("SELECT camscout.expire(30, 1)", owner), "1;");
    EXPECT_EQ(central("SELECT camscout.expire(30, 1)", owner), "-1;");
    EXPECT_EQ(central(call("b", row(2, "2026-12-07T00:10:00.000Z", "b1")), rec), "1;");
    why.clear();
    exec(holder, "COMMIT");
    PQfinish(namer);
    EXPECT_EQ(why + central("SELECT camscout.expire(30, 200)", owner), "1;");
    // A store that expiry removes while its forward waits for it: made again, and the forward kept.
    PGconn* expiry = central_connect(owner, "test", by, why);
    exec(expiry, "BEGIN; SELECT FROM camscout.recorders WHERE store_id = 'b' FOR UPDATE");
    std::thread waiting([&] { EXPECT_EQ(central(call("b", row(3, "2026-12-07T00:20:00.000Z", "b1")), rec), "1;"); });
    for (int i = 0; i < 500 && central("SELECT count(*) FROM pg_locks WHERE NOT granted", owner) != "1;"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // until the forward waits, or 5 s
    EXPECT_EQ(central("SELECT count(*) FROM pg_locks WHERE NOT granted", owner), "1;");
    exec(expiry, "DELETE FROM camscout.recorders WHERE store_id = 'b'; COMMIT");
    waiting.join();
    PQfinish(expiry);
    // A run stamped ahead: the changes follow the order runs came in, not their stamps.
    const std::string c1 = row(1, "2026-12-07T00:00:00.000Z", "c1"), c2 = row(2, "2027-06-01T00:00:00.000Z", "c1"),
                      c3 = row(3, "2026-12-07T00:20:00.000Z", "c1") + "," + row(4, "2026-12-07T00:20:00.000Z", "c2");
    for (const std::string& batch : {c1, c2, c3})  // in this order
        ASSERT_EQ(central(call("c", batch), rec), batch == c3 ? "2;" : "1;");
    EXPECT_EQ(changes(owner, "h r-c"), "new c2 | (0/5);");
    // Statements cut off by the deadline after a first result (a notice, as set-up's, sends it on) say why.
    by = {1};
    exec(holder, "SELECT 1; DO $$BEGIN RAISE NOTICE 'on'; PERFORM pg_sleep(3); END$$");
    EXPECT_EQ(why, "no answer within 1 s");
    PQfinish(holder);
    // What the server says and the connection string, shown escaped: a value with ESC and U+202E, quoted back.
    std::string out;
    FILE* tool = popen(("CAMSCOUT_CENTRAL=\"host=" + dir + " dbname=inventory user=recorder options='-c lock_timeout=\x1b[2J\xe2\x80\xae'\" "
                        LIST_TOOL " --central 2>&1").c_str(), "r");
    for (char buffer[512]; tool && fgets(buffer, sizeof buffer, tool);)
        out += buffer;
    EXPECT_EQ(tool ? pclose(tool) : -1, 256);
    EXPECT_NE(out.find("invalid value for parameter \"lock_timeout\": \"\\x1b[2J\\u202E\""), std::string::npos) << out;
    EXPECT_EQ(out.find_first_of("\x1b\xe2"), std::string::npos) << out;
    // --expire as a superuser runs as the schema's owner: what the owner may not call, it does not.
    ASSERT_EQ(central("REVOKE EXECUTE ON FUNCTION expire FROM \"Inventory Owner\"", owner), "");
    long long n = 0;
    bool done = false;
    EXPECT_EQ(expire_central("host=" + dir + " dbname=turn user=postgres", 30, n, done),
              "ERROR:  permission denied for function expire");
}
