// One base table of a MySQL database: its rows (as a sql_recordset), its schema
// completed from the server's description of the table, its keys and foreign keys.
#pragma once

#include <string>
#include <vector>

#include "SQL/sql_recs.hpp"

class sql_table : public sql_recordset {
  public:
    // Reads the schema, and unless the mode has no bit outside 0x60, the keys and the
    // foreign keys (appended to `relationships`). Failures are exceptions: no object.
    sql_table(sql_database* owner, const std::wstring& name,
              std::vector<udb_relationship>* relationships, int32_t mode);
    ~sql_table() override;

  private:
    void initialize(int32_t mode);
    void read_columns();
    void read_keys();
    void read_foreign_keys();
};

// The value of a column's default text as SHOW COLUMNS gives it, for the column's
// descriptor; an empty value when the text does not read as that type.
ole_variant sql_default_value(const t_ftd& column, const std::wstring& text);
