// View texts rewritten for a MySQL destination: renamed tables and columns, T-SQL
// brackets and functions. The text is read as tokens, so nothing inside a string
// literal, a quoted name or a comment is ever touched.
#pragma once

#include <string>
#include <string_view>

#include "UDB/udb_nmap.hpp"

class sql_view_converter {
  public:
    explicit sql_view_converter(const udb_names_map& names) : names_(names) {}

    // Blanks folded, renamed names under their new names (a name is renamed wherever
    // it stands: a view text does not say which table a column belongs to), [name] as
    // `name`, isnull/getdate/len/datediff/dateadd/replicate calls in MySQL's spelling,
    // and a closing ";".
    std::wstring refine(const std::wstring& sql) const;

    // The text begins, after blanks and comments, with SELECT or WITH.
    static bool is_select(std::wstring_view sql);

  private:
    const std::wstring* renamed(const std::wstring& name) const;

    const udb_names_map& names_;
};
