// One MySQL database over the engine's connection: its base tables and views, its
// tables as recordsets, and statements run on it.
#pragma once

#include <mysql.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TK/tk_except.hpp"
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

    // --- Write side ---
    // The new table, or the existing one of that name opened for appending. A name
    // that is empty or longer than 64 characters is refused before anything is sent.
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    // Drops the table and takes it off the list.
    bool delete_tab(const std::wstring& name) override;
    // Deletes every row of the table.
    void empty_table(const std::wstring& name) override;
    // CREATE OR REPLACE VIEW for each SELECT, its text rewritten for this server and
    // this database's renames. A view that fails is reported; the others go on.
    void create_views(const udb_view_list& views) override;
    // ALTER TABLE ... ADD CONSTRAINT for each foreign key, after indexing both ends. A
    // key that fails is reported; the others go on.
    void create_relationships(const std::vector<udb_relationship>& relationships) override;
    // Adds an index over the columns unless a key of the table begins with them.
    void create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& columns);
    std::wstring refine_view_in(const std::wstring& sql) const;

    // --- Statements ---
    // Makes this database the connection's selected one.
    void use();
    // Sends exactly these bytes (NULs included) as one statement and reads off any
    // result. Raises sql_exception when refused; returns the warning count.
    unsigned execute(std::string_view utf8);
    // A data-changing statement: refused, or accepted with warnings (a value was
    // altered), it raises kind 0 with the server's text.
    void query_append(std::string_view utf8);
    // The rows the last statement sent with execute found: for an UPDATE those it
    // matched, changed or not; else those it affected.
    uint64_t found_rows() const { return found_rows_; }
    // Raises the last statement's warnings, when it left any, as one kind-0 error.
    void raise_warnings(unsigned count);
    // One statement whose placeholders take the fields' values, in placeholder order, as
    // long data of a prepared statement.
    void prepared_statement(std::string_view utf8, const std::vector<const udb_field*>& params);

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
    // The listed spelling of a table: the exact name first, else one that differs in case
    // (only when `any_case`); null when none.
    const std::wstring* find_listed(const std::wstring& name, bool any_case) const;
    // Reports one failed view or foreign key and goes on; without an error handler the
    // first failure is kept in `first` for the caller.
    void report_item(const std::wstring& context, const tk_exception& e,
                     std::unique_ptr<tk_exception>& first);

    MYSQL* connection_;
    uint64_t found_rows_ = 0;
};
