// TALVORIN on a terminal shows how far a long table has got on that table's line; in a
// pipe or a file it writes what it always wrote.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

struct terminal_run {
    int code = -1;
    std::string bytes;  // everything the terminal received
    clock_type::duration took{};
};

// Runs TALVORIN with a terminal of `columns` columns as its standard streams.
terminal_run run_on_terminal(const std::vector<std::string>& args, unsigned short columns) {
    terminal_run r;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int master = -1;
    const auto start = clock_type::now();
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) return r;
    if (pid == 0) {
        setenv("LC_ALL", "C", 1);
        std::vector<char*> argv{const_cast<char*>(TALVORIN_BINARY)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TALVORIN_BINARY, argv.data());
        _exit(127);
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) {
            r.bytes.append(buffer, static_cast<size_t>(n));
            continue;
        }
        // The terminal reads as ended (EIO) once the program and its streams are gone.
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    r.took = clock_type::now() - start;
    close(master);
    r.code = wait_talvorin(pid);
    return r;
}

// The lines a person sees on a terminal `columns` wide once the program has ended: a
// carriage return goes back to the line's start, a character overwrites one column, a
// full line wraps.
std::vector<std::string> screen(const std::string& bytes, size_t columns) {
    std::vector<std::vector<std::string>> cells(1);
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            cells.emplace_back();
        } else {
            size_t end = i + 1;
            while (end < bytes.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
                ++end;
            if (column == columns) {
                cells.emplace_back();
                column = 0;
            }
            auto& line = cells.back();
            if (line.size() <= column) line.resize(column + 1, " ");
            line[column++] = bytes.substr(i, end - i);
            i = end - 1;
        }
    }
    std::vector<std::string> lines;
    for (const auto& line : cells) {
        std::string text;
        for (const auto& cell : line) text += cell;
        lines.push_back(text.erase(text.find_last_not_of(' ') + 1));
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(terminal, a_long_table_shows_its_progress_on_its_line_and_a_pipe_gets_the_lines_alone) {
    REQUIRE_TEST_SERVER();
    scratch_db db("t");
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, v VARCHAR(20));"
        "INSERT INTO big SELECT seq, CONCAT('v', seq) FROM seq_1_to_500000;"
        "CREATE TABLE small (a INT); INSERT INTO small VALUES (1)");
    tmp_dir dir;
    const std::vector<std::string> args =
        with_server({"--src=" + db.name(), "--dest=" + dir.file("out")});
    const std::vector<std::string> lines = {"Converting database " + db.name() + "(2 tables)",
                                            "Converting table big(500000 records)",
                                            "Converting table small(1 records)"};
    std::string piped;
    for (const auto& line : lines) piped += line + "\n";

    // A pipe or a file: the lines, once each, as always.
    const run_result plain = run_talvorin(args);
    EXPECT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(plain.out, piped);
    EXPECT_EQ(plain.err, "");

    const std::string drawn = "\rConverting table big\\(500000 records\\) [0-9]{1,3}%";
    struct {
        unsigned short columns;
        bool silent;
        std::string drawing;  // a drawing of the progress, as a pattern
    } cases[] = {
        {200, false, drawn + ", [0-9,]+ records copied"},
        // The shorter forms where the whole does not fit.
        {48, false, drawn + " *\r"},
        {200, true, ""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(std::to_string(t.columns) + (t.silent ? " silent" : ""));
        std::vector<std::string> a = args;
        a.push_back("--mode=1");
        if (t.silent) a.push_back("--silent");
        const terminal_run r = run_on_terminal(a, t.columns);
        EXPECT_EQ(r.code, 0) << r.bytes;
        if (t.silent) {
            EXPECT_EQ(r.bytes, "");
            continue;
        }
        // How far the long table got, drawn in place on its line, at most four times a
        // second; the short table's line is written as in a pipe.
        EXPECT_TRUE(std::regex_search(r.bytes, std::regex(t.drawing))) << r.bytes;
        // Each drawing begins with a carriage return, and so does the line's last writing;
        // the terminal turns each line end into a carriage return and a line feed.
        const size_t returns = count_of(r.bytes, "\r") - count_of(r.bytes, "\r\n");
        ASSERT_GE(returns, 2u) << r.bytes;
        const size_t drawings = returns - 1;
        EXPECT_LE(drawings * std::chrono::milliseconds(250), r.took) << r.bytes;
        EXPECT_NE(r.bytes.find("\r\nConverting table small(1 records)\r\n"), std::string::npos)
            << r.bytes;
        // Once through, the terminal shows the lines a pipe gets, and no drawing ever
        // went past the terminal's width.
        EXPECT_EQ(screen(r.bytes, t.columns), lines) << r.bytes;
    }
}
