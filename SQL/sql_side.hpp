// A second connection to the server, the twin of the engine's (same settings, same
// session), that counts a table's rows while the rows stream on the engine's own
// connection, so that the count no longer holds back the stream.
#pragma once

#include <mysql.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "SQL/sql_intr.hpp"

class sql_side_connection {
  public:
    // Connects and sets up the session as the engine's connect does. Raises
    // sql_exception when the server refuses, or when a session statement fails: a
    // connection that differs from the engine's would count differently.
    sql_side_connection(const std::string& host, const std::string& user,
                        const std::string& password, int port);
    ~sql_side_connection();
    sql_side_connection(const sql_side_connection&) = delete;
    sql_side_connection& operator=(const sql_side_connection&) = delete;

    // Sends the statement, after making `database` the selected one, and returns at
    // once; take_count reads the answer. Raises sql_exception when it cannot be sent.
    void send_count(const std::wstring& database, const std::string& utf8_statement);
    // True once something has arrived to be read, waiting at most `wait` for it. On an
    // idle connection that means the server closed it.
    bool has_answer(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) const;
    // The first column of the answer's first row (0 without a row, or for NULL);
    // waits for it. Raises sql_exception, marked as the side connection's, when the
    // statement failed.
    uint64_t take_count();
    // A failure left the connection unusable.
    bool is_lost() const { return lost_; }

    // The engine's connect this connection belongs to.
    uint64_t session = 0;

  private:
    [[noreturn]] void fail();

    MYSQL mysql_;
    // Its connect, and a count that waits on a silent server, can be interrupted.
    sql_interruptible socket_;
    std::wstring database_;
    bool lost_ = false;
};
