#include "SQL/sql_side.hpp"

#include <charconv>
#include <cstring>
#include <memory>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"

namespace {

sql_exception side_error(unsigned error_number, const std::string& text) {
    sql_exception e(error_number, text);
    e.set_on_side_connection();
    return e;
}

}  // namespace

sql_side_connection::sql_side_connection(const std::string& host, const std::string& user,
                                         const std::string& password, int port) {
    std::memset(&mysql_, 0, sizeof mysql_);
    if (!mysql_init(&mysql_)) throw side_error(0, "Cannot initialize the MySQL client library");
    mysql_options(&mysql_, MYSQL_READ_DEFAULT_GROUP, sql_option_group);
    unsigned int timeout = sql_connect_timeout;
    mysql_options(&mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    try {
        const sql_connect_result reached =
            sql_connect(&mysql_, host, user, password, port, socket_);
        if (!reached.connected) throw side_error(reached.error_number, reached.error_text);
        // The engine's own session, statement for statement; a variable the server
        // lacks is skipped here as there.
        auto run = [&](const sql_session_statement& s) {
            try {
                sql_run_session_statement(&mysql_, s);
            } catch (sql_exception& e) {
                e.set_on_side_connection();
                throw;
            }
        };
        for (const sql_session_statement& s : sql_session_statements) run(s);
        run(sql_foreign_key_checks_off);
    } catch (...) {
        socket_.release();
        mysql_close(&mysql_);
        throw;
    }
}

sql_side_connection::~sql_side_connection() {
    socket_.release();
    // A count still under way is left to the server: closing never waits for it.
    mysql_close(&mysql_);
}

void sql_side_connection::fail() {
    sql_exception e(&mysql_);
    e.set_on_side_connection();
    // A client-side error leaves the connection in no known state.
    if (e.connection_lost() || e.on_client_side()) lost_ = true;
    throw e;
}

void sql_side_connection::send_count(const std::wstring& database,
                                     const std::string& utf8_statement) {
    if (database != database_) {
        database_.clear();
        if (mysql_select_db(&mysql_, sql_to_utf8(database).c_str()) != 0) fail();
        database_ = database;
    }
    if (mysql_send_query(&mysql_, utf8_statement.data(), utf8_statement.size()) != 0) fail();
}

bool sql_side_connection::has_answer(std::chrono::milliseconds wait) const {
    return sql_has_input(const_cast<MYSQL*>(&mysql_), wait);
}

uint64_t sql_side_connection::take_count() {
    if (mysql_read_query_result(&mysql_) != 0) fail();
    MYSQL_RES* result = mysql_store_result(&mysql_);
    if (!result) {
        if (mysql_errno(&mysql_) != 0) fail();
        return 0;
    }
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> guard(result, &mysql_free_result);
    if (mysql_num_fields(result) == 0) throw side_error(0, "The result has no columns");
    MYSQL_ROW row = mysql_fetch_row(result);
    if (!row || !row[0]) return 0;
    const unsigned long* lengths = mysql_fetch_lengths(result);
    const std::string_view text(row[0], lengths ? lengths[0] : std::strlen(row[0]));
    uint64_t count = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (ec != std::errc() || end != text.data() + text.size())
        throw side_error(0, "Unexpected number '" + std::string(text) + "' from the server");
    return count;
}
