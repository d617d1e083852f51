#include "TK/tk_log.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "tests/support/test_support.hpp"

namespace {

bool exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }

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
    EXPECT_TRUE(std::regex_match(s, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] stamped\r\n"))) << s;
}

TEST(tk_logger, default_name_is_the_program_path_with_log_extension) {
    tk_logger log(nullptr, false, 3, false);
    std::string n = log.file_name();
    EXPECT_EQ(n.substr(n.size() - 4), ".log");
    EXPECT_NE(n.find("tk_tests"), std::string::npos);
    EXPECT_THROW(log.set_file_name(nullptr), tk_mail_assertion);
}
