#include "SQL/sql_sync.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_tab.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_val.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_rs.hpp"
#include "platform/text.hpp"

sql_sync::sql_sync(sql_database& db) : db_(db) {
    tk_log_printf(2, "sql_sync::ctor");
}

std::wstring sql_sync::get_filter_subquery(const std::wstring& table, const std::wstring& key_text,
                                           const udb_schema* columns) {
    tk_log_wprintf(1, L"sql_sync::get_filter_subquery(%s,%s)", table, key_text);
    std::unique_ptr<sql_table> opened;
    if (!columns) {
        // Columns only: reading the keys would add the table's foreign keys again.
        opened = db_.get_sql_table(table, udb_open_no_keys | udb_open_no_indexes);
        columns = &opened->get_schema();
    }
    MYSQL* m = db_.get_connection();
    std::wstring result;
    auto column = [&](const std::wstring& name) {
        if (!result.empty()) result += L" and ";
        result += sql_engine::quote_name(name);
    };
    auto value = [&](const std::wstring& name, const std::wstring& v) {
        const VARTYPE vt = columns->find_field(name) ? columns->get_field_type(name) : VT_BSTR;
        const std::string utf8 = pt::utf8_encode(v);
        if (udb_is_numeric_vt(vt)) {
            tk_log_printf(1, "No quotes for numeric or binary");
            if (!sql_is_number_literal(utf8))
                throw tk_exception(
                    L"Key value '" + v + L"' is not a number for column '" + name + L"'",
                    tk_kind_continue);
            result += vt == VT_R4 ? L"=" + pt::utf8_decode(sql_float_as_stored(utf8)) : L"=" + v;
        } else if (udb_is_blob_vt(vt) && (sql_is_hex_literal(utf8) || v.empty())) {
            // Bytes as a hexadecimal literal; anything else compares as a string, byte for
            // byte: bare digits would compare as a number.
            tk_log_printf(1, "No quotes for numeric or binary");
            result += v.empty() ? L"=X''" : L"=" + v;
        } else {
            result +=
                L"=" + pt::utf8_decode(sql_quote_literal(m, pt::utf8_encode(udb_unentity(v))));
        }
    };
    udb_scan_key_text(key_text, column, value);
    return result;
}
