// Proves the throwaway server: the fixture's address and account work with the
// client library the engine uses.
#include <mysql.h>

#include "tests/support/test_support.hpp"

TEST(test_server, answers_a_statement_over_tcp_with_the_test_account) {
    REQUIRE_TEST_SERVER();
    const auto& s = test_server::get();
    MYSQL* m = mysql_init(nullptr);
    ASSERT_NE(m, nullptr);
    ASSERT_NE(mysql_real_connect(m, s.host.c_str(), s.user.c_str(), s.password.c_str(), nullptr,
                                 s.port, nullptr, 0),
              nullptr)
        << mysql_error(m);
    ASSERT_EQ(mysql_query(m, "SELECT 6 * 7, CHAR_LENGTH('\xc3\xa4')"), 0) << mysql_error(m);
    MYSQL_RES* r = mysql_store_result(m);
    ASSERT_NE(r, nullptr);
    MYSQL_ROW row = mysql_fetch_row(r);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row[0], "42");
    mysql_free_result(r);
    mysql_close(m);
}

TEST(test_server, refuses_a_wrong_password) {
    REQUIRE_TEST_SERVER();
    const auto& s = test_server::get();
    MYSQL* m = mysql_init(nullptr);
    EXPECT_EQ(
        mysql_real_connect(m, s.host.c_str(), s.user.c_str(), "wrong", nullptr, s.port, nullptr, 0),
        nullptr);
    EXPECT_EQ(mysql_errno(m), 1045u);
    mysql_close(m);
}
