#include "TK/tk_errco.hpp"

#include <gtest/gtest.h>

#include "TK/tk_except.hpp"

TEST(tk_error_converter, first_text_of_a_code_wins_and_unknown_codes_give_nothing) {
    const tk_error_record records[] = {
        {0x400415, "Access denied"},
        {0x4007D3, "Cannot connect"},
        {0x400415, "ignored duplicate"},
    };
    tk_error_converter c(3, records);
    EXPECT_EQ(c.convert(0x400415), "Access denied");
    EXPECT_EQ(c.convert(0x4007D3), "Cannot connect");
    EXPECT_EQ(c.convert(0), "");
    tk_error_converter empty(0, records);
    EXPECT_EQ(empty.convert(0x400415), "");
    EXPECT_THROW(tk_error_converter(1, nullptr), tk_mail_assertion);
}
