#include "SQL/sql_tab.hpp"

#include <algorithm>
#include <exception>
#include <map>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_fk.hpp"
#include "SQL/sql_rec.hpp"
#include "SQL/sql_sync.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_val.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

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

// The text of a quoted default as the server writes it: doubled quotes and
// backslash escapes stand for one character.
std::wstring unquote_literal(std::wstring_view s) {
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (c == L'\'' && i + 1 < s.size() && s[i + 1] == L'\'') {
            ++i;
        } else if (c == L'\\' && i + 1 < s.size()) {
            c = s[++i];
            if (c == L'n')
                c = L'\n';
            else if (c == L'r')
                c = L'\r';
            else if (c == L't')
                c = L'\t';
            else if (c == L'0')
                c = L'\0';
            else if (c == L'Z')
                c = L'\x1A';
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace

ole_variant sql_default_value(const t_ftd& column, const std::wstring& text) {
    uint64_t bits = 0;
    if ((column.vartype == VT_UI4 || column.vartype == VT_UI8) && parse_bit_literal(text, bits))
        return column.vartype == VT_UI4 ? ole_variant(static_cast<uint32_t>(bits))
                                        : ole_variant(bits);
    // A default is kept only when its whole text is a number: "(1 + 1)" is no 0.
    if (udb_is_numeric_vt(column.vartype) && column.vartype != VT_BOOL &&
        !sql_is_number_literal(pt::utf8_encode(text))) {
        tk_log_wprintf(2, L"Default value '%s' of '%s' not kept: not a number", text, column.name);
        return ole_variant();
    }
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

sql_table::~sql_table() {
    tk_log_printf(2, "sql_table::dtor");
    try {
        rows_reported_ = false;
        flush_pending();
    } catch (const tk_exception& e) {
        // Nothing may leave a destructor; the rows must still not be lost unheard of.
        tk_log_wprintf(3, L"Table '%s': ERROR '%s'", name_, pt::utf8_decode(e.message()));
        error_handler* handler = error_handler::find();
        // Refused rows were reported one by one already.
        if (handler && !rows_reported_) {
            try {
                handler->set_context(name_);
                handler->handle(e, false);
            } catch (...) {
                tk_log_printf(3, "The error could not be reported");
            }
        }
    } catch (const std::exception& e) {
        tk_log_wprintf(3, L"Table '%s': ERROR '%s'", name_, pt::utf8_decode(e.what()));
    }
}

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

std::map<std::wstring, sql_table::column_default> sql_table::read_column_defaults() {
    std::map<std::wstring, column_default> out;
    // Only MariaDB from 10.2.7 on quotes literal defaults there, which tells the text
    // 'uuid()' from a call of uuid().
    if (sql_engine::instance().get_version() < 0x0A0207) return out;
    auto rs = db_->query_rs(
        L"SELECT COLUMN_NAME, COLUMN_DEFAULT FROM information_schema.COLUMNS WHERE "
        L"TABLE_SCHEMA = DATABASE() AND TABLE_NAME = " +
        pt::utf8_decode(sql_quote_literal(db_->get_connection(), pt::utf8_encode(name_))));
    if (!rs) return out;
    for (rs->reset(); !rs->is_eof(); rs->next()) {
        const udb_record& row = *rs->get_item();
        if (row.size() < 2) continue;
        const std::wstring* text = row[1].get_bstr();
        column_default d;
        if (text && text->size() >= 2 && text->front() == L'\'' && text->back() == L'\'') {
            d.literal = true;
            d.text = unquote_literal(std::wstring_view(*text).substr(1, text->size() - 2));
        } else if (text && *text != L"NULL") {
            d.text = *text;
        } else {
            d.none = true;
        }
        out.emplace(row[0].to_wstring(), std::move(d));
    }
    return out;
}

void sql_table::read_columns() {
    struct listed {
        std::wstring column, type, def;
        bool no_default;
    };
    std::vector<listed> listing;
    bool left_out = false;
    std::map<std::wstring, column_default> defaults;
    {
        // BLOB-typed cells of the listing (type and default texts) read as text.
        sql_blob_to_text_scope text_scope(true);
        defaults = read_column_defaults();
        auto rs = db_->query_rs(L"SHOW COLUMNS FROM " + sql_engine::get_safe_name(name_));
        if (!rs) return;
        rs->reset();
        for (; !rs->is_eof(); rs->next()) {
            const udb_record& row = *rs->get_item();
            if (row.size() < 3) continue;
            // A NOT NULL text column without a default is no column whose default is ''.
            const udb_field& def_cell = row[row.size() - 2];
            listing.push_back({row[0].to_wstring(), row[1].to_wstring(), def_cell.to_wstring(),
                               def_cell.get_type() == VT_EMPTY});
            left_out = left_out || schema_.find_index(listing.back().column) < 0;
        }
    }
    // SELECT * leaves invisible columns out: the table is read by its column names
    // (typed as the run reads its rows, outside the listing's scope).
    if (left_out) {
        std::wstring names;
        for (const listed& l : listing)
            names += (names.empty() ? L"" : L",") + sql_engine::get_safe_name(l.column);
        describe_columns(names, true);
    }
    for (const listed& l : listing) {
        const std::wstring& column = l.column;
        const std::wstring& type = l.type;
        tk_log_wprintf(2, L"Field '%s' has type: %s", column, type);
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

        std::wstring def = l.def;
        bool no_default = l.no_default;
        if (auto it = defaults.find(column); it != defaults.end()) {
            def = it->second.text;
            no_default = it->second.none;
            // A call such as uuid() is not a value: written back, it would become text.
            if (!it->second.literal && udb_is_text_vt(d.vartype) && !def.empty()) {
                tk_log_wprintf(2, L"Default '%s' of '%s' is an expression; not kept", def, column);
                def.clear();
            }
        }
        tk_log_wprintf(2, L"Got default value: %s", def);
        if (!d.b_not_null && def.empty()) continue;
        tk_log_printf(2, "Default value's type: %08X", d.vartype);
        if (d.vartype == VT_DATE) {
            if (is_zero_date(def)) {
                tk_log_printf(2, "Skip empty def.values for date column");
                d.b_not_null = false;
            } else if (sql_is_current_time_default(def)) {
                tk_log_printf(2, "Special processing for CURRENT_TIMESTAMP");
                d.reserved = udb_current_time;
            }
        } else if (d.vartype == VT_BOOL) {
            tk_log_printf(2, "Special processing for boolean");
            if (tk_iequal(def, L"b'0'"))
                d.default_value = ole_variant(false);
            else if (tk_iequal(def, L"b'1'"))
                d.default_value = ole_variant(true);
        } else if (!no_default) {
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
        std::vector<udb_relationship> found;
        parser.do_parse(found);
        // The table may be opened again: its keys are listed once.
        for (auto& r : found) {
            bool listed = std::any_of(relationships_->begin(), relationships_->end(),
                                      [&](const udb_relationship& x) {
                                          return x.fk_table == r.fk_table && x.name == r.name;
                                      });
            if (!listed) relationships_->push_back(std::move(r));
        }
    }
}

// --- Writing ---

namespace {

const char* const structure_error =
    "The structure of data source does not conform to the destination table. For more "
    "information see Troubleshooting article of the product documentation.";

// Bytes of a text in UTF-8.
size_t utf8_size(const std::wstring& s) {
    size_t n = 0;
    for (wchar_t c : s) {
        auto u = static_cast<uint32_t>(c);
        n += u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    }
    return n;
}

// An update or delete by record whose row is not there.
tk_exception no_row_found(const std::wstring& table, const char* done) {
    return tk_exception(
        tk_format("No row of table '%s' matches the record; nothing was %s", table, done),
        tk_kind_continue);
}

// A LOB field is left out of SET lists: a declared size of 0 marks a value the source
// did not read whole.
bool is_lob_field(const udb_field& f) {
    const VARTYPE vt = f.get_type();
    return f.get_size() == 0 && (vt == VT_BLOB || vt == VT_UI1_ARRAY || vt == VT_BSTR);
}

}  // namespace

std::string sql_table::utf8_name() const {
    return pt::utf8_encode(sql_engine::quote_name(name_));
}

std::string sql_table::verb() const {
    return (db_->get_open_mode() & udb_open_replace_rows) ? "REPLACE INTO " : "INSERT INTO ";
}

size_t sql_table::batch_limit() const {
    size_t limit = get_max_buffer_size();
    const uint32_t packet = sql_engine::instance().get_max_allowed_packet();
    if (packet > 1024 && packet - 1024 < limit) limit = packet - 1024;
    return limit;
}

std::vector<std::wstring> sql_table::column_names_of(const udb_record& record) const {
    // Columns renamed when the table was created are found under their new names;
    // otherwise the names follow the server's rules as the table's creator applied them.
    const udb_names_map& names = db_->get_names_map();
    if (names.field_names().count(name_) == 0) return sql_field_finder(record).names();
    std::vector<std::wstring> out;
    for (size_t i = 0; i < record.size(); ++i)
        out.push_back(names.get_fn_mapped_name(name_, record[i].get_name()));
    return out;
}

void sql_table::prepare_mapping(const udb_record& record) {
    bool same = mapped_for_.size() == record.size();
    for (size_t i = 0; same && i < record.size(); ++i)
        same = mapped_for_[i] == record[i].get_name();
    if (same && !mapping_.empty()) return;
    mapped_for_.clear();
    mapping_.clear();
    const std::vector<std::wstring> names = column_names_of(record);
    if (record.size() < schema_.size()) {
        tk_log_printf(1, "Size of record is less than size of schema");
        for (size_t i = 0; i < names.size(); ++i) {
            tk_log_wprintf(1, L"Name=%s, mapped name=%s", record[i].get_name(), names[i]);
            const int column = schema_.find_index(names[i]);
            if (column < 0) {
                tk_log_wprintf(1, L"Field %s not found", names[i]);
                throw tk_exception(structure_error, tk_kind_continue);
            }
            mapping_.push_back({static_cast<size_t>(column), i});
        }
    } else {
        tk_log_printf(1, "Size of schema is less or equal to the size of record");
        for (size_t c = 0; c < schema_.size(); ++c) {
            auto it = std::find_if(names.begin(), names.end(), [&](const std::wstring& n) {
                return tk_iequal(n, schema_[c].name);
            });
            if (it == names.end()) {
                tk_log_wprintf(1, L"Field %s not found in appending record", schema_[c].name);
                throw tk_exception(structure_error, tk_kind_continue);
            }
            mapping_.push_back({c, static_cast<size_t>(it - names.begin())});
        }
    }
    if (mapping_.empty()) throw tk_exception(structure_error, tk_kind_continue);
    column_list_.clear();
    for (size_t k = 0; k < mapping_.size(); ++k) {
        if (k > 0) column_list_ += ", ";
        column_list_ += pt::utf8_encode(sql_engine::quote_name(schema_[mapping_[k].column].name));
    }
    first_column_ = pt::utf8_encode(sql_engine::quote_name(schema_[mapping_[0].column].name));
    for (size_t i = 0; i < record.size(); ++i) mapped_for_.push_back(record[i].get_name());
}

std::string sql_table::row_values(const udb_record& record, bool placeholders,
                                  std::vector<const udb_field*>* long_fields,
                                  std::vector<std::string>* cuts) const {
    MYSQL* m = db_->get_connection();
    std::string values;
    for (size_t k = 0; k < mapping_.size(); ++k) {
        if (k > 0) values += ", ";
        const udb_field& f = record[mapping_[k].field];
        std::string cut;
        values += get_fld_append_str(f, schema_[mapping_[k].column], placeholders, m, &cut);
        if (!cut.empty()) cuts->push_back(std::move(cut));
        if (placeholders && sql_is_long_field(f)) long_fields->push_back(&f);
    }
    return values;
}

void sql_table::report_cuts(uint64_t record, const std::vector<std::string>& cuts) const {
    for (const std::string& message : cuts) {
        const tk_exception e(message, tk_kind_continue);
        if (record > 0) {
            report_record(record, e);
            continue;
        }
        tk_log_wprintf(3, L"Table '%s': %s", name_, pt::utf8_decode(message));
        if (error_handler* handler = error_handler::find()) {
            const std::string context = handler->get_context();
            handler->set_context(name_);
            handler->handle(e, false);
            handler->set_context_text(context);
        }
    }
}

void sql_table::append_record(const udb_record& record) {
    tk_log_printf(2, "sql_table::append_record");
    const uint32_t total = record.get_total_size();
    tk_log_printf(1, "record size=%d", total);
    if (record.empty()) throw tk_exception(structure_error, tk_kind_continue);
    prepare_mapping(record);
    sql_engine& engine = sql_engine::instance();
    const size_t limit = batch_limit();
    std::string values;
    std::vector<std::string> cuts;
    // "Too big" is what the row takes in the statement: hexadecimal bytes and escapes
    // count, so the raw size is only a first sieve.
    bool too_big = total > limit;
    if (!too_big && engine.is_fast_insert()) {
        values = row_values(record, false, nullptr, &cuts);
        too_big = verb().size() + utf8_name().size() + column_list_.size() + values.size() +
                      first_column_.size() * 2 + 48 >
                  limit;
    }
    if (too_big && engine.is_fast_insert()) {
        tk_log_printf(3, "Row is too big (%d bytes), swtich to slow_append", total);
        engine.set_fast_insert(false);
    }
    if (engine.is_fast_insert()) {
        report_cuts(appended_ + 1, cuts);
        fast_append(std::move(values));
        return;
    }
    // The rows gathered so far go first; their failure is raised after this row went.
    std::exception_ptr failure;
    try {
        flush_pending();
    } catch (const tk_exception&) {
        failure = std::current_exception();
    }
    slow_append(record);
    if (failure) std::rethrow_exception(failure);
}

void sql_table::fast_append(std::string&& values) {
    tk_log_printf(1, "sql_table::fast_append");
    const bool replace = db_->get_open_mode() & udb_open_replace_rows;
    // A row whose key exists is skipped without IGNORE, which would turn every data
    // error into a warning and store an altered value.
    const std::string tail =
        replace ? std::string() : " ON DUPLICATE KEY UPDATE " + first_column_ + "=" + first_column_;
    std::exception_ptr failure;
    if (!pending_.empty() &&
        (pending_columns_ != column_list_ ||
         pending_.size() + 2 + values.size() + 2 + tail.size() > batch_limit())) {
        if (pending_columns_ != column_list_)
            tk_log_printf(3, "The row's columns differ: new statement");
        try {
            flush_pending();
        } catch (const tk_exception&) {
            failure = std::current_exception();
        }
    }
    if (pending_.empty()) {
        tk_log_printf(2, "Initialize new query...");
        pending_ = verb() + utf8_name() + " (" + column_list_ + ") VALUES ";
        pending_head_ = pending_.size();
        pending_columns_ = column_list_;
        pending_tail_ = tail;
    } else {
        pending_ += ", ";
    }
    pending_rows_.push_back(pending_.size());
    pending_records_.push_back(++appended_);
    ++rec_count_;
    pending_ += "(";
    pending_ += values;
    pending_ += ")";
    tk_log_printf(1, "*** FAST INSERT MODE ***");
    // The row is kept whatever became of the earlier ones; the error names them.
    if (failure) std::rethrow_exception(failure);
    // Without transactions a failed batch keeps the rows before the bad one: one
    // statement per row is the only way to know which landed.
    if (!is_transactional()) flush_pending();
}

void sql_table::slow_append(const udb_record& record) {
    tk_log_printf(1, "sql_table::slow_append");
    tk_log_printf(1, "mysql_db.get_mode()=%d", db_->get_open_mode());
    std::vector<const udb_field*> long_fields;
    std::vector<std::string> cuts;
    const std::string values = row_values(record, true, &long_fields, &cuts);
    report_cuts(appended_ + 1, cuts);
    const std::string statement =
        verb() + utf8_name() + " (" + column_list_ + ") VALUES (" + values + ")";
    tk_log_printf(1, "Run SQL query: %s", std::string_view(statement).substr(0, 4096));
    const uint32_t packet = sql_engine::instance().get_max_allowed_packet();
    tk_log_printf(2, "get_max_allowed_packet=%d", packet);
    // The server refuses only after every byte has travelled; say so before sending.
    bool exceeds = packet > 0 && statement.size() > packet;
    for (const udb_field* f : long_fields) {
        const std::vector<uint8_t>* bytes = f->get_byte_array();
        const std::wstring* text = f->get_bstr();
        size_t size = bytes ? bytes->size() : text ? utf8_size(*text) : f->get_length();
        if (packet > 0 && size > packet) exceeds = true;
    }
    if (exceeds) {
        tk_log_printf(2, "row_tot_size > max_allowed_packet");
        throw tk_exception("Row size exceeds 'max_allowed_packet'", tk_kind_continue);
    }
    if (long_fields.empty())
        db_->query_append(statement);
    else
        db_->prepared_statement(statement, long_fields);
    ++appended_;
    ++rec_count_;
}

void sql_table::flush() {
    flush_pending();
}

void sql_table::flush_pending() {
    if (pending_.empty()) return;
    tk_log_wprintf(2, L"sql_table::flush(%s)", name_);
    std::string statement = std::move(pending_);
    statement += pending_tail_;
    const std::vector<size_t> rows = std::move(pending_rows_);
    const std::vector<uint64_t> records = std::move(pending_records_);
    pending_.clear();
    pending_rows_.clear();
    pending_records_.clear();
    sql_engine::instance().ensure_write_session();
    unsigned warnings = 0;
    try {
        warnings = db_->execute(statement);
    } catch (const sql_exception& e) {
        resend_rows(statement, rows, records, e);
        return;
    }
    count_skipped(rows.size());
    db_->raise_warnings(warnings);
}

void sql_table::resend_rows(const std::string& statement, const std::vector<size_t>& rows,
                            const std::vector<uint64_t>& records, const sql_exception& failure) {
    // A transactional table stored nothing of the failed statement, so each row again,
    // alone, lets the good ones land and names the bad ones.
    size_t refused = 0;
    std::unique_ptr<sql_exception> first;
    uint64_t first_record = 0;
    auto refuse = [&](size_t i, const sql_exception& e) {
        ++refused;
        report_record(records[i], e);
        if (!first) {
            first = std::make_unique<sql_exception>(e);
            first_record = records[i];
        }
    };
    if (rows.size() == 1) {
        refuse(0, failure);
    } else {
        const std::string_view text(statement);
        const std::string_view head = text.substr(0, pending_head_);
        const size_t rows_end = statement.size() - pending_tail_.size();
        for (size_t i = 0; i < rows.size(); ++i) {
            const size_t end = i + 1 < rows.size() ? rows[i + 1] - 2 : rows_end;
            std::string one(head);
            one += text.substr(rows[i], end - rows[i]);
            one += pending_tail_;
            try {
                const unsigned warnings = db_->execute(one);
                count_skipped(1);
                db_->raise_warnings(warnings);
            } catch (const sql_exception& e) {
                refuse(i, e);
            }
        }
    }
    if (!first) return;
    rows_reported_ = error_handler::find() != nullptr;
    throw sql_exception(first->error_number(),
                        tk_format("Record #%I64d was refused: %s (%d of %d records refused)",
                                  first_record, first->message(), refused, rows.size()));
}

void sql_table::count_skipped(size_t rows) {
    if (db_->get_open_mode() & udb_open_replace_rows) return;
    // With the duplicate-key clause an inserted row counts 1 and a kept one 0.
    const my_ulonglong affected = mysql_affected_rows(db_->get_connection());
    if (affected == static_cast<my_ulonglong>(-1) || affected >= rows) return;
    const uint64_t skipped = rows - affected;
    skipped_rows_ += skipped;
    tk_log_wprintf(3, L"Table '%s': %I64d rows skipped, their keys exist already", name_, skipped);
}

void sql_table::report_record(uint64_t record, const tk_exception& e) const {
    tk_log_wprintf(3, L"Table '%s', record #%I64d: %s", name_, record,
                   pt::utf8_decode(e.message()));
    error_handler* handler = error_handler::find();
    if (!handler) return;
    const std::string context = handler->get_context();
    handler->set_record_context(name_, record);
    handler->handle(e, false);
    handler->set_context_text(context);
}

bool sql_table::is_transactional() {
    if (transactional_ < 0) {
        transactional_ = 0;
        try {
            auto rs = db_->query_rs(
                L"SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN "
                L"information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE t.TABLE_SCHEMA = "
                L"DATABASE() AND t.TABLE_NAME = " +
                pt::utf8_decode(sql_quote_literal(db_->get_connection(), pt::utf8_encode(name_))));
            if (rs && !rs->is_eof() && (*rs->get_item())[0].to_string() == "YES")
                transactional_ = 1;
        } catch (const sql_exception& e) {
            // Without the listing every row goes alone, which is always right.
            tk_log_printf(2, "Cannot tell the table's engine: %s", e.what());
        }
    }
    return transactional_ == 1;
}

void sql_table::walk_fields(const udb_record& record,
                            const std::function<void(const udb_field&, const t_ftd&)>& visit) {
    before_statement();
    const std::vector<std::wstring> names = column_names_of(record);
    for (size_t i = 0; i < record.size(); ++i) {
        tk_log_wprintf(1, L"Got mappend fn: %s", names[i]);
        const int column = schema_.find_index(names[i]);
        if (column < 0) {
            tk_log_wprintf(1, L"Field '%s' is not found in schema", names[i]);
            continue;
        }
        visit(record[i], schema_[static_cast<size_t>(column)]);
    }
}

std::string sql_table::assignment(const udb_field& field, const t_ftd& column,
                                  std::vector<std::string>& cuts) const {
    std::string cut;
    std::string text = pt::utf8_encode(sql_engine::quote_name(column.name)) + "=" +
                       get_fld_append_str(field, column, false, db_->get_connection(), &cut);
    if (!cut.empty()) cuts.push_back(std::move(cut));
    return text;
}

std::string sql_table::condition(const udb_field& field, const t_ftd& column) const {
    // NULL-safe: a unique key with a NULL part still finds its row.
    return pt::utf8_encode(sql_engine::quote_name(column.name)) + " <=> " +
           get_fld_condition_str(field, column, db_->get_connection());
}

void sql_table::update(const std::wstring& key, const udb_record& record) {
    tk_log_wprintf(1, L"sql_table::update(key=%s)", key);
    if (key.empty()) {
        tk_log_printf(1, "Missing key for update");
        throw tk_exception("Missing key for update", tk_kind_continue);
    }
    std::string set;
    std::vector<std::string> cuts;
    walk_fields(record, [&](const udb_field& f, const t_ftd& c) {
        if (is_lob_field(f)) {
            tk_log_wprintf(2, L"Field %s is LOB, skip it", c.name);
            return;
        }
        if (!set.empty()) set += ", ";
        set += assignment(f, c, cuts);
    });
    if (set.empty()) {
        tk_log_printf(2, "Nothing to update");
        return;
    }
    const std::wstring condition = sql_sync(*db_).get_filter_subquery(name_, key, &schema_);
    const std::string statement =
        "UPDATE " + utf8_name() + " SET " + set + " WHERE " + pt::utf8_encode(condition);
    tk_log_printf(2, "UPDATE QUERY: %s", std::string_view(statement).substr(0, 4096));
    db_->query_append(statement);
    report_cuts(0, cuts);
}

void sql_table::update(const udb_record& record) {
    tk_log_printf(1, "sql_table::update");
    if (key_index_ < 0) {
        tk_log_printf(1, "There's no primary/unique key");
        throw tk_exception("There's no primary/unique key", tk_kind_continue);
    }
    if (static_cast<size_t>(key_index_) >= indexes_.size()) throw tk_mail_assertion("sql_tab", 692);
    const udb_index& key = indexes_[static_cast<size_t>(key_index_)];
    std::string set, where;
    std::vector<std::string> cuts;
    walk_fields(record, [&](const udb_field& f, const t_ftd& c) {
        const bool in_key =
            std::any_of(key.fields.begin(), key.fields.end(),
                        [&](const std::wstring& k) { return tk_iequal(k, c.name); });
        if (in_key) {
            tk_log_wprintf(1, L"Field %s is a part of UKey", c.name);
            if (!where.empty()) where += " AND ";
            where += condition(f, c);
        } else if (is_lob_field(f)) {
            tk_log_wprintf(2, L"Field %s is LOB, skip it", c.name);
        } else {
            tk_log_wprintf(1, L"Field %s is NOT a part of UKey", c.name);
            if (!set.empty()) set += ", ";
            set += assignment(f, c, cuts);
        }
    });
    if (where.empty()) {
        tk_log_printf(1, "Missing primary/unique key");
        throw tk_exception("There's no primary/unique key", tk_kind_continue);
    }
    if (set.empty()) {
        tk_log_printf(2, "Nothing to update");
        return;
    }
    const std::string statement = "UPDATE " + utf8_name() + " SET " + set + " WHERE " + where;
    tk_log_printf(2, "UPDATE QUERY: %s", std::string_view(statement).substr(0, 4096));
    db_->query_append(statement);
    // The record stands for a row: finding none is an error of the record, not success.
    if (db_->found_rows() == 0) throw no_row_found(name_, "updated");
    report_cuts(0, cuts);
}

void sql_table::delete_key(const std::wstring& key) {
    tk_log_wprintf(2, L"sql_table::delete_key(%s)", key);
    before_statement();
    const std::wstring condition = sql_sync(*db_).get_filter_subquery(name_, key, &schema_);
    // Without a condition the statement would empty the table.
    if (condition.empty()) throw tk_exception("Missing key for delete", tk_kind_continue);
    db_->query_append("delete from " + utf8_name() + " where " + pt::utf8_encode(condition));
}

void sql_table::delete_key(const udb_record& record) {
    tk_log_printf(1, "sql_table::delete_key");
    std::string where;
    walk_fields(record, [&](const udb_field& f, const t_ftd& c) {
        if (!where.empty()) where += " AND ";
        where += condition(f, c);
    });
    if (where.empty()) throw tk_exception("Missing key for delete", tk_kind_continue);
    db_->query_append("DELETE FROM " + utf8_name() + " WHERE " + where);
    if (db_->found_rows() == 0) throw no_row_found(name_, "deleted");
}
