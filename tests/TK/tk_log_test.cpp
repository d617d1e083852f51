#include "TK/tk_log.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "tests/support/test_support.hpp"

namespace {

bool exists(const std::string& p) {
    return ::access(p.c_str(), F_OK) == 0;
}

}  // namespace

TEST(tk_logger, disabled_logger_touches_nothing) {
    tmp_dir d;
    std::string f = d.file("trace.log");
    {
        tk_logger log(f.c_str(), false, 1, false);
        tk_log_printf(3, "line %d", 1);
        tk_log_wprintf(3, L"wide %s", L"x");
    }
    EXPECT_FALSE(exists(f));
}

TEST(tk_logger, no_logger_means_no_argument_evaluation) {
    int evaluated = 0;
    auto arg = [&] { return ++evaluated; };
    tk_log_printf(3, "%d", arg());
    EXPECT_EQ(evaluated, 0);
    tmp_dir d;
    tk_logger log(d.file("t.log").c_str(), true, 3, false);
    tk_log_printf(1, "%d", arg());  // below the threshold
    EXPECT_EQ(evaluated, 0);
    tk_log_printf(3, "%d", arg());
    EXPECT_EQ(evaluated, 1);
}

TEST(tk_logger, truncates_once_filters_levels_and_ends_lines_with_crlf) {
    tmp_dir d;
    std::string f = d.file("trace.log");
    write_file_bytes(f, "old content\r\n");
    tk_logger log(f.c_str(), false, 3, false);
    EXPECT_EQ(read_file_bytes(f), "old content\r\n");
    log.set_enabled(true);
    tk_log_printf(1, "below threshold");  // empties the file, writes nothing
    EXPECT_EQ(read_file_bytes(f), "");
    tk_log_printf(3, "Conversion started on %02d/%02d/%04d", 9, 12, 2026);
    tk_log_wprintf(3, L"Error:\n%s", std::wstring(L"\u0422\u0430\u0431\u043b\u0438\u0446\u0430"));
    tk_log_printf(2, "flow");
    EXPECT_EQ(read_file_bytes(f),
              "Conversion started on 09/12/2026\r\n"
              "Error:\n\xd0\xa2\xd0\xb0\xd0\xb1\xd0\xbb\xd0\xb8\xd1\x86\xd0\xb0\r\n");
    // Deleted while running: the next line recreates it, and it is not emptied again.
    ::unlink(f.c_str());
    tk_log_printf(3, "again");
    tk_log_printf(3, "and again");
    EXPECT_EQ(read_file_bytes(f), "again\r\nand again\r\n");
}

TEST(tk_logger, enabled_from_the_start_empties_at_construction_and_stamps_lines) {
    tmp_dir d;
    std::string f = d.file("t.log");
    write_file_bytes(f, "stale");
    tk_logger log(f.c_str(), true, 1, true);
    EXPECT_EQ(read_file_bytes(f), "");
    tk_log_printf(1, "stamped");
    std::string s = read_file_bytes(f);
    EXPECT_TRUE(std::regex_match(s, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] stamped\r\n")))
        << s;
}

TEST(tk_logger, default_name_is_the_program_path_with_log_extension) {
    tk_logger log(nullptr, false, 3, false);
    std::string n = log.file_name();
    EXPECT_EQ(n.substr(n.size() - 4), ".log");
    EXPECT_NE(n.find("tk_tests"), std::string::npos);
    EXPECT_THROW(log.set_file_name(nullptr), tk_mail_assertion);
}

// Each case runs in a child process: a deadlock ends there by the alarm, and the child's
// change of folder stays there.
TEST(tk_logger, default_and_relative_names_empty_their_file_and_never_deadlock) {
    tmp_dir d;
    const std::string module_log = [] {
        tk_logger probe(nullptr, false, 3, false);
        return probe.file_name();
    }();
    struct {
        const char* what;
        const char* ctor_name;  // null: the default name
        const char* renamed;    // set_file_name after construction, when not null
        int32_t threshold;
        std::string file;
    } cases[] = {
        {"created enabled with the default name", nullptr, nullptr, 3, module_log},
        {"created enabled with a relative name", "trace.log", nullptr, 3, d.file("trace.log")},
        {"created enabled at threshold 1 with a relative name", "trace.log", nullptr, 1,
         d.file("trace.log")},
        {"renamed to a relative name at threshold 2", "first.log", "trace.log", 2,
         d.file("trace.log")},
        {"renamed to a relative name at threshold 1", "first.log", "trace.log", 1,
         d.file("trace.log")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_file_bytes(c.file, c.renamed ? "" : "stale\r\n");
        EXPECT_EXIT(
            {
                alarm(10);
                if (::chdir(d.path().c_str()) != 0) _exit(3);
                tk_logger log(c.ctor_name, true, c.threshold, false);
                if (c.renamed) log.set_file_name(c.renamed);
                tk_log_printf(3, "line");
                _exit(0);
            },
            ::testing::ExitedWithCode(0), "");
        std::string s = read_file_bytes(c.file);
        // Lines of the name's own set-up may stand before it at low thresholds.
        EXPECT_TRUE(s.ends_with("line\r\n")) << s;
        EXPECT_EQ(s.find("stale"), std::string::npos) << s;
        if (!c.renamed && c.threshold == 3) {
            EXPECT_EQ(s, "line\r\n");
        }
    }
    ::unlink(module_log.c_str());
}

// Work done ahead on a helper thread is logged where it is taken over, so the log does
// not depend on how the threads ran.
TEST(tk_logger, lines_captured_on_a_helper_thread_land_where_they_are_replayed) {
    tmp_dir d;
    std::string f = d.file("trace.log");
    tk_logger log(f.c_str(), true, 2, false);
    tk_log_capture ahead;
    std::thread helper([&] {
        tk_log_capture_scope scope(ahead);
        tk_log_printf(2, "read %d", 1);
        tk_log_printf(1, "below the threshold");
        tk_log_wprintf(3, L"read %s", L"two");
    });
    helper.join();
    tk_log_printf(3, "before");
    EXPECT_EQ(read_file_bytes(f), "before\r\n");
    EXPECT_FALSE(ahead.empty());
    ahead.replay();
    EXPECT_TRUE(ahead.empty());
    tk_log_printf(3, "after");
    EXPECT_EQ(read_file_bytes(f), "before\r\nread 1\r\nread two\r\nafter\r\n");
    ahead.replay();  // nothing twice
    EXPECT_EQ(read_file_bytes(f), "before\r\nread 1\r\nread two\r\nafter\r\n");
}
