// The run's shared steps against the test server, through the test programs' run body.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "UDB/udb_db.hpp"
#include "shell/morvale_conv.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/shell_bodies.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// The record count in a DBF header, or -1 when there is no such file.
long dbf_records(const std::string& path) {
    if (!fs::exists(path)) return -1;
    const std::string head = read_file_bytes(path).substr(0, 8);
    if (head.size() < 8) return -2;
    return static_cast<unsigned char>(head[4]) | static_cast<unsigned char>(head[5]) << 8 |
           static_cast<unsigned char>(head[6]) << 16 | static_cast<unsigned char>(head[7]) << 24;
}

struct run_fixture : ::testing::Test {
    error_handler handler{error_handler_code_count, error_handler_codes};
    morvale_convertor conv;
    tmp_dir out;

    void SetUp() override {
        REQUIRE_TEST_SERVER();
        const test_server& s = test_server::get();
        conv.store_mysql_settings(s.host, s.user, s.password, std::to_string(s.port));
        conv.connect_mysql_server();
        conv.set_destination(out.wpath());
        reported_errors().clear();
        run_lines().clear();
        run_hook() = nullptr;
    }
    void TearDown() override { run_hook() = nullptr; }

    void use(const scratch_db& db) { conv.set_source(pt_wide(db.name())); }
    static std::wstring pt_wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
};

}  // namespace

TEST_F(run_fixture, each_table_is_converted_once_whatever_lists_name_it) {
    scratch_db db("shell_once");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1),(2);"
        "CREATE TABLE t2 (a INT); INSERT INTO t2 VALUES (1),(2),(3);"
        "CREATE TABLE t3 (a INT)");
    use(db);
    conv.selected_tables() = {{L"t2", L""}};  // as a profile leaves them
    conv.selection() = {L"t1", L"t2", L"t1"};
    conv.set_mode(udb_mode_merge_tables);  // a second pass would append the rows again
    conv();

    EXPECT_EQ(run_lines(),
              (std::vector<std::string>{"database " + db.name() + "(2 tables)",
                                        "table t2(3 records)", "table t1(2 records)"}));
    EXPECT_EQ(dbf_records(out.file("t1.dbf")), 2);
    EXPECT_EQ(dbf_records(out.file("t2.dbf")), 3);
    EXPECT_EQ(dbf_records(out.file("t3.dbf")), -1);
    const udb_progress p = conv.get_progress();
    EXPECT_EQ(p.table_count, 2u);
    EXPECT_EQ(p.tables_done, 2u);
    EXPECT_TRUE(conv.done());
    EXPECT_TRUE(conv.run_completed());
    EXPECT_TRUE(reported_errors().empty());
}

TEST_F(run_fixture, a_stop_request_ends_the_run_between_tables_like_an_abort) {
    scratch_db db("shell_stop");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1),(2);"
        "CREATE TABLE t2 (a INT); INSERT INTO t2 VALUES (1)");
    use(db);
    conv.selection() = {L"t1", L"t2"};
    run_hook() = [&](const char* point, const std::wstring& name) {
        if (std::string(point) == "table" && name == L"t2") conv.request_stop();
    };
    conv();
    conv.clear_stop();

    EXPECT_EQ(run_lines().back(), "stopped");
    EXPECT_EQ(dbf_records(out.file("t1.dbf")), 2);
    EXPECT_FALSE(fs::exists(out.file("t2.dbf")));
    EXPECT_TRUE(conv.done());
    EXPECT_FALSE(conv.run_completed());
    EXPECT_TRUE(reported_errors().empty());
}

TEST_F(run_fixture, a_stop_request_ends_the_copy_between_records) {
    scratch_db db("shell_stop_rows");
    db.exec("CREATE TABLE t1 (a INT); INSERT INTO t1 SELECT seq FROM seq_1_to_300");
    use(db);
    conv.selection() = {L"t1"};
    run_hook() = [&](const char* point, const std::wstring&) {
        if (std::string(point) == "rows") conv.request_stop();
    };
    conv();
    conv.clear_stop();
    EXPECT_EQ(run_lines().back(), "stopped");
    EXPECT_FALSE(conv.run_completed());
    EXPECT_TRUE(conv.done());
    // The table in work was left as it was: not there, and nothing of it either.
    EXPECT_EQ(dbf_records(out.file("t1.dbf")), -1);
    EXPECT_TRUE(out.files().empty());

    // Its count, still on its way at the stop, was dropped with it: the next run counts
    // and converts the table whole.
    run_hook() = nullptr;
    run_lines().clear();
    conv.set_mode(udb_mode_overwrite_tables);
    conv();
    EXPECT_TRUE(conv.run_completed());
    EXPECT_EQ(run_lines().back(), "table t1(300 records)");
    EXPECT_EQ(dbf_records(out.file("t1.dbf")), 300);
    EXPECT_TRUE(reported_errors().empty());
}

// As the wizard does: another thread asks for the stop while rows stream in, read ahead
// of the records being written.
TEST_F(run_fixture, a_stop_from_another_thread_ends_a_table_in_the_middle_of_its_rows) {
    scratch_db db("shell_stop_mid");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, s VARCHAR(200));"
        "INSERT INTO big SELECT seq, REPEAT('x', 200) FROM seq_1_to_20000");
    use(db);
    conv.selection() = {L"big"};
    // An earlier copy, which a stopped run in modes 1 and 3 must leave byte for byte.
    conv();
    ASSERT_TRUE(conv.run_completed());
    const std::string earlier = read_file_bytes(out.file("big.dbf"));
    for (int32_t mode : {udb_mode_overwrite_tables, udb_mode_merge_tables}) {
        SCOPED_TRACE(mode);
        conv.set_mode(mode);
        std::atomic<bool> running{true}, copying{false};
        // The counters of the run before stay until the table begins.
        run_hook() = [&](const char* point, const std::wstring&) {
            if (std::string(point) == "rows") copying = true;
        };
        std::thread watcher([&] {
            while (running && (!copying || conv.get_progress().record_index < 1000))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            conv.request_stop();
        });
        conv();
        running = false;
        watcher.join();
        run_hook() = nullptr;
        conv.clear_stop();
        EXPECT_EQ(run_lines().back(), "stopped");
        EXPECT_FALSE(conv.run_completed());
        EXPECT_EQ(conv.early_end_account(),
                  L"The conversion stopped before its end: 0 of 1 table converted; table 'big' "
                  L"was left as it was.");
        EXPECT_EQ(read_file_bytes(out.file("big.dbf")), earlier);
        EXPECT_EQ(out.files(), std::vector<std::string>{"big.dbf"});
        EXPECT_TRUE(reported_errors().empty());
    }

    // The connection serves the next run, which converts the whole table.
    conv.set_mode(udb_mode_overwrite_tables);
    conv();
    EXPECT_TRUE(conv.run_completed());
    EXPECT_EQ(dbf_records(out.file("big.dbf")), 20000);
}

TEST_F(run_fixture, a_failed_table_is_reported_with_its_name_and_the_run_goes_on) {
    scratch_db db("shell_missing");
    db.exec("CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (7)");
    use(db);
    conv.selection() = {L"nosuch", L"t1"};
    conv();
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_EQ(reported_errors()[0].message, "nosuch: Table nosuch not exists");
    EXPECT_FALSE(reported_errors()[0].outermost);
    EXPECT_EQ(dbf_records(out.file("t1.dbf")), 1);
    EXPECT_TRUE(conv.run_completed());
    // The context does not outlive the run.
    EXPECT_EQ(handler.get_context(), "");
}

TEST_F(run_fixture, an_unknown_source_database_ends_the_run_unfinished) {
    conv.set_source(L"no_such_database_here");
    conv();
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_TRUE(reported_errors()[0].outermost);
    EXPECT_NE(reported_errors()[0].message.find("Unknown database"), std::string::npos);
    EXPECT_FALSE(conv.run_completed());
    EXPECT_TRUE(conv.done());
}

TEST_F(run_fixture, generated_names_never_land_on_a_file_another_table_of_the_run_writes) {
    scratch_db db("shell_names");
    db.exec(
        "CREATE TABLE `a b` (a INT); INSERT INTO `a b` VALUES (1);"
        "CREATE TABLE `a_b` (a INT); INSERT INTO `a_b` VALUES (1),(2);"
        "CREATE TABLE `a.b` (a INT); INSERT INTO `a.b` VALUES (1),(2),(3)");
    use(db);
    // The profile names one table, the selection the others.
    conv.selected_tables() = {{L"a b", L""}};
    conv.selection() = {L"a.b", L"a_b"};
    conv();
    EXPECT_TRUE(reported_errors().empty());
    std::multiset<long> counts;
    for (const auto& e : fs::directory_iterator(out.path()))
        if (e.path().extension() == ".dbf") counts.insert(dbf_records(e.path().string()));
    EXPECT_EQ(counts, (std::multiset<long>{1, 2, 3}));
    EXPECT_EQ(dbf_records(out.file("a_b.dbf")), 2);

    // A later run of one of them writes to the same file: the names do not depend on
    // the folder, nor on which tables a run takes.
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(out.path())) files.insert(e.path().string());
    conv.selected_tables().clear();
    conv.selection() = {L"a b"};
    conv.set_mode(udb_mode_merge_tables);
    conv();
    EXPECT_TRUE(reported_errors().empty());
    std::set<std::string> after;
    for (const auto& e : fs::directory_iterator(out.path())) after.insert(e.path().string());
    EXPECT_EQ(after, files);
    EXPECT_EQ(dbf_records(out.file("a_b.dbf")), 2);
}

TEST_F(run_fixture, a_mode_outside_zero_to_three_is_refused) {
    scratch_db db("shell_mode");
    db.exec("CREATE TABLE t1 (a INT)");
    use(db);
    conv.set_mode(7);
    conv();
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_EQ(reported_errors()[0].message, "Invalid merge/overwrite mode");
    EXPECT_FALSE(conv.run_completed());
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(run_fixture, table_list_and_test_query) {
    scratch_db db("shell_list");
    db.exec("CREATE TABLE b (a INT); CREATE TABLE a (a INT); CREATE VIEW v AS SELECT * FROM a");
    use(db);
    std::vector<std::wstring> names{L"old"};
    conv.get_all_tables(names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(conv.test_query(L"SELECT 1"));
    EXPECT_FALSE(conv.test_query(L"SELECT * FROM nosuch"));
    EXPECT_TRUE(reported_errors().empty());
}

TEST_F(run_fixture, a_port_with_trailing_text_connects_on_its_digits) {
    const test_server& s = test_server::get();
    conv.store_mysql_settings(s.host, s.user, s.password, std::to_string(s.port) + "x");
    EXPECT_NO_THROW(conv.connect_mysql_server());
}
