// Helpers for the MySQL engine's tests against the throwaway server: a plain second
// connection for setting things up behind the engine's back, and a fixture that owns a
// connected engine and a database of its own.
#pragma once

#include <mysql.h>

#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "tests/support/test_support.hpp"

// A connection of the test account through the client library itself.
class admin_connection {
  public:
    admin_connection();
    ~admin_connection();
    admin_connection(const admin_connection&) = delete;
    admin_connection& operator=(const admin_connection&) = delete;

    bool ok() const { return ok_; }
    // Runs the statement and fails the test when the server refuses it.
    void exec(const std::string& statement);
    // The first column of the first row, "NULL" for SQL NULL, "" for no row.
    std::string scalar(const std::string& statement);
    // Every row, each cell as its exact bytes (NULL as an absent optional is not
    // needed here: NULL reads as the text "<NULL>").
    std::vector<std::vector<std::string>> rows(const std::string& statement);
    MYSQL* handle() { return m_; }

  private:
    MYSQL* m_ = nullptr;
    bool ok_ = false;
};

// A name no other test program uses at the same time.
std::string unique_name(const std::string& tag);

// A connected engine and an empty database of its own, dropped at the end.
class sql_server_test : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the test database through the engine (mode 1 unless given).
    std::unique_ptr<sql_database> open(int32_t mode = 1);
    // Creates another database that TearDown drops.
    std::string make_database(const std::string& tag);

    std::unique_ptr<sql_engine> engine;
    std::unique_ptr<admin_connection> admin;
    std::string db;  // UTF-8
    std::wstring wdb;
    std::vector<std::string> extra_databases;
};

std::string quote_ident(const std::string& name);
// A string literal: between apostrophes, apostrophes and backslashes escaped.
std::string quote_literal(const std::string& text);

// A table of every column type of the server, and rows for it: every value at its
// edge, all NULLs, zero dates and times, and a character of four bytes.
extern const char* const all_types_table;
extern const char* const all_types_rows[4];
