// TALVORIN's arguments and the checks before a run: exact output and exit codes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace fs = std::filesystem;

namespace {

const std::string access_denied =
    "Error:\nAccess denied. Verify the user name and password are correct, and you have the "
    "necessary privileges to connect to the target MySQL server.\n";
const std::string cannot_connect =
    "Error:\nCannot connect to the MySQL server. Check to verify that MySQL server is launched "
    "and the correct host/port values were given.\n";

void expect_run(const run_result& r, int code, const std::string& out, const std::string& err,
                const std::string& what) {
    EXPECT_EQ(r.code, code) << what << "\nstdout: " << r.out << "\nstderr: " << r.err;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
}

// A port on which nothing listens.
int closed_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

// Writes the text into a FIFO once a reader opens it, and gives up after a while when
// none does.
std::thread feed_fifo(const std::string& path, std::string text) {
    mkfifo(path.c_str(), 0600);
    return std::thread([path, text = std::move(text)] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int fd;
        while ((fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (fd < 0) return;
        fcntl(fd, F_SETFL, 0);
        (void)!write(fd, text.data(), text.size());
        close(fd);
    });
}

}  // namespace

TEST(console_args, usage_and_unknown_arguments) {
    const std::string u = usage;
    struct row {
        std::vector<std::string> args;
        std::string err;
    };
    const row rows[] = {
        {{}, u},
        {{"--help"}, u},
        {{"--helpme"}, u},  // the first prefix that matches wins
        {{"--src=db", "--dest=/tmp/x", "--help"}, u},
        {{"--help", "--silent"}, u},
        {{"--skip_idx", "--src=db", "--dest=/tmp/x"}, u},  // listed in the usage, no option
        {{"--dest", "--src=db"}, u},
        {{"--SRC=db", "--dest=/tmp/x"}, u},
        {{"--src=db", "--dest=/tmp/x", "plain"}, u},
        {{"--silent", "--skip_idx"}, ""},
        {{"--skip_idx", "--silent"}, ""},  // unknowns are judged after the walk
        {{"--silent", "--help"}, ""},
        {{"--bogus", "--mode=9"}, "Invalid merge/overwrite mode\n"},
    };
    for (const row& r : rows) {
        std::string what;
        for (const auto& a : r.args) what += a + " ";
        expect_run(run_talvorin(r.args), 255, "", r.err, what);
    }

    // More unknown arguments than are kept: still the usage.
    std::vector<std::string> many(25, "--what");
    expect_run(run_talvorin(many), 255, "", u, "25 unknown arguments");
}

TEST(console_args, mode_values) {
    for (const char* bad : {"02", "4", "-1", "2x", "", " 1", "1 ", "+1", "9"}) {
        expect_run(run_talvorin({"--src=db", std::string("--mode=") + bad, "--dest=/tmp/x"}), 255,
                   "", "Invalid merge/overwrite mode\n", bad);
    }
    // The error acts at once, before a later --silent; an earlier --silent hides it.
    expect_run(run_talvorin({"--mode=9", "--silent"}), 255, "", "Invalid merge/overwrite mode\n",
               "--mode=9 --silent");
    expect_run(run_talvorin({"--silent", "--mode=9"}), 255, "", "", "--silent --mode=9");
}

TEST(console_args, source_then_destination_are_required) {
    const std::string src = "You should enter source MySQL database name\n";
    const std::string dest = "You should enter path to destination DBF database\n";
    expect_run(run_talvorin({"--mode=3"}), 255, "", src, "neither");
    expect_run(run_talvorin({"--dest=/tmp/x"}), 255, "", src, "no source");
    expect_run(run_talvorin({"--src=db"}), 255, "", dest, "no destination");
    expect_run(run_talvorin({"--src=db", "--dest="}), 255, "", dest, "empty destination");
    expect_run(run_talvorin({"--silent", "--src=db"}), 255, "", "", "silent");
}

TEST(console_args, table_list_file_that_cannot_be_read) {
    tmp_dir d;
    const std::string missing =
        "Table names file does not exist.\nPlease verify the correct path/name was given.\n";
    expect_run(run_talvorin({"--tab_file=/nonexistent/list", "--src=db", "--dest=/tmp/x"}), 255, "",
               missing, "missing file");
    expect_run(run_talvorin({"--tab_file=" + d.path(), "--src=db", "--dest=/tmp/x"}), 255, "",
               "Table names file " + d.path() +
                   " is a folder, not a file.\nPlease verify the correct path/name was given.\n",
               "a folder");
    if (geteuid() != 0) {
        write_file_bytes(d.file("list"), "t1\n");
        chmod(d.file("list").c_str(), 0);
        expect_run(run_talvorin({"--tab_file=" + d.file("list"), "--src=db", "--dest=/tmp/x"}), 255,
                   "", "Cannot read table names file " + d.file("list") + ": Permission denied\n",
                   "mode 000");
    }
}

TEST(console_args, log_file_that_cannot_be_written) {
    tmp_dir d;
    struct row {
        std::string path, message;
    };
    std::vector<row> rows = {
        {d.path(), "Logfile name specifies an existing path."},
        {d.file("missing/log.txt"),
         "Logfile path does not exist. Please verify the correct path was given."},
    };
    write_file_bytes(d.file("ro.log"), "");
    chmod(d.file("ro.log").c_str(), 0444);
    if (geteuid() != 0)
        rows.push_back({d.file("ro.log"), "Logfile name specifies an existing read-only file."});
    for (const row& r : rows)
        expect_run(run_talvorin({"--logfile=" + r.path, "--src=db", "--dest=/tmp/x"}), 255,
                   "Error:\n" + r.message + "\n", "", r.path);
}

TEST(console_args, profile_that_cannot_be_loaded_stops_before_anything_is_touched) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_profile_bad");
    db.exec("CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1)");
    tmp_dir d;
    fs::create_directories(d.file("out"));
    write_file_bytes(d.file("out/keep.dbf"), any_dbf_table());

    expect_run(run_talvorin(with_server({"--profile=" + d.file("none.ini"), "--src=" + db.name(),
                                         "--dest=" + d.file("out")})),
               255,
               "Error:\nProfile does not exist. Please verify the correct path/name was given.\n",
               "", "missing profile");

    const std::string body =
        "[Generic settings]\r\nsrc=" + db.name() + "\r\ndest=" + d.file("out") + "\r\nmode=0\r\n";
    write_file_bytes(d.file("p.ini"), "stray line\r\n" + body);
    run_result r = run_talvorin(with_server({"--profile=" + d.file("p.ini")}));
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out.rfind("Error:\nProfile cannot be loaded", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file_bytes(d.file("out/keep.dbf")), any_dbf_table());

    // A byte-order mark, as editors save UTF-8, is no content.
    write_file_bytes(d.file("p.ini"), "\xEF\xBB\xBF" + body);
    r = run_talvorin(with_server({"--profile=" + d.file("p.ini")}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_FALSE(fs::exists(d.file("out/keep.dbf")));
    EXPECT_EQ(dbf_header_records(d.file("out/t1.dbf")), 1);
}

TEST(console_args, connection_failures) {
    REQUIRE_TEST_SERVER();
    const test_server& s = test_server::get();
    tmp_dir d;
    const std::string dest = "--dest=" + d.file("out");

    expect_run(run_talvorin({"--mysqlh=" + s.host, "--port=" + std::to_string(s.port),
                             "--mysqlu=" + s.user, "--mysqlp=wrong", "--src=mysql", dest}),
               255, access_denied, "", "wrong password");
    expect_run(run_talvorin({"--silent", "--mysqlh=" + s.host, "--port=" + std::to_string(s.port),
                             "--mysqlu=" + s.user, "--mysqlp=wrong", "--src=mysql", dest}),
               255, "", "", "wrong password, silent");
    expect_run(run_talvorin({"--mysqlh=127.0.0.1", "--port=" + std::to_string(closed_port()),
                             "--mysqlu=" + s.user, "--mysqlp=x", "--src=mysql", dest}),
               255, cannot_connect, "", "closed port");
    for (const char* port : {"0", "abc", "70000"})
        expect_run(run_talvorin(
                       {"--mysqlh=127.0.0.1", std::string("--port=") + port, "--src=mysql", dest}),
                   255, "Error:\nInvalid port number\n", "", port);
    // Nothing was created for any of them.
    EXPECT_FALSE(fs::exists(d.file("out")));
}

TEST(console_args, failures_of_the_source_and_the_destination) {
    REQUIRE_TEST_SERVER();
    tmp_dir d;
    // An unknown source is found before the destination is touched: a missing folder is
    // not created, and mode 0 deletes nothing.
    fs::create_directories(d.file("full"));
    write_file_bytes(d.file("full/keep.dbf"), any_dbf_table());
    for (const char* dest : {"out", "full"})
        expect_run(run_talvorin(with_server({"--src=no_such_db_e2e", "--dest=" + d.file(dest)})),
                   255, "Error:\nUnknown database 'no_such_db_e2e'\n", "", dest);
    EXPECT_FALSE(fs::exists(d.file("out")));
    EXPECT_EQ(read_file_bytes(d.file("full/keep.dbf")), any_dbf_table());

    write_file_bytes(d.file("file"), "unchanged");
    expect_run(run_talvorin(with_server({"--src=mysql", "--dest=" + d.file("file")})), 255,
               "Error:\nYou should enter path to FoxPro/DBase database, not a file name\n", "",
               "destination is a file");
    // Below a file, the file is what stands in the way.
    expect_run(run_talvorin(with_server({"--src=mysql", "--dest=" + d.file("file/sub/dbf")})), 255,
               "Error:\n" + d.file("file") + ": Not a directory\n", "", "destination below a file");
    EXPECT_EQ(read_file_bytes(d.file("file")), "unchanged");
}

// A maintainer's trace: TORVANE_TRACE sets the level the log writes from, and changes
// nothing else: the same tables, the same output, the count still on the second
// connection.
TEST(console_args, a_trace_level_from_the_environment_changes_nothing_but_the_log) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_trace");
    db.exec(
        "CREATE TABLE big (id INT, note TEXT);"
        "INSERT INTO big SELECT seq, CONCAT('note ', seq) FROM seq_1_to_3000");
    struct {
        const char* level;  // null: not set
        bool flow;          // level-2 lines are written
        bool detail;        // level-1 lines are written
        const char* err;
        bool silent = false;  // a silent run shows no count, and takes none
    } cases[] = {
        {nullptr, false, false, ""},
        {"3", false, false, ""},
        {"2", true, false, ""},
        {"1", true, true, ""},
        {"4", false, false, "TORVANE_TRACE=4 is not 1, 2 or 3; the log writes level 3\n"},
        {"2", true, false, "", true},
    };
    tmp_dir d;
    std::string first_table;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level ? c.level : "not set") + (c.silent ? ", silent" : ""));
        if (c.level)
            setenv("TORVANE_TRACE", c.level, 1);
        else
            unsetenv("TORVANE_TRACE");
        const std::string log = d.file("run.log"), out = d.file("out");
        fs::remove_all(out);
        std::vector<std::string> args = {"--logfile=" + log, "--src=" + db.name(), "--dest=" + out};
        if (c.silent) args.push_back("--silent");
        run_result r = run_talvorin(with_server(args));
        unsetenv("TORVANE_TRACE");
        expect_run(r, 0,
                   c.silent ? ""
                            : "Converting database " + db.name() +
                                  "(1 tables)\nConverting table big(3000 records)\n",
                   c.err, "");
        std::string table = read_file_bytes(out + "/big.dbf");
        ASSERT_GT(table.size(), 4u);
        table.replace(1, 3, "ymd");  // the day of the run
        if (first_table.empty()) first_table = table;
        EXPECT_EQ(table, first_table);
        const std::string text = read_file_bytes(log);
        EXPECT_EQ(text.find("Processing table big") != std::string::npos, c.flow) << text;
        EXPECT_EQ(text.find("The records of big are counted on the second connection") !=
                      std::string::npos,
                  c.flow && !c.silent)
            << text;
        // The rows read are the count of a table read whole.
        EXPECT_EQ(text.find("Table big has 3000 record(s)") != std::string::npos, c.flow) << text;
        EXPECT_EQ(text.find("Converting 1 record") != std::string::npos, c.detail);
    }
}

TEST(console_args, silent_run_and_log_file) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_silent");
    db.exec("CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1),(2)");
    tmp_dir d;
    const std::string log = d.file("run.log");
    write_file_bytes(log, "old content\r\n");

    run_result r = run_talvorin(with_server(
        {"--silent", "--logfile=" + log, "--src=" + db.name(), "--dest=" + d.file("out")}));
    expect_run(r, 0, "", "", "silent run");
    EXPECT_EQ(dbf_header_records(d.file("out/t1.dbf")), 2);
    std::string text = read_file_bytes(log);
    // Only level-3 lines: the connection, the start, the engines' milestones, the end;
    // CR LF; no old content.
    const std::string date = R"(\d\d/\d\d/\d{4} at \d\d:\d\d:\d\d)";
    EXPECT_TRUE(std::regex_match(
        text, std::regex("Connecting to MySQL server\\.\\.\\.\r\nConversion started on " + date +
                         "\r\nOpening MySQL database '" + db.name() +
                         "'\r\n(?:[^\r\n]*\r\n)*Conversion ended on " + date + "\r\n")))
        << text;
    EXPECT_EQ(text.find(test_server::get().password), std::string::npos);

    // An error goes to the log with its line breaks.
    r = run_talvorin({"--logfile=" + log, "--mysqlh=127.0.0.1", "--port=0", "--src=x",
                      "--dest=" + d.file("out")});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(read_file_bytes(log), "Error:\nInvalid port number\r\n");

    // A value that cannot be kept is logged once, as it is reported: with its table and
    // record.
    db.exec(
        "SET SESSION sql_mode = 'ALLOW_INVALID_DATES'; CREATE TABLE t2 (d DATE);"
        "INSERT INTO t2 VALUES ('2024-01-01'), ('2024-02-31')");
    r = run_talvorin(with_server(
        {"--silent", "--logfile=" + log, "--src=" + db.name(), "--dest=" + d.file("out2")}));
    EXPECT_EQ(r.code, 0);
    text = read_file_bytes(log);
    const std::string value = "The value '2024-02-31' of column 'd' cannot be stored";
    const size_t at = text.find(value);
    EXPECT_EQ(text.find(value, at + 1), std::string::npos) << text;
    EXPECT_NE(text.find("Error:\nt2, record #2: " + value), std::string::npos) << text;
}

TEST(console_args, later_options_override_earlier_ones_and_profiles) {
    REQUIRE_TEST_SERVER();
    const test_server& s = test_server::get();
    scratch_db db("e2e_order");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1);"
        "CREATE TABLE t2 (a INT); INSERT INTO t2 VALUES (1),(2);"
        "CREATE TABLE t3 (a INT); INSERT INTO t3 VALUES (1),(2),(3)");
    tmp_dir d;
    const std::string out = d.file("out");

    // Two sources: the second is converted.
    run_result r =
        run_talvorin(with_server({"--src=nosuch", "--src=" + db.name(), "--dest=" + out}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting database " + db.name() +
                         "(3 tables)\nConverting table t1(1 records)\nConverting table t2(2 "
                         "records)\nConverting table t3(3 records)\n");

    // A profile with its own tables, mode 2 and a wrong password.
    const std::string profile = d.file("p.ini");
    write_file_bytes(profile, "[Generic settings]\r\nsrc=" + db.name() + "\r\ndest=" + out +
                                  "\r\nmode=2\r\n\r\n[Selected Tables]\r\nt2\r\n\r\n"
                                  "[MySQL settings]\r\nhost=" +
                                  s.host + "\r\nport=" + std::to_string(s.port) +
                                  "\r\nuser=" + s.user + "\r\npassword=wrong\r\n");
    fs::remove_all(out);
    fs::create_directories(out);
    // t3 exists already: mode 2 keeps it as it is.
    write_file_bytes(out + "/t3.dbf", any_dbf_table());
    r = run_talvorin(with_server({"--profile=" + profile}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    // Only the profile's table; the options' account.
    EXPECT_EQ(r.out,
              "Converting database " + db.name() + "(1 tables)\nConverting table t2(2 records)\n");
    EXPECT_FALSE(fs::exists(out + "/t1.dbf"));
    EXPECT_EQ(read_file_bytes(out + "/t3.dbf"), any_dbf_table());

    // A later --mode=0 overrides the profile's mode.
    r = run_talvorin(with_server({"--profile=" + profile, "--mode=0"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_FALSE(fs::exists(out + "/t3.dbf"));
    EXPECT_EQ(dbf_header_records(out + "/t2.dbf"), 2);

    // The connection settings are the options', always: without --mysqlp= the password
    // is empty, whatever the profile says.
    r = run_talvorin({"--mysqlh=" + s.host, "--port=" + std::to_string(s.port),
                      "--mysqlu=" + s.user, "--profile=" + profile});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, access_denied);

    // Of a table-list file and a profile's tables, the later one decides.
    write_file_bytes(d.file("list"), "t3\n");
    const std::string list = "--tab_file=" + d.file("list");
    struct {
        std::vector<std::string> order;
        const char* table;
        long records;
    } lists[] = {
        {{"--profile=" + profile, list}, "t3", 3},
        {{list, "--profile=" + profile}, "t2", 2},
    };
    for (const auto& c : lists) {
        std::vector<std::string> args = c.order;
        args.push_back("--mode=0");
        r = run_talvorin(with_server(args));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(r.out, "Converting database " + db.name() + "(1 tables)\nConverting table " +
                             c.table + "(" + std::to_string(c.records) + " records)\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
        EXPECT_TRUE(fs::exists(out + "/" + c.table + ".dbf"));
    }
}

TEST(console_args, profile_values_written_with_blanks_around_them_mean_what_they_say) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_padded");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1);"
        "CREATE TABLE t2 (a INT); INSERT INTO t2 VALUES (1),(2)");
    tmp_dir d;
    const std::string out = d.file("out"), log = d.file("run.log"), profile = d.file("p.mvl");
    // Each value as an editor may leave it: "=" set apart, a tab or an extra CR at the end.
    for (const std::string before : {" ", ""})
        for (const std::string after : {" ", "\t", "\r", " \t "}) {
            const std::string row = "'" + before + "' '" + after + "'";
            auto line = [&](const std::string& key, const std::string& value) {
                return key + before + "=" + before + value + after + "\r\n";
            };
            write_file_bytes(profile, "[Generic settings]\r\n" + line("src", db.name()) +
                                          line("dest", out) + line("logfile", log) +
                                          line("mode", "1") + "[Selected Tables]\r\n" + before +
                                          "t2" + after + "\r\n");
            fs::remove_all(out);
            fs::remove(log);
            expect_run(
                run_talvorin(with_server({"--profile=" + profile})), 0,
                "Converting database " + db.name() + "(1 tables)\nConverting table t2(2 records)\n",
                "", row);
            EXPECT_EQ(dbf_header_records(out + "/t2.dbf"), 2) << row;
            EXPECT_NE(read_file_bytes(log).find("Conversion ended on"), std::string::npos) << row;
            // Nothing went anywhere else.
            EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 3)
                << row;
            EXPECT_FALSE(fs::exists(" ")) << row;
        }
}

TEST(console_args, settings_that_would_be_misread_stop_it_before_anything_is_touched) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_misread");
    db.exec("CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1)");
    scratch_db other("e2e_misread_other");
    other.exec("CREATE TABLE keep (a INT); INSERT INTO keep VALUES (1)");
    tmp_dir d;
    const std::string out = d.file("out");
    ASSERT_EQ(run_talvorin(with_server({"--src=" + other.name(), "--dest=" + out})).code, 0);

    write_file_bytes(d.file("empty.list"), "\n\r\n");
    write_file_bytes(d.file("blank.list"), "   \n \r\n");
    const std::string long_name(65, 'n');
    write_file_bytes(d.file("long.list"), "t1\n" + long_name + "\n");
    write_file_bytes(d.file("key.mvl"), "[Generic settings]\r\nmode=1\r\nmod=2\r\n");
    write_file_bytes(d.file("section.mvl"), "[Generic Setings]\r\nmode=2\r\n");
    write_file_bytes(d.file("flag.mvl"), "[Generic settings]\r\nonly definitions=no\r\n");
    fs::create_directories(d.file("folder.mvl"));
    const std::string log = d.file(std::string(300, 'l') + ".log");
    const std::string list_error =
        "Table names file " + d.file("long.list") + ", line 2: a name of 65 characters, '" +
        long_name.substr(0, 64) + "\u2026'; the server allows at most 64.\n";
    const std::string u = usage;
    struct row {
        std::string arg, out, err;
    };
    const row rows[] = {
        // A flag given a value is no flag.
        {"--tab_def=0", "", u},
        {"--blob2memo=no", "", u},
        {"--silent=0", "", u},
        {"--tab_file=" + d.file("empty.list"), "",
         "Table names file " + d.file("empty.list") + " names no table.\n"},
        {"--tab_file=" + d.file("blank.list"), "",
         "Table names file " + d.file("blank.list") + " names no table.\n"},
        {"--tab_file=" + d.file("long.list"), "", list_error},
        {"--tab_file=/dev/zero", "",
         "Table names file /dev/zero is too large: a list of tables holds at most 8 MB.\n"},
        {"--profile=" + d.file("key.mvl"),
         "Error:\nProfile " + d.file("key.mvl") +
             ", line 3: unknown setting 'mod' in [Generic settings].\n",
         ""},
        {"--profile=" + d.file("section.mvl"),
         "Error:\nProfile " + d.file("section.mvl") +
             ", line 1: unknown section [Generic Setings].\n",
         ""},
        {"--profile=" + d.file("flag.mvl"),
         "Error:\nProfile " + d.file("flag.mvl") +
             ", line 2: 'only definitions' takes 0 or 1, not 'no'.\n",
         ""},
        {"--profile=" + d.file("folder.mvl"),
         "Error:\nProfile " + d.file("folder.mvl") +
             " is a folder, not a file. Please verify the correct path/name was given.\n",
         ""},
        {"--profile=/dev/zero",
         "Error:\nProfile /dev/zero is too large: a profile holds at most 8 MB.\n", ""},
        {"--dest=" + out + "\xe9", "", "The value of --dest= is not UTF-8 text.\n"},
        {"--logfile=" + log, "Error:\nCannot create log file " + log + ": File name too long\n",
         ""},
    };
    for (const row& r : rows) {
        expect_run(run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out, r.arg})), 255,
                   r.out, r.err, r.arg);
        // Mode 0 would have emptied the folder.
        EXPECT_EQ(dbf_header_records(out + "/keep.dbf"), 1) << r.arg;
        EXPECT_FALSE(fs::exists(out + "/t1.dbf")) << r.arg;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 8);
}

TEST(console_args, profiles_and_table_lists_are_read_from_pipes) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_pipes");
    db.exec(
        "CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1);"
        "CREATE TABLE t2 (a INT); INSERT INTO t2 VALUES (1),(2)");
    tmp_dir d;
    const std::string out = d.file("out");
    const std::string head = "Converting database " + db.name() + "(1 tables)\nConverting table ";
    struct {
        std::string option, text, out;
    } rows[] = {
        {"--profile=",
         "[Generic settings]\r\nsrc=" + db.name() + "\r\ndest=" + out +
             "\r\n[Selected Tables]\r\nt1\r\n",
         head + "t1(1 records)\n"},
        {"--tab_file=", "t2\n", head + "t2(2 records)\n"},
    };
    for (const auto& r : rows) {
        const std::string fifo = d.file("fifo");
        std::thread writer = feed_fifo(fifo, r.text);
        run_result res =
            run_talvorin(with_server({"--src=" + db.name(), "--dest=" + out, r.option + fifo}));
        writer.join();
        fs::remove(fifo);
        expect_run(res, 0, r.out, "", r.option);
    }
    EXPECT_EQ(dbf_header_records(out + "/t2.dbf"), 2);
}

TEST(console_args, a_password_with_blanks_is_taken_as_given) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_blanks");
    db.exec("CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (1)");
    const std::string user = "e2e_blank_" + std::to_string(getpid());
    db.exec("DROP USER IF EXISTS '" + user + "'@'127.0.0.1';CREATE USER '" + user +
            "'@'127.0.0.1' IDENTIFIED BY ' pw ';GRANT SELECT ON `" + db.name() + "`.* TO '" + user +
            "'@'127.0.0.1'");
    tmp_dir d;
    const test_server& s = test_server::get();
    run_result r =
        run_talvorin({"--mysqlh=127.0.0.1", "--port=" + std::to_string(s.port), "--mysqlu=" + user,
                      "--mysqlp= pw ", "--src=" + db.name(), "--dest=" + d.file("out")});
    db.exec("DROP USER '" + user + "'@'127.0.0.1'");
    expect_run(r, 0,
               "Converting database " + db.name() + "(1 tables)\nConverting table t1(1 records)\n",
               "", "password ' pw '");
}
