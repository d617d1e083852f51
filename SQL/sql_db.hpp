// One MySQL database over the engine's connection: its base tables and views, its
// tables as recordsets, and statements run on it.
#pragma once

#include <mysql.h>

#include <memory>
#include <string>

#include "UDB/udb_db.hpp"

class sql_tmp_recordset;
class sql_table;

class sql_database : public udb_database {
  public:
    // The database must be selected on the connection (sql_engine::open_db does that).
    // Reads the table list, and the views unless mode bit 0x80 is set. A refused table
    // listing raises sql_exception; a refused view listing leaves the views empty.
    sql_database(const std::wstring& name, MYSQL* connection, int32_t open_mode);
    ~sql_database() override;

    std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    // A statement's rows (sql_recordset).
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                             const std::wstring& query) override;
    // A table of the list (sql_table); the name is matched exactly first, then without
    // regard to case. A name the list lacks is an internal error: test is_table_exist.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int32_t mode) override;
    std::unique_ptr<sql_table> get_sql_table(const std::wstring& name, int32_t mode);
    // A statement with a result set: its rows, or null for a statement without one.
    // Raises sql_exception when the server refuses the statement.
    std::unique_ptr<udb_recordset> query(const std::wstring& text) override;
    std::unique_ptr<sql_tmp_recordset> query_rs(const std::wstring& text);
    // True when the server accepted the statement; never raises for a refusal.
    bool query(const std::wstring& text, udb_no_result_t) override;

    // The view text without its first comment and without qualifiers naming this database.
    std::wstring refine_view_out(const std::wstring& sql) const;

    MYSQL* get_connection() const { return connection_; }

  private:
    void init_tables();
    void init_views();

    MYSQL* connection_;
};
