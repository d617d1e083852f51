#include "SQL/sql_tab.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_fk.hpp"
#include "SQL/sql_rec.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

namespace {

// Reads a decimal number at `pos`, moving past it.
bool read_int(const std::wstring& s, size_t& pos, int& out) {
    size_t start = pos;
    long v = 0;
    while (pos < s.size() && s[pos] >= L'0' && s[pos] <= L'9' && v < 100000)
        v = v * 10 + (s[pos++] - L'0');
    out = static_cast<int>(v);
    return pos > start;
}

// "varchar(%d)": the number when the type text starts that way.
bool scan_varchar(const std::wstring& type, int& size) {
    if (!type.starts_with(L"varchar(")) return false;
    size_t pos = 8;
    return read_int(type, pos, size);
}

// "float(%d,%d)".
bool scan_float(const std::wstring& type, int& p, int& s) {
    if (!type.starts_with(L"float(")) return false;
    size_t pos = 6;
    if (!read_int(type, pos, p) || pos >= type.size() || type[pos] != L',') return false;
    ++pos;
    return read_int(type, pos, s);
}

// A zero date in any of its forms: "0000-00-00", "0000-00-00 00:00:00[.000000]", ...
bool is_zero_date(const std::wstring& text) {
    if (text.empty()) return true;
    for (wchar_t c : text)
        if (c != L'0' && c != L'-' && c != L':' && c != L'.' && c != L' ') return false;
    return true;
}

// A bit literal b'0101' as a number.
bool parse_bit_literal(const std::wstring& text, uint64_t& out) {
    if (text.size() < 3 || (text[0] != L'b' && text[0] != L'B') || text[1] != L'\'' ||
        text.back() != L'\'')
        return false;
    out = 0;
    for (size_t i = 2; i + 1 < text.size(); ++i) {
        if (text[i] != L'0' && text[i] != L'1') return false;
        out = (out << 1) | static_cast<uint64_t>(text[i] - L'0');
    }
    return true;
}

}  // namespace

ole_variant sql_default_value(const t_ftd& column, const std::wstring& text) {
    uint64_t bits = 0;
    if ((column.vartype == VT_UI4 || column.vartype == VT_UI8) && parse_bit_literal(text, bits))
        return column.vartype == VT_UI4 ? ole_variant(static_cast<uint32_t>(bits))
                                        : ole_variant(bits);
    if (column.vartype == VT_DECIMAL && (column.precision > 28 || column.scale > 28))
        return ole_variant(text);
    try {
        return get_variant(column.vartype, &text);
    } catch (const tk_exception& e) {
        tk_log_wprintf(2, L"Default value '%s' of '%s' not kept: %s", text, column.name,
                       std::string(e.what()));
        return ole_variant();
    }
}

sql_table::sql_table(sql_database* owner, const std::wstring& name,
                     std::vector<udb_relationship>* relationships, int32_t mode)
    : sql_recordset(owner, name, relationships) {
    tk_log_printf(2, "sql_table::ctor");
    initialize(mode);
}

sql_table::~sql_table() = default;

void sql_table::initialize(int32_t mode) {
    tk_log_printf(2, "sql_table::initialize(%d)", mode);
    read_columns();
    if ((mode & ~(udb_open_no_keys | udb_open_no_indexes)) == 0) {
        tk_log_printf(2, "Mode=no_indexes, nothing to do");
        return;
    }
    read_keys();
    if (sql_engine::instance().get_version() > 0x03172B) read_foreign_keys();
}

void sql_table::read_columns() {
    // BLOB-typed cells of the listing (type and default texts) read as text.
    sql_blob_to_text_scope text_scope(true);
    auto rs = db_->query_rs(L"SHOW COLUMNS FROM " + sql_engine::get_safe_name(name_));
    if (!rs) return;
    rs->reset();
    for (; !rs->is_eof(); rs->next()) {
        const udb_record& row = *rs->get_item();
        if (row.size() < 3) continue;
        const std::wstring column = row[0].to_wstring();
        const std::wstring type = row[1].to_wstring();
        tk_log_wprintf(2, L"Field '%s' has type: %s", column, type);
        // Columns that SELECT * leaves out (invisible ones) have no descriptor.
        int index = schema_.find_index(column);
        if (index < 0) {
            tk_log_wprintf(2, L"Column '%s' is not read; skipped", column);
            continue;
        }
        t_ftd& d = schema_[static_cast<size_t>(index)];

        int n = 0, p = 0, s = 0;
        if (scan_varchar(type, n)) {
            tk_log_printf(2, "Refining type/size for varchar(%d)", n);
            d.vartype = VT_BSTR;
            d.size = n;
        } else if (scan_float(type, p, s)) {
            tk_log_printf(2, "Refining type for FLOAT(%d,%d)", p, s);
            if (p != 0 && s != 0 && s < p) {
                d.vartype = VT_DECIMAL;
                d.precision = p;
                d.scale = s;
            }
        } else if (tk_wstring::ends_with(type, L"text", true) ||
                   tk_wstring::ends_with(type, L"TEXT", true)) {
            tk_log_printf(2, "Change type from BLOB to TEXT");
            d.vartype = VT_BSTR;
        }

        const std::wstring def = row[row.size() - 2].to_wstring();
        tk_log_wprintf(2, L"Got default value: %s", def);
        if (!d.b_not_null && def.empty()) continue;
        tk_log_printf(2, "Default value's type: %08X", d.vartype);
        if (d.vartype == VT_DATE) {
            if (is_zero_date(def)) {
                tk_log_printf(2, "Skip empty def.values for date column");
                d.b_not_null = false;
            } else if (sql_is_current_time_default(def)) {
                tk_log_printf(2, "Special processing for CURRENT_TIMESTAMP");
                d.reserved = 9;
            }
        } else if (d.vartype == VT_BOOL) {
            tk_log_printf(2, "Special processing for boolean");
            if (tk_iequal(def, L"b'0'"))
                d.default_value = ole_variant(false);
            else if (tk_iequal(def, L"b'1'"))
                d.default_value = ole_variant(true);
        } else {
            d.default_value = sql_default_value(d, def);
        }
    }
}

void sql_table::read_keys() {
    auto rs = db_->query_rs(L"SHOW INDEX FROM " + sql_engine::get_safe_name(name_));
    if (!rs) return;
    rs->reset();
    for (; !rs->is_eof(); rs->next()) {
        const udb_record& row = *rs->get_item();
        if (row.size() < 5) continue;
        const bool unique = row[1].to_wstring() == L"0";
        const std::wstring key = row[2].to_wstring();
        const bool primary = key == L"PRIMARY";
        const std::wstring column = row[4].to_wstring();
        tk_log_wprintf(2, L"Got index '%s' (primary=%d, unique=%d)", key, primary, unique);
        // Key parts over an expression have no column name.
        if (column.empty()) continue;
        tk_log_wprintf(1, L"udb_indexes::is_acceptable_name(%s)", key);
        int pos = indexes_.find(key);
        if (pos < 0) {
            tk_log_wprintf(1, L"udb_index::ctor('%s',%d,%d)", key, unique, primary);
            add_index(udb_index(key, unique, primary, {column}));
        } else {
            tk_log_wprintf(1, L"udb_indexes::get_index(%s)", key);
            indexes_[static_cast<size_t>(pos)].fields.push_back(column);
        }
    }
}

void sql_table::read_foreign_keys() {
    tk_log_printf(2, "Extracting foreign keys");
    auto rs = db_->query_rs(L"SHOW CREATE TABLE " + sql_engine::get_safe_name(name_));
    if (!rs) return;
    rs->reset();
    for (; !rs->is_eof(); rs->next()) {
        const udb_record& row = *rs->get_item();
        if (row.empty() || !relationships_) continue;
        const ole_variant& cell = row[row.size() - 1];
        const std::wstring* text = cell.get_bstr();
        sql_fk_parser parser(name_, text ? *text : cell.to_wstring());
        parser.do_parse(*relationships_);
    }
}
