// Failures during a run: a table, single records, the file system, a killed process
// and a lost connection.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/file_faults.hpp"
#include "tests/support/name_server.hpp"
#include "tests/support/relay_proxy.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// True once `ready` is, while the started program runs; false when it ended (or a
// minute passed) first.
template <class Ready>
bool wait_while_running(pid_t pid, Ready ready) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < limit) {
        if (ready()) return true;
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid != 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Rows of the table are written.
bool wait_for_rows(const std::string& dbf, pid_t pid) {
    return wait_while_running(pid, [&] { return fs::exists(dbf) && fs::file_size(dbf) >= 200000; });
}

// The file holds the text.
bool wait_for_text(const std::string& file, const std::string& text, pid_t pid) {
    return wait_while_running(
        pid, [&] { return read_file_bytes(file).find(text) != std::string::npos; });
}

// Every record the DBF header counts is whole, and every memo a record points to lies
// inside the memo file and before its next free block.
void expect_whole_records(const std::string& folder, const std::string& table) {
    const std::string b = read_file_bytes(folder + "/" + table + ".dbf");
    ASSERT_GE(b.size(), 32u);
    const uint32_t count = le32_at(b, 4), header = le16_at(b, 8), length = le16_at(b, 10);
    EXPECT_LE(static_cast<uint64_t>(header) + static_cast<uint64_t>(count) * length, b.size());

    size_t memo_at = 0, offset = 1;
    for (size_t at = 32; at + 32 <= header && b[at] != '\r'; at += 32) {
        if (b[at + 11] == 'M') memo_at = offset;
        offset += static_cast<unsigned char>(b[at + 16]);
    }
    ASSERT_GT(memo_at, 0u);
    const std::string fpt = read_file_bytes(folder + "/" + table + ".fpt");
    ASSERT_GE(fpt.size(), 512u);
    const uint32_t next_free = be32_at(fpt, 0), block = be32_at(fpt, 4) & 0xFFFF;
    ASSERT_GT(block, 0u);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string pointer =
            b.substr(header + static_cast<size_t>(i) * length + memo_at, 10);
        const uint32_t n = static_cast<uint32_t>(std::strtoul(pointer.c_str(), nullptr, 10));
        if (n == 0) continue;
        ASSERT_LT(n, next_free) << "record " << i + 1;
        const uint64_t start = static_cast<uint64_t>(n) * block;
        ASSERT_LE(start + 8, fpt.size()) << "record " << i + 1;
        const uint64_t end = start + 8 + be32_at(fpt, start + 4);
        ASSERT_LE(end, static_cast<uint64_t>(next_free) * block) << "record " << i + 1;
        ASSERT_LE(end, fpt.size()) << "record " << i + 1;
    }
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

// The rows stream while their count is still being taken: the table's line comes before
// the errors of its first rows all the same, a later row's error keeps its number, and a user
// allowed one connection, for whom the rows are counted first, gets the same lines and the same
// files.
TEST_F(console_failures, the_table_line_precedes_the_errors_of_its_first_rows) {
    scratch_db db("e2e_first_rows");
    db.exec(
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES';"
        "CREATE TABLE t (id INT PRIMARY KEY, d DATE, pad VARCHAR(250));"
        // Rows 1 and 2 are decoded by the reader, row 50000 by a helper, far past the
        // second block: each keeps its own record number.
        "INSERT INTO t SELECT seq, IF(seq IN (1, 2, 50000), '2024-02-31', '2024-01-01'), "
        "REPEAT('p', 250) "
        "FROM seq_1_to_100000");
    const std::string user = "e2e_one_" + std::to_string(getpid());
    db.exec("DROP USER IF EXISTS '" + user + "'@'127.0.0.1';CREATE USER '" + user +
            "'@'127.0.0.1' IDENTIFIED BY 'pw' WITH MAX_USER_CONNECTIONS 1;GRANT SELECT ON `" +
            db.name() + "`.* TO '" + user + "'@'127.0.0.1'");
    const test_server& s = test_server::get();
    const std::string lost =
        "Error:\nt, record #%d: The value '2024-02-31' of column 'd' cannot be stored (not a "
        "calendar date); it is left empty.\n";
    auto error_line = [&](int record) {
        std::string line = lost;
        line.replace(line.find("%d"), 2, std::to_string(record));
        return line;
    };
    const std::string expected = "Converting database " + db.name() +
                                 "(1 tables)\nConverting table t(100000 records)\n" +
                                 error_line(1) + error_line(2) + error_line(50000);
    // The count's answer held back for a second: the first rows are out long before.
    relay_proxy proxy(s.port, SIZE_MAX, std::chrono::milliseconds(1000));
    struct {
        const char* who;
        std::vector<std::string> login;
    } runs[] = {
        {"the count on its way",
         {"--mysqlh=127.0.0.1", "--port=" + std::to_string(proxy.port()), "--mysqlu=" + s.user,
          "--mysqlp=" + s.password}},
        {"a user allowed one connection",
         {"--mysqlh=" + s.host, "--port=" + std::to_string(s.port), "--mysqlu=" + user,
          "--mysqlp=pw"}},
    };
    tmp_dir d;
    std::vector<std::string> files;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.who);
        const std::string out = d.file(run.who);
        std::vector<std::string> args = run.login;
        args.insert(args.end(), {"--src=" + db.name(), "--dest=" + out});
        run_result r = run_talvorin(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
        files.push_back(read_file_bytes(out + "/t.dbf"));
    }
    db.exec("DROP USER '" + user + "'@'127.0.0.1'");
    EXPECT_EQ(dbf_header_records(d.file(std::string(runs[0].who) + "/t.dbf")), 100000);
    EXPECT_TRUE(files[0] == files[1]);
}

// The record count serves the progress display alone: refused, cut or silent, it never
// costs a row nor holds the run, and the table's line comes all the same, with the
// rows read, once they are all in.
TEST_F(console_failures, a_count_that_fails_or_never_comes_costs_no_row) {
    scratch_db db("e2e_count_lost");
    db.exec(
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES';"
        // Longer than a block, so that each is counted aside while its rows stream; the
        // first row of t1 has an error to report, which waits for the count first.
        "CREATE TABLE t1 (id INT PRIMARY KEY, d DATE, pad VARCHAR(100));"
        "INSERT INTO t1 SELECT seq, IF(seq = 1, '2024-02-31', '2024-01-01'), REPEAT('p', 100) "
        "FROM seq_1_to_3000;"
        "CREATE TABLE t2 (id INT PRIMARY KEY, pad VARCHAR(100));"
        "INSERT INTO t2 SELECT seq, REPEAT('q', 100) FROM seq_1_to_3000");
    using fault = relay_proxy::count_fault;
    using ms = std::chrono::milliseconds;
    struct {
        const char* what;
        fault how;
        ms after;  // of the cut
        ms hold;   // of the count's answer
    } cases[] = {
        {"refused", fault::refuse, ms(0), ms(0)},
        {"cut at once", fault::cut, ms(0), ms(0)},
        {"cut a moment later", fault::cut, ms(300), ms(60000)},
        {"never answered", fault::none, ms(0), ms(120000)},
    };
    const test_server& s = test_server::get();
    const std::string expected =
        "Converting database " + db.name() +
        "(2 tables)\nError:\nt1, record #1: The value '2024-02-31' of column 'd' cannot be "
        "stored (not a calendar date); it is left empty.\nConverting table t1(3000 "
        "records)\nConverting table t2(3000 records)\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        relay_proxy relay(s.port, SIZE_MAX, c.hold);
        relay.break_counts(c.how, c.after);
        tmp_dir d;
        const std::string out = d.file("out");
        const auto started = std::chrono::steady_clock::now();
        run_result r = run_talvorin({"--mysqlh=127.0.0.1", "--port=" + std::to_string(relay.port()),
                                     "--mysqlu=" + s.user, "--mysqlp=" + s.password,
                                     "--src=" + db.name(), "--dest=" + out});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(50));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
        for (const char* table : {"t1", "t2"}) {
            dbf_read t = read_dbf(out + "/" + table + ".dbf");
            ASSERT_EQ(t.error, "") << table;
            EXPECT_EQ(t.records, 3000) << table;
            ASSERT_EQ(t.rows.size(), 3000u) << table;
            for (size_t i = 0; i < t.rows.size(); ++i)
                ASSERT_EQ(t.rows[i].rfind(std::to_string(i + 1) + "|", 0), 0u) << table;
        }
    }
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

TEST_F(console_failures, a_killed_run_leaves_whole_records_and_the_next_run_clears_its_litter) {
    scratch_db db("e2e_kill");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000;"
        "CREATE TABLE late (id INT PRIMARY KEY, note TEXT);"
        "INSERT INTO late VALUES (1, 'first'), (2, REPEAT('x', 100))");
    tmp_dir d;
    const std::string out = d.file("out");
    pid_t pid = start_talvorin(with_server({"--src=" + db.name(), "--dest=" + out}),
                               d.file("stdout"), d.file("stderr"));
    // The table's line comes with its count, which may arrive after the first rows.
    if (!wait_for_rows(out + "/big.dbf", pid) ||
        !wait_for_text(d.file("stdout"), "big(200000 records)\n", pid))
        GTEST_SKIP() << "the run ended too soon";
    kill(pid, SIGKILL);
    const int code = wait_talvorin(pid);
    if (code != 128 + SIGKILL) GTEST_SKIP() << "the run ended before it could be killed";
    expect_whole_records(out, "big");
    // Nothing printed was held back in a buffer, and nothing else was printed.
    EXPECT_EQ(
        read_file_bytes(d.file("stdout")),
        "Converting database " + db.name() + "(2 tables)\nConverting table big(200000 records)\n");
    const long kept = dbf_header_records(out + "/big.dbf");

    // What the run would have left had it been killed while it made the next table: its
    // temporary files, or the memo file without the table. Files of a process that still
    // runs, and files of other names, are not the run's litter.
    const std::string dead = std::to_string(pid);
    const std::string litter[] = {out + "/late.dbf." + dead + ".0.tmp",
                                  out + "/late.fpt." + dead + ".1.tmp"};
    write_file_bytes(litter[0], "\x03\x18\x01");
    write_file_bytes(litter[1], std::string(100, '\0'));
    write_file_bytes(out + "/late.fpt", "");
    const std::string others[] = {out + "/other.dbf." + std::to_string(getpid()) + ".0.tmp",
                                  out + "/notes.txt." + dead + ".0.tmp", out + "/big.dbf.tmp",
                                  out + "/big.dbf.x.0.tmp"};
    for (const auto& file : others) write_file_bytes(file, "x");

    // Appending goes on from the records the killed run left; skipping keeps them.
    const struct {
        const char* mode;
        long big, late;
    } runs[] = {{"3", kept + 200000, 2}, {"2", kept + 200000, 2}, {"3", kept + 400000, 4}};
    for (const auto& run : runs) {
        SCOPED_TRACE(std::string("mode ") + run.mode);
        run_result r = run_talvorin(with_server(
            {"--src=" + db.name(), "--dest=" + out, std::string("--mode=") + run.mode}));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
        for (const auto& file : litter) EXPECT_FALSE(fs::exists(file)) << file;
        for (const auto& file : others) EXPECT_TRUE(fs::exists(file)) << file;
        EXPECT_EQ(dbf_header_records(out + "/big.dbf"), run.big);
        expect_whole_records(out, "big");
        dbf_read late = read_dbf(out + "/late.dbf");
        ASSERT_EQ(late.error, "");
        ASSERT_EQ(late.rows.size(), static_cast<size_t>(run.late));
        EXPECT_EQ(late.rows.back(), "2|" + std::string(100, 'x'));
    }
}

// Two runs into one folder: the second, started while the first is held stopped in the
// middle of its first table, stops with 255 before it touches anything, and the first
// then ends as if it had been alone. A run killed with -9 holds nothing afterwards and
// leaves nothing in the folder but tables.
TEST_F(console_failures, a_second_run_into_the_same_folder_stops_before_it_touches_anything) {
    scratch_db db("e2e_twice");
    db.exec(
        "CREATE TABLE a (id INT PRIMARY KEY, note TEXT);"
        "INSERT INTO a SELECT seq, REPEAT('memo ', 1 + seq % 20) FROM seq_1_to_200000;"
        "CREATE TABLE b (id INT); INSERT INTO b SELECT seq FROM seq_1_to_5000;"
        "CREATE TABLE c (id INT); INSERT INTO c VALUES (1),(2),(3)");
    tmp_dir d;
    const std::string out = d.file("out");
    auto args = [&](const std::string& mode) {
        return with_server({"--src=" + db.name(), "--dest=" + out, "--mode=" + mode});
    };
    // What the folder holds: every entry with its size.
    auto snapshot = [&] {
        std::map<std::string, uintmax_t> entries;
        for (const auto& e : fs::directory_iterator(out))
            entries[e.path().filename().string()] = e.is_regular_file() ? e.file_size() : 0;
        return entries;
    };
    const std::string busy = "Error:\nAnother run is converting into the folder " + out +
                             "; nothing was changed. Try again once it has ended.\n";
    const struct {
        const char* mode;
        long a, b, c;  // the records after the first run
    } runs[] = {{"0", 200000, 5000, 3}, {"3", 400000, 10000, 6}, {"1", 200000, 5000, 3}};
    for (const auto& run : runs) {
        SCOPED_TRACE(std::string("mode ") + run.mode);
        const long before = dbf_header_records(out + "/a.dbf");
        pid_t first = start_talvorin(args(run.mode), d.file("stdout"), d.file("stderr"));
        ASSERT_TRUE(wait_while_running(first, [&] {
            const long now = dbf_header_records(out + "/a.dbf");
            return now > 1000 && now != before;
        })) << "the first run ended too soon";
        kill(first, SIGSTOP);
        const auto held = snapshot();
        // Both programs' modes alike: this one would delete every table, that one append.
        for (const char* mode : {"0", "3"}) {
            run_result second = run_talvorin(args(mode));
            EXPECT_EQ(second.code, 255) << second.out << second.err;
            EXPECT_EQ(second.out, busy);
        }
        EXPECT_EQ(snapshot(), held);
        kill(first, SIGCONT);
        EXPECT_EQ(wait_talvorin(first), 0)
            << read_file_bytes(d.file("stdout")) << read_file_bytes(d.file("stderr"));
        EXPECT_EQ(dbf_header_records(out + "/a.dbf"), run.a);
        EXPECT_EQ(dbf_header_records(out + "/b.dbf"), run.b);
        EXPECT_EQ(dbf_header_records(out + "/c.dbf"), run.c);
        expect_whole_records(out, "a");
    }

    pid_t killed = start_talvorin(args("3"), d.file("stdout"), d.file("stderr"));
    ASSERT_TRUE(
        wait_while_running(killed, [&] { return dbf_header_records(out + "/a.dbf") > 201000; }));
    kill(killed, SIGKILL);
    wait_talvorin(killed);
    run_result next = run_talvorin(args("0"));
    EXPECT_EQ(next.code, 0) << next.out << next.err;
    std::set<std::string> names;
    for (const auto& [name, size] : snapshot()) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"a.dbf", "a.fpt", "b.dbf", "c.dbf"}));
    EXPECT_EQ(dbf_header_records(out + "/a.dbf"), 200000);
}

// A run waits for a server that stops answering, as the MySQL client tools do; SIGTERM
// or SIGINT ends it promptly, as an early stop, with whole records, and says how far it
// got, on standard error and in the log.
TEST_F(console_failures, a_signal_ends_a_run_with_whole_records_even_from_a_silent_server) {
    scratch_db db("e2e_signal");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000");
    struct {
        const char* what;
        bool silent;
        int signal;
    } cases[] = {
        {"SIGTERM, the server silent", true, SIGTERM},
        {"SIGINT, the server answering", false, SIGINT},
    };
    const test_server& s = test_server::get();
    const std::string account =
        "The conversion stopped before its end: 0 of 1 table converted; table 'big' holds the "
        "records written until then.";
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        relay_proxy relay(s.port);
        tmp_dir d;
        const std::string out = d.file("out");
        pid_t pid =
            start_talvorin({"--mysqlh=127.0.0.1", "--port=" + std::to_string(relay.port()),
                            "--mysqlu=" + s.user, "--mysqlp=" + s.password, "--src=" + db.name(),
                            "--dest=" + out, "--logfile=" + d.file("log")},
                           d.file("stdout"), d.file("stderr"));
        ASSERT_TRUE(wait_for_rows(out + "/big.dbf", pid)) << "the run ended too soon";
        if (t.silent) {
            relay.freeze(std::chrono::seconds(15));
            // What got through is taken; then the run waits.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        kill(pid, t.signal);
        const auto signalled = std::chrono::steady_clock::now();
        // Not for ever: a program that hangs is killed, and fails below.
        const int code = wait_at_most(pid, std::chrono::seconds(20));
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5));
        EXPECT_EQ(code, 255);
        // The read that the stop broke is no lost connection to report (the table's line
        // comes or not, as its count was in time).
        const std::string printed = read_file_bytes(d.file("stdout"));
        EXPECT_EQ(printed.rfind("Converting database " + db.name() + "(1 tables)\n", 0), 0u);
        EXPECT_EQ(printed.find("Error"), std::string::npos) << printed;
        EXPECT_EQ(read_file_bytes(d.file("stderr")), account + "\n");
        // The log ends the same way, not as a run that went through.
        const std::string log = read_file_bytes(d.file("log"));
        EXPECT_NE(log.find("\r\nConversion stopped on "), std::string::npos) << log;
        EXPECT_TRUE(log.ends_with(account + "\r\n")) << log;
        EXPECT_EQ(log.find("Conversion ended"), std::string::npos) << log;
        expect_whole_records_of_part(out + "/big.dbf", 200000);
        expect_whole_records(out, "big");
    }
}

// From the first statement to the last, a signal ends the program within moments, also
// while the server is silent. Stopped before the run, it leaves the destination as it
// was; stopped after every table was written, it still ends as a run that went through.
TEST_F(console_failures, a_signal_ends_the_program_at_every_wait_on_a_silent_server) {
    scratch_db db("e2e_signal_waits");
    db.exec(
        "CREATE TABLE a (v INT); INSERT INTO a VALUES (1),(2);"
        "CREATE TABLE b (v TEXT); INSERT INTO b VALUES ('x')");
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    auto folder = [&] {
        return read_file_bytes(out + "/a.dbf") + read_file_bytes(out + "/b.dbf") +
               read_file_bytes(out + "/b.fpt");
    };
    const std::string before = folder();
    const std::string stopped = "The conversion stopped before its end: ";
    struct {
        const char* what;
        std::string freeze_at;  // what the program sends as the server falls silent; empty:
                                // silent from the start (it never greets)
        int signal;
        int code;
        std::string account;  // on standard error and at the end of the log
        bool fifo = false;    // the profile is a pipe that never ends, read first
    } cases[] = {
        {"the profile", "", SIGINT, 255, stopped + "no table was converted.", true},
        {"the connect", "", SIGTERM, 255, stopped + "no table was converted."},
        {"a session statement", "wait_timeout", SIGINT, 255, stopped + "no table was converted."},
        {"the source's Init DB", db.name(), SIGTERM, 255, stopped + "no table was converted."},
        // In the run: mode 0 has emptied the folder.
        {"the views query", "information_schema.views", SIGINT, 255,
         stopped + "0 of 2 tables converted."},
        {"the closing statement", "FOREIGN_KEY_CHECKS = 1", SIGTERM, 0, ""},
    };
    const test_server& s = test_server::get();
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        relay_proxy relay(s.port);
        if (t.freeze_at.empty())
            relay.freeze(std::chrono::seconds(40));
        else
            relay.freeze_at(t.freeze_at, std::chrono::seconds(40));
        const std::string log = d.file("log"), fifo = d.file("fifo");
        fs::remove(log);
        fs::remove(fifo);
        // No one ever writes into it.
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::vector<std::string> args = {
            "--mysqlh=127.0.0.1", "--port=" + std::to_string(relay.port()),
            "--mysqlu=" + s.user, "--mysqlp=" + s.password,
            "--src=" + db.name(), "--dest=" + out,
            "--logfile=" + log};
        if (t.fifo) args.insert(args.begin(), "--profile=" + fifo);
        pid_t pid = start_talvorin(args, d.file("stdout"), d.file("stderr"));
        ASSERT_TRUE(wait_while_running(pid, [&] {
            if (t.fifo) return waits_for_pipe_writer(pid);
            return t.freeze_at.empty()
                       ? read_file_bytes(log).find("Connecting") != std::string::npos
                       : relay.frozen();
        }));
        // The program is waiting there now.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, t.signal);
        const auto signalled = std::chrono::steady_clock::now();
        const int code = wait_at_most(pid, std::chrono::seconds(30));
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(4));
        EXPECT_EQ(code, t.code);
        const std::string text = t.fifo ? t.account + "\r\n" : read_file_bytes(log);
        if (t.code == 0) {
            EXPECT_EQ(read_file_bytes(d.file("stderr")), "");
            EXPECT_NE(text.find("Conversion ended on "), std::string::npos) << text;
            EXPECT_EQ(read_dbf(out + "/a.dbf").records, 2);
            EXPECT_EQ(read_dbf(out + "/b.dbf").records, 1);
            continue;
        }
        EXPECT_EQ(read_file_bytes(d.file("stderr")), t.account + "\n");
        EXPECT_TRUE(text.ends_with(t.account + "\r\n")) << text;
        // Stopped before the run: nothing touched.
        if (t.account == cases[0].account) {
            EXPECT_TRUE(folder() == before);
        }
    }
}

// The host is a name whose name server never answers: the connect waits in the lookup,
// and SIGTERM or SIGINT ends that wait within a second, as an early stop. A name that
// resolves is looked up once, also for the connection that counts aside, and its first
// address that takes the connection wins; a name that does not exist fails the connect.
TEST_F(console_failures, a_signal_ends_the_wait_for_a_name_server_that_never_answers) {
    scratch_db db("e2e_lookup");
    db.exec("CREATE TABLE a (v INT); INSERT INTO a VALUES (1),(2)");
    // Nothing listens on ::1, which the lookup gives first.
    name_server names({{"db.torvane.test", {"::1", "127.0.0.1"}}, {"gone.torvane.test", {}}});
    if (!names.unusable().empty()) GTEST_SKIP() << names.unusable();
    const std::string stopped = "The conversion stopped before its end: no table was converted.\n";
    const std::string refused =
        "Error:\nCannot connect to the MySQL server. Check to verify that MySQL server is "
        "launched and the correct host/port values were given.\n";
    struct {
        const char* what;
        std::string host;
        int signal;  // sent once the name is asked for; 0 for none
        int code;
        std::string out, err;
    } cases[] = {
        {"SIGTERM, the name server silent", "silent.torvane.test", SIGTERM, 255, "", stopped},
        {"SIGINT, the name server silent", "silent.torvane.test", SIGINT, 255, "", stopped},
        {"a name that does not exist", "gone.torvane.test", 0, 255, refused, ""},
        {"a name with two addresses", "db.torvane.test", 0, 0,
         "Converting database " + db.name() + "(1 tables)\nConverting table a(2 records)\n", ""},
        // The client library's option files name a host: without --mysqlh= the local
        // server is asked all the same, through the socket they name, and no name is
        // looked up.
        {"no host, option files naming one", "", 0, 0,
         "Converting database " + db.name() + "(1 tables)\nConverting table a(2 records)\n", ""},
    };
    const test_server& s = test_server::get();
    tmp_dir d;
    write_file_bytes(d.file("my.cnf"),
                     "[client]\nhost=silent.torvane.test\nsocket=" + s.socket + "\n");
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        if (t.host.empty() && s.socket.empty()) continue;
        fs::remove_all(d.file("out"));
        const size_t asked_before = names.questions().size();
        std::vector<std::string> args{"--port=" + std::to_string(s.port), "--mysqlu=" + s.user,
                                      "--mysqlp=" + s.password, "--src=" + db.name(),
                                      "--dest=" + d.file("out")};
        if (!t.host.empty()) args.push_back("--mysqlh=" + t.host);
        // Read by the client library.
        if (t.host.empty()) setenv("MARIADB_HOME", d.path().c_str(), 1);
        const std::vector<std::string> line = names.command(TALVORIN_BINARY, args);
        const pid_t pid = start_program(line[0], {line.begin() + 1, line.end()}, d.file("stdout"),
                                        d.file("stderr"));
        unsetenv("MARIADB_HOME");
        auto signalled = std::chrono::steady_clock::now();
        if (t.signal) {
            ASSERT_TRUE(
                wait_while_running(pid, [&] { return names.questions().size() > asked_before; }));
            // The program is waiting in the lookup now.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(pid, t.signal);
            signalled = std::chrono::steady_clock::now();
        }
        EXPECT_EQ(wait_at_most(pid, std::chrono::seconds(40)), t.code);
        if (t.signal) {
            EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
        }
        EXPECT_EQ(read_file_bytes(d.file("stdout")), t.out);
        EXPECT_EQ(read_file_bytes(d.file("stderr")), t.err);
        if (t.code == 0) {
            EXPECT_EQ(read_dbf(d.file("out") + "/a.dbf").records, 2);
            std::vector<std::string> asked = names.questions();
            asked.erase(asked.begin(), asked.begin() + static_cast<ptrdiff_t>(asked_before));
            std::sort(asked.begin(), asked.end());
            const std::vector<std::string> expected =
                t.host.empty()
                    ? std::vector<std::string>{}
                    : std::vector<std::string>{"A db.torvane.test", "AAAA db.torvane.test"};
            EXPECT_EQ(asked, expected);
        }
    }
}

// Started with standard streams closed (by cron or a service manager), the program's
// lines go nowhere: never into a table or into the connection.
TEST_F(console_failures, closed_standard_streams_leave_every_table_whole) {
    scratch_db db("e2e_closed");
    db.exec(
        "CREATE TABLE e1 (id INT, note TEXT);"
        "INSERT INTO e1 SELECT seq, REPEAT('n', seq % 300) FROM seq_1_to_3000;"
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES';"
        "CREATE TABLE e2 (id INT, d DATE);"
        "INSERT INTO e2 SELECT seq, IF(seq = 7, '2024-02-31', '2024-01-01') FROM seq_1_to_3000");
    tmp_dir d;
    // A table that is not there puts a line on standard error, a value that cannot be
    // kept one on standard output; progress lines go there too.
    write_file_bytes(d.file("tables"), "e1\nghost\ne2\n");
    const std::vector<std::vector<int>> cases = {{0}, {1}, {2}, {0, 1, 2}};
    for (const auto& closed : cases) {
        const std::string out = d.file("out" + std::to_string(closed.size() + closed[0]));
        SCOPED_TRACE(out);
        pid_t pid = start_program(
            TALVORIN_BINARY,
            with_server({"--src=" + db.name(), "--dest=" + out, "--tab_file=" + d.file("tables")}),
            d.file("stdout"), d.file("stderr"), closed);
        EXPECT_EQ(wait_at_most(pid, std::chrono::seconds(120)), 0);
        for (const char* table : {"e1", "e2"}) {
            const dbf_read t = read_dbf(out + "/" + table + ".dbf");
            EXPECT_EQ(t.error, "") << table;
            ASSERT_EQ(t.records, 3000) << table;
            ASSERT_EQ(t.rows.size(), 3000u) << table;
            EXPECT_EQ(t.rows[2998], table == std::string("e1") ? "2999|" + std::string(299, 'n')
                                                               : "2999|2024-01-01");
        }
    }
}

TEST_F(console_failures, a_lost_connection_stops_the_run_and_a_killed_query_does_not) {
    scratch_db db("e2e_lost");
    db.exec(
        "CREATE TABLE a_big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO a_big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000;"
        "CREATE TABLE z_small (a INT); INSERT INTO z_small VALUES (1),(2)");
    enum class how { kill_connection, kill_query, server_gone };
    struct row {
        how way;
        const char* what;
        int code;
        bool later_table_converted;
        size_t cut_after = 0;               // through the proxy, when not 0
        std::chrono::milliseconds hold{0};  // through the proxy, the count held back
        bool counted = true;                // the table's line, with its count, is out
    };
    const row rows[] = {
        {how::kill_connection, "KILL", 255, false},
        {how::kill_query, "KILL QUERY", 0, true},
        // The proxy closes every connection while the rows stream.
        {how::server_gone, "server gone", 255, false, SIZE_MAX},
        // Also the count's, before its answer: the run still ends with that table.
        {how::server_gone, "server gone, the count still on its way", 255, false, 4 << 20,
         std::chrono::milliseconds(3000), false},
        // The rows stream on while the count is still on its way: the table's line
        // comes when the count does, before the error.
        {how::kill_connection, "KILL, the count still on its way", 255, false, SIZE_MAX,
         std::chrono::milliseconds(3000)},
    };
    const test_server& s = test_server::get();
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        tmp_dir d;
        const std::string out = d.file("out");
        write_file_bytes(d.file("list"), "a_big\nz_small\n");
        std::vector<std::string> args{"--src=" + db.name(), "--dest=" + out,
                                      "--tab_file=" + d.file("list")};
        std::unique_ptr<relay_proxy> proxy;
        if (r.cut_after) {
            proxy = std::make_unique<relay_proxy>(s.port, r.cut_after, r.hold);
            args.insert(args.end(),
                        {"--mysqlh=127.0.0.1", "--port=" + std::to_string(proxy->port()),
                         "--mysqlu=" + s.user, "--mysqlp=" + s.password});
        } else {
            args = with_server(args);
        }
        pid_t pid = start_talvorin(args, d.file("stdout"), d.file("stderr"));
        if (r.way == how::server_gone && r.cut_after == SIZE_MAX) {
            ASSERT_TRUE(wait_for_rows(out + "/a_big.dbf", pid)) << "the run ended too soon";
            // Once the count is in, so that the table's line is out whatever the timing.
            ASSERT_TRUE(wait_for_text(d.file("stdout"), "a_big(200000 records)\n", pid));
            kill(pid, SIGSTOP);
            proxy->cut();
            kill(pid, SIGCONT);
        } else if (r.way != how::server_gone) {
            ASSERT_TRUE(wait_for_rows(out + "/a_big.dbf", pid)) << "the run ended too soon";
            // Stopped, the program reads nothing, so the server is still sending when the
            // kill arrives.
            kill(pid, SIGSTOP);
            const auto ids =
                db.rows("SELECT id FROM information_schema.processlist WHERE db = '" + db.name() +
                        "' AND info LIKE 'SELECT * FROM%' AND id <> CONNECTION_ID()");
            EXPECT_EQ(ids.size(), 1u);
            for (const auto& id : ids)
                db.exec((r.way == how::kill_query ? "KILL QUERY " : "KILL ") + *id[0]);
            kill(pid, SIGCONT);
        }
        const int code = wait_talvorin(pid);
        const std::string stdout_text = read_file_bytes(d.file("stdout"));
        EXPECT_EQ(code, r.code) << stdout_text << read_file_bytes(d.file("stderr"));
        const std::string head = "Converting database " + db.name() + "(2 tables)\n" +
                                 (r.counted ? "Converting table a_big(200000 records)\n" : "") +
                                 "Error:\na_big: ";
        EXPECT_EQ(stdout_text.rfind(head, 0), 0u) << stdout_text;
        // Reported once, for its table; a later table is converted or never tried.
        EXPECT_EQ(stdout_text.find("Error:", head.size()), std::string::npos) << stdout_text;
        EXPECT_EQ(stdout_text.find("Converting table z_small(2 records)\n") != std::string::npos,
                  r.later_table_converted)
            << stdout_text;
        EXPECT_EQ(dbf_header_records(out + "/z_small.dbf"), r.later_table_converted ? 2 : -1);
        const long count = dbf_header_records(out + "/a_big.dbf");
        EXPECT_GT(count, 0);
        EXPECT_LT(count, 200000);
        expect_whole_records(out, "a_big");
    }
}

TEST_F(console_failures, a_file_that_cannot_be_written_is_named_with_the_reason) {
    scratch_db db("e2e_fsize");
    // 300 short memos, then one that the limit stops half-written; a table without memos
    // that outgrows a small disk.
    db.exec(
        "CREATE TABLE m (id INT PRIMARY KEY, note LONGTEXT);"
        "INSERT INTO m SELECT seq, CONCAT('memo ', seq) FROM seq_1_to_300;"
        "INSERT INTO m VALUES (301, REPEAT('x', 3000000));"
        "CREATE TABLE d (id INT PRIMARY KEY, v VARCHAR(200));"
        "INSERT INTO d SELECT seq, CONCAT('row ', seq) FROM seq_1_to_20000");
    const struct {
        const char* what;
        const char* table;
        bool small_disk;  // else a limit on the size of files
        const char* file;
        const char* reason;
    } cases[] = {
        {"a memo file past the size limit", "m", false, "m.fpt", "File too large"},
        {"a table on a full disk", "d", true, "d.dbf", "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tmp_dir d;
        const std::string out = d.file("out");
        write_file_bytes(d.file("list"), std::string(c.table) + "\n");
        const std::vector<std::string> args =
            with_server({"--src=" + db.name(), "--dest=" + out, "--tab_file=" + d.file("list")});
        run_result r;
        if (c.small_disk) {
            // A disk of one megabyte: only root may make one, and not everywhere.
            fs::create_directories(out);
            if (geteuid() != 0 || mount("tmpfs", out.c_str(), "tmpfs", 0, "size=1m") != 0) {
                std::cout << "no small disk here (" << c.what << " not tried)\n";
                continue;
            }
            r = run_talvorin(args);
        } else {
            file_size_limit limit(1 << 20);
            r = run_talvorin(args);
        }
        const long records = dbf_header_records(out + "/" + c.table + ".dbf");
        const std::string table = read_file_bytes(out + "/" + c.table + ".dbf");
        dbf_read t = read_dbf(out + "/" + c.table + ".dbf");
        if (c.small_disk) umount2(out.c_str(), MNT_DETACH);
        EXPECT_EQ(r.code, 255) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string("Error:\n") + c.table + ": Cannot write into file " + out +
                             "/" + c.file + ": " + c.reason + "\n"),
                  std::string::npos)
            << r.out;
        // The header counts the records that are there, each whole.
        ASSERT_EQ(t.error, "");
        ASSERT_GT(records, 0);
        EXPECT_EQ(t.rows.size(), static_cast<size_t>(records));
        EXPECT_GE(table.size(),
                  le16_at(table, 8) + static_cast<size_t>(records) * le16_at(table, 10));
        EXPECT_EQ(t.rows.front(), std::string("1|") + (c.small_disk ? "row 1" : "memo 1"));
        if (!c.small_disk) {
            EXPECT_EQ(records, 300);
            expect_whole_records(out, "m");
        }
    }
}
