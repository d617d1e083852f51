#include "TK/tk_errh.hpp"

#include <gtest/gtest.h>

TEST(error_handler, message_takes_context_and_known_code_texts) {
    error_handler h(error_handler_code_count, error_handler_codes);
    struct code_exception : tk_exception {
        explicit code_exception(uint32_t c) : tk_exception("server text", 0) { set_code(c); }
    };
    EXPECT_EQ(h.build_message(tk_exception("plain", 0)), "plain");
    h.set_context(L"orders");
    EXPECT_EQ(h.build_message(code_exception(0x400415)),
              "orders: Access denied. Verify the user name and password are correct, and you "
              "have\nthe necessary privileges to connect to the target MySQL server.");
    EXPECT_EQ(h.build_message(code_exception(0x400999)), "orders: server text");
    h.set_record_context(L"\u0437\u0430\u043a\u0430\u0437", 12);
    EXPECT_EQ(h.build_message(tk_exception("bad value", 0)),
              "\xd0\xb7\xd0\xb0\xd0\xba\xd0\xb0\xd0\xb7, record #12: bad value");
    h.set_context(L"");
    EXPECT_EQ(h.build_message(code_exception(0x4007D5)).substr(0, 36),
              "Cannot connect to the MySQL server. ");
    EXPECT_EQ(&error_handler::instance(), &h);
}

TEST(error_handler, refused_connection_codes_of_either_client_library_get_the_connect_text) {
    error_handler h(error_handler_code_count, error_handler_codes);
    struct code_exception : tk_exception {
        explicit code_exception(uint32_t c) : tk_exception("server text", 0) { set_code(c); }
    };
    const std::string refused = h.build_message(code_exception(0x4007D3));
    EXPECT_EQ(refused.rfind("Cannot connect to the MySQL server.", 0), 0u);
    for (uint32_t code : {0x4007D2u, 0x4007D5u})
        EXPECT_EQ(h.build_message(code_exception(code)), refused) << std::hex << code;
    EXPECT_EQ(error_handler::on_one_line(refused),
              "Cannot connect to the MySQL server. Check to verify that MySQL server is "
              "launched and the correct host/port values were given.");
    // Any other code of the client library keeps the server's own text.
    EXPECT_EQ(h.build_message(code_exception(0x4007D1)), "server text");
}
