// The write side's tests: a source database filled behind the engine's back, a second
// database created through the engine, tables copied from one to the other through the
// read and the write side, and compares made on the server by another connection.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_tab.hpp"
#include "TK/tk_errh.hpp"
#include "tests/SQL/sql_test_support.hpp"

class sql_write_test : public sql_server_test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a statement in the source or in the destination database.
    void in_src(const std::string& statement);
    void in_dst(const std::string& statement);
    // Reads the table through the read side to its end (one connection: nothing can be
    // written while rows are still streaming).
    std::vector<std::unique_ptr<udb_record>> read_table(sql_database& from,
                                                        const std::wstring& table);
    // Creates the table in `dest` from the source's schema and keys, appends every row
    // and flushes. Returns the source's rows.
    std::vector<std::unique_ptr<udb_record>> copy_table(sql_database& from,
                                                        const std::wstring& table);
    // Source rows (joined on the key) for which any expression differs between the two
    // databases; each expression has "$" where the column stands. The row counts must
    // be equal too.
    struct column_check {
        std::string src, dst, expr;
    };
    long long differing_rows(const std::string& src_table, const std::string& dst_table,
                             const column_check& key, const std::vector<column_check>& columns);
    // The same for columns and tables of the same names.
    long long differing_rows(const std::string& table, const std::string& key,
                             const std::vector<std::pair<std::string, std::string>>& columns);
    // A table's column names in order.
    std::vector<std::string> columns_of(const std::string& database, const std::string& table);
    std::string scalar_in_dst(const std::string& statement);
    // Creates a table in the destination behind the engine's back, opens the
    // destination again with `mode`, and returns the table.
    std::unique_ptr<sql_table> dest_table(const std::string& ddl, const std::wstring& name,
                                          int32_t mode = 2);
    // The engine's session counter (Com_insert and the like).
    long long session_status(sql_database& db, const wchar_t* name);

    std::unique_ptr<error_handler> handler;
    std::unique_ptr<sql_database> src;  // opened for reading
    std::unique_ptr<sql_database> dest;
    std::string dst;  // UTF-8
    std::wstring wdst;
};

// A record made in memory: (name, value) pairs.
std::unique_ptr<udb_record> make_record(
    const std::vector<std::pair<std::wstring, ole_variant>>& fields);
// The same table object as a sql_table.
inline sql_table& as_table(udb_recordset& rs) {
    return static_cast<sql_table&>(rs);
}
