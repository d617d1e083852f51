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

// The size of a file, or 0 when it is not there.
uintmax_t size_of(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// What the run `pid` wrote of the table so far: the size of its temporary table file
// (a new table), or what the table in the folder grew by since it held `before` bytes
// (an append).
uintmax_t written_of(const std::string& folder, const std::string& table, pid_t pid,
                     uintmax_t before) {
    const std::string temp = table + ".dbf." + std::to_string(pid) + ".";
    std::error_code ec;
    uintmax_t written = 0;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(temp, 0) == 0 && name.ends_with(".tmp"))
            written = std::max(written, size_of(e.path().string()));
    }
    const uintmax_t size = size_of(folder + "/" + table + ".dbf");
    return std::max(written, size > before ? size - before : 0);
}

// Rows of the table are written, in the middle of the table.
bool wait_for_rows(const std::string& folder, const std::string& table, pid_t pid,
                   uintmax_t before = 0) {
    return wait_while_running(pid,
                              [&] { return written_of(folder, table, pid, before) >= 200000; });
}

// Lines as the log ends them.
std::string crlf(const std::string& lines) {
    std::string text;
    for (char c : lines) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
}

// The files of a folder with their bytes, by name.
std::map<std::string, std::string> folder_files(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = read_file_bytes(e.path().string());
    return files;
}

// The folder holds exactly the files it held, byte for byte: no temporary file either.
void expect_same_files(const std::map<std::string, std::string>& now,
                       const std::map<std::string, std::string>& before) {
    std::set<std::string> names, earlier;
    for (const auto& [name, bytes] : now) names.insert(name);
    for (const auto& [name, bytes] : before) earlier.insert(name);
    EXPECT_EQ(names, earlier);
    for (const auto& [name, bytes] : before) {
        auto it = now.find(name);
        if (it != now.end()) {
            EXPECT_TRUE(it->second == bytes) << name << " changed";
        }
    }
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
    // The run went through, without one of its tables.
    EXPECT_EQ(r.code, 2) << r.out << r.err;
    const std::string head =
        "Converting database " + db.name() + "(3 tables)\nConverting table t1(1 records)\n";
    ASSERT_EQ(r.out.rfind(head, 0), 0u) << r.out;
    const std::string rest = r.out.substr(head.size());
    // "Error:", then "t2: " and the server's text on one line, then the next table.
    ASSERT_EQ(rest.rfind("Error:\nt2: ", 0), 0u) << rest;
    const std::string reason = rest.substr(11, rest.find('\n', 11) - 11);
    EXPECT_NE(reason.find("denied"), std::string::npos) << rest;
    EXPECT_TRUE(rest.ends_with("\nConverting table t3(2 records)\n")) << rest;
    EXPECT_EQ(r.err, "1 of 3 tables was not converted: t2 (" + reason + ")\n");
    EXPECT_EQ(dbf_header_records(d.file("out/t3.dbf")), 2);
    EXPECT_FALSE(fs::exists(d.file("out/t2.dbf")));
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

// A run killed with -9 leaves each table as it was: mode 1 the earlier table, beside its
// temporary files; mode 3 the earlier table, with unused bytes behind its records and
// memos that no reader counts. The next run removes the temporary files, and its append
// overwrites those bytes and cuts what is left of them.
TEST_F(console_failures,
       a_killed_run_leaves_each_table_as_it_was_and_the_next_run_clears_its_litter) {
    scratch_db db("e2e_kill");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000;"
        "CREATE TABLE late (id INT PRIMARY KEY, note TEXT);"
        "INSERT INTO late VALUES (1, 'first'), (2, REPEAT('x', 100))");
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto earlier = folder_files(out);
    std::vector<std::string> litter;  // the killed runs' temporary files
    pid_t pid = 0;
    for (const char* mode : {"1", "3"}) {
        SCOPED_TRACE(std::string("killed in mode ") + mode);
        pid = start_talvorin(
            with_server({"--src=" + db.name(), "--dest=" + out, std::string("--mode=") + mode}),
            d.file("stdout"), d.file("stderr"));
        // The table's line comes with its count, which may arrive after the first rows.
        ASSERT_TRUE(wait_for_rows(out, "big", pid, earlier.at("big.dbf").size()) &&
                    wait_for_text(d.file("stdout"), "big(200000 records)\n", pid))
            << "the run ended too soon";
        kill(pid, SIGKILL);
        if (wait_talvorin(pid) != 128 + SIGKILL)
            GTEST_SKIP() << "the run ended before it could be killed";
        // Nothing printed was held back in a buffer, and nothing else was printed.
        EXPECT_EQ(read_file_bytes(d.file("stdout")),
                  "Converting database " + db.name() +
                      "(2 tables)\nConverting table big(200000 records)\n");
        std::map<std::string, std::string> tables;
        std::vector<std::string> temps;
        for (auto& [name, bytes] : folder_files(out)) {
            if (name.ends_with(".tmp"))
                temps.push_back(name);
            else
                tables[name] = std::move(bytes);
        }
        if (mode == std::string("1")) {
            // The new table was on its way under temporary names.
            ASSERT_EQ(temps.size(), 2u);
            for (const auto& name : temps) {
                EXPECT_EQ(name.rfind("big.", 0), 0u) << name;
                EXPECT_NE(name.find("." + std::to_string(pid) + "."), std::string::npos) << name;
                litter.push_back(out + "/" + name);
            }
            expect_same_files(tables, earlier);
            continue;
        }
        // The next run, this one, removed them.
        EXPECT_EQ(temps, std::vector<std::string>{});
        // The records and memos appended lie behind those that the headers count.
        for (const char* name : {"big.dbf", "big.fpt"}) {
            const std::string& now = tables[name];
            const std::string& then = earlier.at(name);
            EXPECT_GT(now.size(), then.size()) << name;
            EXPECT_TRUE(now.compare(0, then.size(), then) == 0) << name << " changed";
        }
        for (const char* name : {"late.dbf", "late.fpt"})
            EXPECT_TRUE(tables[name] == earlier.at(name)) << name << " changed";
        // Also to a reader that reads records up to the end of the file, not the count.
        const dbf_read read = read_dbf(out + "/big.dbf");
        EXPECT_EQ(read.error, "");
        EXPECT_EQ(read.rows.size(), 200000u);
    }

    // What a run would have left had it been killed while it replaced the next table:
    // its temporary files, or the new memo file without its table, once the earlier
    // table is gone. Files of a process that still runs, and files of other names, are
    // not the run's litter.
    const std::string dead = std::to_string(pid);
    for (const std::string& file :
         {out + "/late.dbf." + dead + ".7.tmp", out + "/late.fpt." + dead + ".8.tmp"}) {
        write_file_bytes(file, "\x03\x18\x01");
        litter.push_back(file);
    }
    fs::remove(out + "/late.dbf");
    const std::string others[] = {out + "/other.dbf." + std::to_string(getpid()) + ".0.tmp",
                                  out + "/notes.txt." + dead + ".0.tmp", out + "/big.dbf.tmp",
                                  out + "/big.dbf.x.0.tmp"};
    for (const auto& file : others) write_file_bytes(file, "x");

    // Fewer rows than the killed append wrote: what is left of its bytes is cut.
    db.exec("DELETE FROM big WHERE id > 1000");
    // Appending goes on from the records the table counted; skipping keeps them.
    const struct {
        const char* mode;
        long big, late;
    } runs[] = {{"3", 201000, 2}, {"2", 201000, 2}, {"3", 202000, 4}};
    for (const auto& run : runs) {
        SCOPED_TRACE(std::string("mode ") + run.mode);
        run_result r = run_talvorin(with_server(
            {"--src=" + db.name(), "--dest=" + out, std::string("--mode=") + run.mode}));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
        for (const auto& file : litter) EXPECT_FALSE(fs::exists(file)) << file;
        for (const auto& file : others) EXPECT_TRUE(fs::exists(file)) << file;
        const std::string big = read_file_bytes(out + "/big.dbf");
        ASSERT_GE(big.size(), 32u);
        EXPECT_EQ(le32_at(big, 4), static_cast<uint32_t>(run.big));
        // Nothing but an end-of-file mark behind the records.
        const size_t end = le16_at(big, 8) + static_cast<size_t>(run.big) * le16_at(big, 10);
        ASSERT_GE(big.size(), end);
        EXPECT_TRUE(big.size() == end || (big.size() == end + 1 && big.back() == '\x1A'))
            << big.size() - end << " bytes behind the records";
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
        const uintmax_t before = size_of(out + "/a.dbf");
        pid_t first = start_talvorin(args(run.mode), d.file("stdout"), d.file("stderr"));
        ASSERT_TRUE(wait_for_rows(out, "a", first, before)) << "the first run ended too soon";
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

    const uintmax_t before = size_of(out + "/a.dbf");
    pid_t killed = start_talvorin(args("3"), d.file("stdout"), d.file("stderr"));
    ASSERT_TRUE(wait_for_rows(out, "a", killed, before));
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
// or SIGINT ends it promptly, as an early stop. The table in work is left as it was, in
// mode 1 (a new table under temporary names) and in mode 3 (records appended behind the
// counted ones) alike, and the run says so, on standard error and at the end of the log.
// Until then a reader of the folder sees the earlier table, whole.
TEST_F(console_failures, a_signal_leaves_the_table_in_work_as_it_was_even_from_a_silent_server) {
    scratch_db db("e2e_signal");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(30), note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('value ', seq), REPEAT('memo ', 1 + seq % 50) "
        "FROM seq_1_to_200000");
    struct {
        const char* what;
        bool silent;
        int signal;
        const char* mode;
        bool read_meanwhile;  // the table is read while the run is held in its middle
    } cases[] = {
        {"SIGTERM, the server silent, mode 1", true, SIGTERM, "1", false},
        {"SIGINT, the server answering, mode 1", false, SIGINT, "1", true},
        {"SIGINT, the server answering, mode 3", false, SIGINT, "3", true},
        {"SIGTERM, the server silent, mode 3", true, SIGTERM, "3", false},
    };
    const test_server& s = test_server::get();
    const std::string account =
        "The conversion stopped before its end: 0 of 1 table converted; table 'big' was left as "
        "it was.";
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto earlier = folder_files(out);
    const dbf_read earlier_read = read_dbf(out + "/big.dbf");
    ASSERT_EQ(earlier_read.records, 200000) << earlier_read.error;
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        relay_proxy relay(s.port);
        const std::string log = d.file("log");
        fs::remove(log);
        pid_t pid =
            start_talvorin({"--mysqlh=127.0.0.1", "--port=" + std::to_string(relay.port()),
                            "--mysqlu=" + s.user, "--mysqlp=" + s.password, "--src=" + db.name(),
                            "--dest=" + out, std::string("--mode=") + t.mode, "--logfile=" + log},
                           d.file("stdout"), d.file("stderr"));
        ASSERT_TRUE(wait_for_rows(out, "big", pid, earlier.at("big.dbf").size()))
            << "the run ended too soon";
        if (t.read_meanwhile) {
            kill(pid, SIGSTOP);
            const dbf_read meanwhile = read_dbf(out + "/big.dbf");
            kill(pid, SIGCONT);
            EXPECT_EQ(meanwhile.error, "");
            EXPECT_EQ(meanwhile.records, 200000);
            EXPECT_TRUE(meanwhile.rows == earlier_read.rows) << "the reader saw other records";
        }
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
        const std::string logged = read_file_bytes(log);
        EXPECT_NE(logged.find("\r\nConversion stopped on "), std::string::npos) << logged;
        EXPECT_TRUE(logged.ends_with(account + "\r\n")) << logged;
        EXPECT_EQ(logged.find("Conversion ended"), std::string::npos) << logged;
        // The table and its memo file byte for byte, and no temporary file beside them.
        expect_same_files(folder_files(out), earlier);
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
    // A table that is not there puts lines on standard error (the run then exits with
    // 2), a value that cannot be kept one on standard output; progress lines go there too.
    write_file_bytes(d.file("tables"), "e1\nghost\ne2\n");
    const std::vector<std::vector<int>> cases = {{0}, {1}, {2}, {0, 1, 2}};
    for (const auto& closed : cases) {
        const std::string out = d.file("out" + std::to_string(closed.size() + closed[0]));
        SCOPED_TRACE(out);
        pid_t pid = start_program(
            TALVORIN_BINARY,
            with_server({"--src=" + db.name(), "--dest=" + out, "--tab_file=" + d.file("tables")}),
            d.file("stdout"), d.file("stderr"), closed);
        EXPECT_EQ(wait_at_most(pid, std::chrono::seconds(120)), 2);
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

// The rows of a table stop coming in its middle. A lost connection ends the run (255);
// a killed query is that table's error and the run goes on (2). Either way the table is
// left as it was, byte for byte, also in mode 0, which deletes the folder's other tables.
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
        const char* mode = "1";
    };
    const row rows[] = {
        {how::kill_connection, "KILL", 255, false},
        {how::kill_query, "KILL QUERY", 2, true},
        // The folder's other table goes when the run starts; a_big stays as it was.
        {how::kill_query, "KILL QUERY, mode 0", 2, true, 0, std::chrono::milliseconds(0), true,
         "0"},
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
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto earlier = folder_files(out);
    write_file_bytes(d.file("list"), "a_big\nz_small\n");
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        // Whether the later table is converted shows in its file.
        fs::remove(out + "/z_small.dbf");
        write_file_bytes(out + "/other.dbf", any_dbf_table());
        const std::string log = d.file("log");
        fs::remove(log);
        std::vector<std::string> args{"--src=" + db.name(), "--dest=" + out,
                                      "--tab_file=" + d.file("list"),
                                      std::string("--mode=") + r.mode, "--logfile=" + log};
        std::unique_ptr<relay_proxy> proxy;
        if (r.cut_after) {
            proxy = std::make_unique<relay_proxy>(s.port, r.cut_after, r.hold);
            args.insert(args.end(),
                        {"--mysqlh=127.0.0.1", "--port=" + std::to_string(proxy->port()),
                         "--mysqlu=" + s.user, "--mysqlp=" + s.password});
        } else {
            args = with_server(args);
        }
        const uintmax_t before = earlier.at("a_big.dbf").size();
        pid_t pid = start_talvorin(args, d.file("stdout"), d.file("stderr"));
        if (r.way == how::server_gone && r.cut_after == SIZE_MAX) {
            ASSERT_TRUE(wait_for_rows(out, "a_big", pid, before)) << "the run ended too soon";
            // Once the count is in, so that the table's line is out whatever the timing.
            ASSERT_TRUE(wait_for_text(d.file("stdout"), "a_big(200000 records)\n", pid));
            kill(pid, SIGSTOP);
            proxy->cut();
            kill(pid, SIGCONT);
        } else if (r.way != how::server_gone) {
            ASSERT_TRUE(wait_for_rows(out, "a_big", pid, before)) << "the run ended too soon";
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
        const std::string stderr_text = read_file_bytes(d.file("stderr"));
        EXPECT_EQ(code, r.code) << stdout_text << stderr_text;
        const std::string head = "Converting database " + db.name() + "(2 tables)\n" +
                                 (r.counted ? "Converting table a_big(200000 records)\n" : "") +
                                 "Error:\na_big: ";
        ASSERT_EQ(stdout_text.rfind(head, 0), 0u) << stdout_text;
        const std::string reason =
            stdout_text.substr(head.size(), stdout_text.find('\n', head.size()) - head.size());
        // Reported once, for its table; a later table is converted or never tried.
        EXPECT_EQ(stdout_text.find("Error:", head.size()), std::string::npos) << stdout_text;
        EXPECT_EQ(stdout_text.find("Converting table z_small(2 records)\n") != std::string::npos,
                  r.later_table_converted)
            << stdout_text;
        EXPECT_EQ(dbf_header_records(out + "/z_small.dbf"), r.later_table_converted ? 2 : -1);
        // The table that did not convert is named with its reason; after a lost
        // connection, which ends the run, the account of the stop names it instead. They
        // end the log too.
        const std::string last =
            r.code == 255 ? "The conversion stopped before its end: 0 of 2 tables converted; "
                            "table 'a_big' was left as it was."
                          : "1 of 2 tables was not converted: a_big (" + reason + ")";
        EXPECT_EQ(reason, r.way == how::kill_query ? "Query execution was interrupted"
                                                   : "Lost connection to server during query");
        EXPECT_EQ(stderr_text, last + "\n");
        const std::string logged = read_file_bytes(log);
        EXPECT_TRUE(logged.ends_with("\r\n" + crlf(last) + "\r\n")) << logged;
        // a_big byte for byte, with no temporary file beside it; the other table is gone
        // once a mode-0 run started.
        auto now = folder_files(out);
        EXPECT_EQ(now.erase("other.dbf"), r.mode == std::string("0") ? 0u : 1u);
        now.erase("z_small.dbf");
        auto then = earlier;
        then.erase("z_small.dbf");
        expect_same_files(now, then);
    }
}

// A file that cannot be written ends the run (255), names the file with the reason, and
// leaves the table as it was, in mode 1 and in mode 3: the account says so, on standard
// error and at the end of the log.
TEST_F(console_failures, a_file_that_cannot_be_written_is_named_with_the_reason) {
    scratch_db db("e2e_fsize");
    // Earlier copies made from a part of the rows: 300 short memos, then (added after)
    // one that the limit stops half-written; a table without memos that outgrows a
    // small disk once its rows are added.
    db.exec(
        "CREATE TABLE m (id INT PRIMARY KEY, note LONGTEXT);"
        "INSERT INTO m SELECT seq, CONCAT('memo ', seq) FROM seq_1_to_300;"
        "CREATE TABLE d (id INT PRIMARY KEY, v VARCHAR(200));"
        "INSERT INTO d SELECT seq, CONCAT('row ', seq) FROM seq_1_to_1000");
    tmp_dir d;
    const std::string first = d.file("first");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + first})).code, 0);
    const auto earlier = folder_files(first);
    db.exec(
        "INSERT INTO m VALUES (301, REPEAT('x', 3000000));"
        "INSERT INTO d SELECT seq, CONCAT('row ', seq) FROM seq_1001_to_20000");
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
        for (const char* mode : {"1", "3"}) {
            SCOPED_TRACE(std::string(c.what) + ", mode " + mode);
            const std::string out = d.file(std::string(c.table) + mode);
            fs::create_directories(out);
            if (c.small_disk) {
                // A disk of one megabyte: only root may make one, and not everywhere.
                if (geteuid() != 0 || mount("tmpfs", out.c_str(), "tmpfs", 0, "size=1m") != 0) {
                    std::cout << "no small disk here (" << c.what << " not tried)\n";
                    continue;
                }
            }
            std::map<std::string, std::string> before;
            for (const auto& [name, bytes] : earlier) {
                if (name.rfind(std::string(c.table) + ".", 0) != 0) continue;
                write_file_bytes(out + "/" + name, bytes);
                before[name] = bytes;
            }
            write_file_bytes(d.file("list"), std::string(c.table) + "\n");
            const std::vector<std::string> args =
                with_server({"--src=" + db.name(), "--dest=" + out, "--tab_file=" + d.file("list"),
                             std::string("--mode=") + mode, "--logfile=" + d.file("log")});
            run_result r;
            if (c.small_disk) {
                r = run_talvorin(args);
            } else {
                file_size_limit limit(1 << 20);
                r = run_talvorin(args);
            }
            const auto after = folder_files(out);
            if (c.small_disk) umount2(out.c_str(), MNT_DETACH);
            EXPECT_EQ(r.code, 255) << r.out << r.err;
            // The table's own file, also when a new table was written under a temporary
            // name.
            const std::string error = std::string(c.table) + ": Cannot write into file " + out +
                                      "/" + c.file + ": " + c.reason;
            EXPECT_NE(r.out.find("\nError:\n" + error + "\n"), std::string::npos) << r.out;
            // The run ends on it: the account of the stop names the table.
            const std::string last =
                "The conversion stopped before its end: 0 of 1 table "
                "converted; table '" +
                std::string(c.table) + "' was left as it was.\n";
            EXPECT_EQ(r.err, last);
            const std::string log = read_file_bytes(d.file("log"));
            EXPECT_NE(log.find("\r\nConversion stopped on "), std::string::npos) << log;
            EXPECT_TRUE(log.ends_with("\r\n" + crlf(last))) << log;
            // The earlier table byte for byte, with no temporary file beside it.
            expect_same_files(after, before);
        }
    }
}

// A table the server cannot read to its end: a MyISAM table whose data file was cut, and
// an Archive table's, when the server has that engine. Each is that table's error, the
// earlier copy stays byte for byte, the run goes on with the next table and ends with
// exit code 2 and the line that names each table with the server's reason.
TEST_F(console_failures, a_crashed_table_is_left_as_it_was_and_the_run_goes_on) {
    scratch_db db("e2e_crashed");
    // Dynamic rows, so that the cut is found part way rather than taken for the end.
    db.exec(
        "CREATE TABLE w (id INT, v VARCHAR(100), note TEXT) ENGINE=MyISAM;"
        "INSERT INTO w SELECT seq, CONCAT('row ', seq, REPEAT('.', 30)), CONCAT('note ', seq) "
        "FROM seq_1_to_441;"
        "CREATE TABLE z (a INT); INSERT INTO z VALUES (1),(2)");
    std::vector<std::string> crashed = {"w"};
    // The Archive engine is a plugin the server may have without having it loaded.
    const auto archive = db.rows(
        "SELECT PLUGIN_STATUS FROM information_schema.ALL_PLUGINS WHERE PLUGIN_NAME = 'ARCHIVE'");
    if (!archive.empty() && archive[0][0] == "NOT INSTALLED") {
        try {
            db.exec("INSTALL SONAME 'ha_archive'");
        } catch (const std::exception& e) {
            std::cout << "no Archive engine here (" << e.what() << ")\n";
        }
    }
    if (!db.rows("SELECT 1 FROM information_schema.ENGINES WHERE ENGINE = 'ARCHIVE' AND "
                 "SUPPORT IN ('YES', 'DEFAULT')")
             .empty()) {
        db.exec(
            "CREATE TABLE ar (id INT, v VARCHAR(100)) ENGINE=ARCHIVE;"
            "INSERT INTO ar SELECT seq, REPEAT(CHAR(65 + seq % 26), 100) FROM seq_1_to_5000");
        crashed.insert(crashed.begin(), "ar");
    }
    const std::string data = *db.rows("SELECT @@datadir")[0][0] + db.name() + "/";
    if (!fs::exists(data + "w.MYD")) GTEST_SKIP() << "the server's files are not here";

    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out})).code, 0);
    const auto earlier = folder_files(out);
    // The server opens the files anew after the flush, and finds them cut.
    db.exec("FLUSH TABLES");
    fs::resize_file(data + "w.MYD", 9000);
    if (crashed.size() == 2) fs::resize_file(data + "ar.ARZ", 9000);

    run_result r = run_talvorin(with_server(
        {"--src=" + db.name(), "--dest=" + out, "--mode=1", "--logfile=" + d.file("log")}));
    EXPECT_EQ(r.code, 2) << r.out << r.err;
    std::string last = std::to_string(crashed.size()) + " of " +
                       std::to_string(crashed.size() + 1) +
                       (crashed.size() == 1 ? " tables was" : " tables were") + " not converted: ";
    for (const std::string& table : crashed) {
        const std::string reason =
            "Table '" + table + "' is marked as crashed and should be repaired";
        EXPECT_NE(r.out.find("\nError:\n" + table + ": " + reason + "\n"), std::string::npos)
            << r.out;
        last += (table == crashed.front() ? "" : ", ") + table + " (" + reason + ")";
    }
    EXPECT_TRUE(r.out.ends_with("\nConverting table z(2 records)\n")) << r.out;
    EXPECT_EQ(r.err, last + "\n");
    const std::string log = read_file_bytes(d.file("log"));
    EXPECT_TRUE(log.ends_with("\r\n" + last + "\r\n")) << log;
    expect_same_files(folder_files(out), earlier);
}

// A run that went through its tables but left some unconverted exits with 2 and ends
// with the line that names each with its reason, on standard error and in the log: every
// table refused to a user allowed only INSERT, or a text file where a table's memo file
// would go, which no mode overwrites (mode 2 neither: there is no table to skip).
TEST_F(console_failures, a_run_that_left_tables_unconverted_exits_with_2_and_names_them) {
    scratch_db db("e2e_unconverted");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1);"
        "CREATE TABLE t2 (a INT, note TEXT); INSERT INTO t2 VALUES (1, 'note')");
    const std::string user = "e2e_ins_" + std::to_string(getpid());
    db.exec("DROP USER IF EXISTS '" + user + "'@'127.0.0.1';CREATE USER '" + user +
            "'@'127.0.0.1' IDENTIFIED BY 'pw';GRANT INSERT ON `" + db.name() + "`.* TO '" + user +
            "'@'127.0.0.1'");
    const test_server& s = test_server::get();
    auto denied = [&](const std::string& table) {
        return "SELECT command denied to user '" + user + "'@'127.0.0.1' for table `" + db.name() +
               "`.`" + table + "`";
    };
    const std::string text = "Notes on t2, not a memo file.\n";
    const struct {
        const char* what;
        bool only_insert;
        int mode;
    } cases[] = {
        {"a user allowed only INSERT", true, 0},     {"a text file at t2.fpt, mode 0", false, 0},
        {"a text file at t2.fpt, mode 1", false, 1}, {"a text file at t2.fpt, mode 2", false, 2},
        {"a text file at t2.fpt, mode 3", false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tmp_dir d;
        const std::string out = d.file("out");
        fs::create_directories(out);
        std::vector<std::string> args = {"--src=" + db.name(), "--dest=" + out,
                                         "--mode=" + std::to_string(c.mode),
                                         "--logfile=" + d.file("log")};
        std::string printed = "Converting database " + db.name() + "(2 tables)\n", last;
        std::map<std::string, std::string> left;
        if (c.only_insert) {
            args.insert(args.begin(), {"--mysqlh=" + s.host, "--port=" + std::to_string(s.port),
                                       "--mysqlu=" + user, "--mysqlp=pw"});
            printed += "Error:\nt1: " + denied("t1") + "\nError:\nt2: " + denied("t2") + "\n";
            last = "2 of 2 tables were not converted: t1 (" + denied("t1") + "), t2 (" +
                   denied("t2") + ")";
        } else {
            args = with_server(args);
            write_file_bytes(out + "/t2.fpt", text);
            const std::string error =
                "File " + out + "/t2.fpt is not a memo file; it is left as it is";
            printed += "Converting table t1(1 records)\nError:\nt2: " + error + "\n";
            last = "1 of 2 tables was not converted: t2 (" + error + ")";
            left["t2.fpt"] = text;
        }
        run_result r = run_talvorin(args);
        EXPECT_EQ(r.code, 2) << r.out << r.err;
        EXPECT_EQ(r.out, printed);
        EXPECT_EQ(r.err, last + "\n");
        const std::string log = read_file_bytes(d.file("log"));
        EXPECT_NE(log.find("\r\nConversion ended on "), std::string::npos) << log;
        EXPECT_TRUE(log.ends_with("\r\n" + last + "\r\n")) << log;
        // The text file stays as it was, with nothing of t2 beside it.
        auto files = folder_files(out);
        if (!c.only_insert) {
            EXPECT_EQ(files.erase("t1.dbf"), 1u);
        }
        expect_same_files(files, left);
    }
    db.exec("DROP USER '" + user + "'@'127.0.0.1'");
}
