// The condition of an UPDATE or DELETE from a key given as tagged text
// ("<id>5</id><name>x</name>"), with the column types of the table.
#pragma once

#include <string>

#include "UDB/udb_ftd.hpp"

class sql_database;

class sql_sync {
  public:
    explicit sql_sync(sql_database& db);

    // `columns`: the table's schema when the caller has it; else the columns are read
    // from the server. A column the schema lacks compares as text. A value for a
    // numeric column that is not a number raises kind 0: quoted, the server would read
    // "5 OR 1=1" as 5. A binary column's value is a hexadecimal literal ("0x...", X''
    // when empty) or else a quoted string, never a bare number.
    std::wstring get_filter_subquery(const std::wstring& table, const std::wstring& key_text,
                                     const udb_schema* columns = nullptr);

  private:
    sql_database& db_;
};
