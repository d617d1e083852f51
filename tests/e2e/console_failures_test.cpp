// Failures during a run: a table, single records, the file system, and a killed
// process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

uint32_t le32(const std::string& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
           static_cast<unsigned char>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint32_t be32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
           static_cast<unsigned char>(b[at + 1]) << 16 |
           static_cast<unsigned char>(b[at + 2]) << 8 | static_cast<unsigned char>(b[at + 3]);
}
uint16_t le16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

}  // namespace

struct console_failures : ::testing::Test {
    void SetUp() override { REQUIRE_TEST_SERVER(); }
};

TEST_F(console_failures, a_table_the_user_may_not_read_whole_is_reported_and_the_run_goes_on) {
    scratch_db db("e2e_grant");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1);"
        "CREATE TABLE t2 (a INT, secret VARCHAR(10)); INSERT INTO t2 VALUES (1, 's');"
        "CREATE TABLE t3 (a INT); INSERT INTO t3 VALUES (1),(2)");
    const std::string user = "e2e_col_" + std::to_string(getpid());
    db.exec("DROP USER IF EXISTS '" + user +
            "'@'127.0.0.1';"
            "CREATE USER '" +
            user +
            "'@'127.0.0.1' IDENTIFIED BY 'pw';"
            "GRANT SELECT ON `" +
            db.name() + "`.t1 TO '" + user +
            "'@'127.0.0.1';"
            "GRANT SELECT ON `" +
            db.name() + "`.t3 TO '" + user +
            "'@'127.0.0.1';"
            "GRANT SELECT (a) ON `" +
            db.name() + "`.t2 TO '" + user + "'@'127.0.0.1'");
    tmp_dir d;
    const test_server& s = test_server::get();
    run_result r =
        run_talvorin({"--mysqlh=" + s.host, "--port=" + std::to_string(s.port), "--mysqlu=" + user,
                      "--mysqlp=pw", "--src=" + db.name(), "--dest=" + d.file("out")});
    db.exec("DROP USER '" + user + "'@'127.0.0.1'");
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const std::string head =
        "Converting database " + db.name() + "(3 tables)\nConverting table t1(1 records)\n";
    ASSERT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    const std::string rest = r.out.substr(head.size());
    // "Error:", then "t2: " and the server's text on one line, then the next table.
    EXPECT_EQ(rest.rfind("Error:\nt2: ", 0), 0u) << rest;
    EXPECT_NE(rest.find("denied"), std::string::npos) << rest;
    EXPECT_NE(rest.find("\nConverting table t3(2 records)\n"), std::string::npos) << rest;
    EXPECT_EQ(dbf_header_records(d.file("out/t3.dbf")), 2);
}

TEST_F(console_failures, records_that_fail_are_reported_by_number_and_the_copy_goes_on) {
    scratch_db db("e2e_records");
    db.exec(
        "CREATE TABLE t (id INT PRIMARY KEY, note TEXT);"
        "INSERT INTO t VALUES (1, 'one'), (2, ''), (3, NULL), (4, 'four')");
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    fs::remove(out + "/t.fpt");
    run_result r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out, "--mode=3"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    // Opening the table reports the missing file once, under the table's path; then
    // each record with a memo to write fails, numbered from 1.
    EXPECT_EQ(r.out, "Converting database " + db.name() + "(1 tables)\nError:\n" + out +
                         "/t.dbf: Memo file not found\nConverting table t(4 records)\nError:\nt, "
                         "record #1: Memo file not found\nError:\nt, record #4: Memo file not "
                         "found\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(console_failures, a_table_that_cannot_be_replaced_stops_the_run_with_an_error) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    scratch_db db("e2e_readonly");
    db.exec(
        "CREATE TABLE a (v INT); INSERT INTO a VALUES (1);"
        "CREATE TABLE b (v INT); INSERT INTO b VALUES (1),(2)");
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    fs::remove(out + "/a.dbf");
    chmod(out.c_str(), 0555);
    run_result r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out, "--mode=1"}));
    chmod(out.c_str(), 0755);
    EXPECT_EQ(r.code, 255) << r.out << r.err;
    EXPECT_NE(r.out.find("Error:\n"), std::string::npos) << r.out;
    // What was written before stays valid.
    EXPECT_EQ(dbf_header_records(out + "/b.dbf"), 2);
}

TEST_F(console_failures, a_killed_run_leaves_whole_records_and_a_consistent_memo_file) {
    scratch_db db("e2e_kill");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000");
    tmp_dir d;
    const std::string out = d.file("out");
    const std::string dbf = out + "/big.dbf";
    pid_t pid = start_talvorin(with_server({"--src=" + db.name(), "--dest=" + out}),
                               d.file("stdout"), d.file("stderr"));
    // Wait until rows are being written, then kill it without warning.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < limit &&
           (!fs::exists(dbf) || fs::file_size(dbf) < 200000))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, SIGKILL);
    const int code = wait_talvorin(pid);
    if (code != 128 + SIGKILL) GTEST_SKIP() << "the run ended before it could be killed";

    const std::string b = read_file_bytes(dbf);
    ASSERT_GE(b.size(), 32u);
    const uint32_t count = le32(b, 4), header = le16(b, 8), length = le16(b, 10);
    ASSERT_GT(count, 0u);
    // Every counted record is there whole.
    EXPECT_LE(static_cast<uint64_t>(header) + static_cast<uint64_t>(count) * length, b.size());

    // The memo field's position in the record, from the field descriptors.
    size_t memo_at = 0, offset = 1;
    for (size_t at = 32; at + 32 <= header && b[at] != '\r'; at += 32) {
        if (b[at + 11] == 'M') memo_at = offset;
        offset += static_cast<unsigned char>(b[at + 16]);
    }
    ASSERT_GT(memo_at, 0u);
    const std::string fpt = read_file_bytes(out + "/big.fpt");
    ASSERT_GE(fpt.size(), 512u);
    const uint32_t next_free = be32(fpt, 0), block = be32(fpt, 4) & 0xFFFF;
    ASSERT_GT(block, 0u);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string pointer =
            b.substr(header + static_cast<size_t>(i) * length + memo_at, 10);
        const uint32_t n = static_cast<uint32_t>(std::strtoul(pointer.c_str(), nullptr, 10));
        if (n == 0) continue;
        // Each referenced memo lies before the next free block and inside the file.
        ASSERT_LT(n, next_free) << "record " << i + 1;
        const uint64_t start = static_cast<uint64_t>(n) * block;
        ASSERT_LE(start + 8, fpt.size()) << "record " << i + 1;
        const uint64_t end = start + 8 + be32(fpt, start + 4);
        ASSERT_LE(end, static_cast<uint64_t>(next_free) * block) << "record " << i + 1;
        ASSERT_LE(end, fpt.size()) << "record " << i + 1;
    }
}
