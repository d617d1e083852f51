#include "TK/tk_except.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>

TEST(tk_exception, messages_kinds_and_codes) {
    EXPECT_STREQ(tk_exception("", 0).what(), "Unknown exception");
    EXPECT_STREQ(tk_exception(std::wstring(), 0).what(), "");
    EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
    tk_exception w(L"Tabelle \u00e4", 1);
    EXPECT_STREQ(w.what(), "Tabelle \xc3\xa4");
    EXPECT_EQ(w.kind(), 1);
    EXPECT_EQ(w.code(), 0u);
}

TEST(tk_exception, os_error_carries_errno_and_both_texts) {
    errno = 0;
    int fd = ::open("/nonexistent-folder/x", O_RDONLY);
    ASSERT_LT(fd, 0);
    tk_exception_ex e("Cannot open the table");
    EXPECT_EQ(e.code(), 2u);  // ENOENT
    EXPECT_EQ(e.kind(), 1);
    EXPECT_EQ(std::string(e.what()), "Cannot open the table: No such file or directory");
    EXPECT_STREQ(tk_exception_ex("", 1, ENOENT).what(), "No such file or directory");
    tk_exception_ex k0("x", 0, EACCES);
    EXPECT_EQ(k0.kind(), 0);
    EXPECT_EQ(k0.code(), static_cast<uint32_t>(EACCES));
}

TEST(tk_mail_assertion, encodes_the_position_in_hexadecimal) {
    struct {
        const char* file;
        int line;
        const char* code;
    } cases[] = {
        {"..\\TK/tk_singl.hpp", 71, "2e2e5c544b2f746b5f73696e676c2e6870705c3731"},
        {"../..\\TK/tk_singl.hpp", 64, "2e2e2f2e2e5c544b2f746b5f73696e676c2e6870705c3634"},
        {"tk_file.cpp", 20, "746b5f66696c652e6370705c3230"},
        {"", 0, "5c30"},
    };
    for (const auto& c : cases) {
        tk_mail_assertion a(c.file, c.line);
        EXPECT_EQ(a.kind(), 2);
        EXPECT_EQ(a.code(), 0u);
        EXPECT_EQ(std::string(a.what()), std::string("Internal error: \ncode=") + c.code);
    }
}

TEST(tk_final_exception, is_not_taken_by_a_tk_exception_handler) {
    bool by_tk = false, by_std = false;
    try {
        try {
            throw tk_final_exception();
        } catch (const tk_exception&) {
            by_tk = true;
        }
    } catch (const std::exception&) {
        by_std = true;
    }
    EXPECT_FALSE(by_tk);
    EXPECT_TRUE(by_std);
}
