#include "SQL/sql_rec.hpp"

#include <cstring>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_bytes.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "platform/text.hpp"

namespace {

bool is_binary_vt(VARTYPE vt) {
    return vt == VT_UI1_ARRAY || vt == VT_BLOB || vt == VT_BLOB_OBJECT;
}

// A TIME cell that a time of day cannot hold: negative, or 24 hours and more.
bool is_outside_day(std::string_view text) {
    if (!text.empty() && text.front() == '-') return true;
    uint32_t hours = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        hours = hours * 10 + static_cast<uint32_t>(c - '0');
        if (hours >= 24) return true;
    }
    return false;
}

// "0000-00-00", with or without a time of zeros.
bool is_zero_date(std::string_view text) {
    for (char ch : text)
        if (ch >= '1' && ch <= '9') return false;
    return true;
}

// A date or time value from MySQL's text of it: its own forms read directly, anything
// else through the general parser, with the same result.
void read_date(sql_field& field, std::string_view text, ole_variant::refill_storage& spare) {
    ole_date d;
    if (d.parse_canonical(text))
        field.refill(d, spare);
    else
        field.refill_from_string(text, VT_DATE, spare, false);
}

// The X of a point as the server sends it: a 4-byte SRID, then its WKB: the byte order
// (1: little-endian), the type (1: point), X and Y as doubles.
bool point_x(std::string_view cell, double& x) {
    const auto* p = reinterpret_cast<const uint8_t*>(cell.data());
    if (cell.size() != 25 || p[4] > 1) return false;
    const bool little = p[4] == 1;
    if ((little ? tk_le32(p + 5) : tk_be32(p + 5)) != 1) return false;
    const uint64_t bits = little ? tk_le64(p + 9) : tk_be64(p + 9);
    std::memcpy(&x, &bits, sizeof x);
    return true;
}

}  // namespace

std::wstring sql_float_as_point(const std::wstring& quoted_column) {
    return L"POINT(" + quoted_column + L",0)";
}

ole_variant get_variant(VARTYPE vartype, const char* text, size_t length) {
    if (!text) return ole_variant();
    tk_log_printf(1, "Type=%d, src=%s", vartype, std::string_view(text, length));
    if (vartype == VT_BOOL) return ole_variant(length > 0 && text[0] != 0);
    return ole_variant::from_string(std::string_view(text, length), vartype);
}

ole_variant get_variant(VARTYPE vartype, const std::wstring* text) {
    if (!text) return ole_variant();
    tk_log_wprintf(1, L"Type=%d, src=%s", vartype, *text);
    if (vartype == VT_BOOL) return ole_variant(!text->empty() && (*text)[0] != 0);
    return ole_variant::from_wstring(*text, vartype);
}

sql_columns::sql_columns(unsigned n_fields, const MYSQL_FIELD* fields, const udb_schema* schema,
                         const std::wstring& source)
    : source_(source) {
    tk_log_printf(1, "sql_record::ctor1(n_fields=%d)", n_fields);
    if (n_fields > 0 && !fields) throw tk_mail_assertion("sql_rec.cpp", 20);
    bool blob_to_text = false;
    if (sql_engine* e = sql_engine::find()) blob_to_text = e->is_blob_to_text();
    tk_log_printf(1, "is_blob_to_text=%d", blob_to_text);
    // The schema's positions are the result's only when it describes every column.
    const bool by_schema = schema && schema->size() == n_fields;
    if (schema && !by_schema)
        tk_log_printf(2, "schema.size=%d does not match n_fields=%d", schema->size(), n_fields);

    columns_.reserve(n_fields);
    for (unsigned i = 0; i < n_fields; ++i) {
        const MYSQL_FIELD& f = fields[i];
        column c;
        c.name =
            pt::utf8_decode(std::string_view(f.name ? f.name : "", f.name ? f.name_length : 0));
        c.vartype = by_schema ? (*schema)[i].vartype
                              : get_vartype(f.type, f.flags, f.charsetnr, f.length, blob_to_text);
        tk_log_printf(1, "field #%d has type %d", i, f.type);
        if (by_schema && c.vartype == VT_R4 && f.type == MYSQL_TYPE_GEOMETRY) {
            c.kind = k_float;
        } else if (f.type == MYSQL_TYPE_BIT) {
            c.vartype = get_vartype(f.type, f.flags, f.charsetnr, f.length, blob_to_text);
            c.kind = c.vartype == VT_BOOL ? k_bool : k_bits;
        } else if (is_binary_vt(c.vartype)) {
            c.kind = blob_to_text ? k_text : k_bytes;
        } else if (c.vartype == VT_BSTR) {
            c.kind = k_text;
        } else if (c.vartype == VT_DATE) {
            c.kind = f.type == MYSQL_TYPE_TIME || f.type == MYSQL_TYPE_TIME2 ? k_time : k_date;
        } else if (c.vartype == VT_DECIMAL) {
            int32_t precision = by_schema ? (*schema)[i].precision : sql_decimal_precision(f);
            int32_t scale = by_schema ? (*schema)[i].scale : static_cast<int32_t>(f.decimals);
            // The 96-bit decimal holds 28 digits safely and 28 decimals at most; wider
            // columns keep their exact text rather than lose digits.
            c.kind = precision > 28 || scale > 28 ? k_decimal : k_parse;
        } else {
            c.kind = k_parse;
        }
        columns_.push_back(std::move(c));
    }
}

std::unique_ptr<sql_record> sql_columns::make_record(MYSQL_ROW row, const unsigned long* lengths,
                                                     uint64_t row_number) const {
    auto record = std::make_unique<sql_record>();
    fill_record(*record, row, lengths, row_number, false);
    return record;
}

void sql_columns::fill_record(sql_record& record, MYSQL_ROW row, const unsigned long* lengths,
                              uint64_t row_number, bool cells_kept) const {
    if (!row || (!lengths && !columns_.empty())) throw tk_mail_assertion("sql_rec.cpp", 20);
    if (record.size() != columns_.size()) {
        record.clear();
        for (const column& c : columns_)
            record.push_back(std::make_unique<sql_field>(c.name, 0, ole_variant()));
    }
    record.losses_.reset();
    record.zero_dates_ = 0;
    for (size_t i = 0; i < columns_.size(); ++i) {
        auto& field = static_cast<sql_field&>(record[i]);
        size_t length = row[i] ? lengths[i] : 0;
        field.set_size(static_cast<uint32_t>(length));
        convert(columns_[i], row[i], length, field, record, row_number, cells_kept);
    }
}

void sql_columns::convert(const column& c, const char* cell, size_t length, sql_field& field,
                          sql_record& record, uint64_t row_number, bool cells_kept) const {
    if (!cell) return field.refill_empty(field.spare_);
    std::string_view text(cell, length);
    switch (c.kind) {
        case k_text: {
            // Binary content read as text (BLOB columns as memos) loses what is not
            // UTF-8; say so rather than store question marks without a word.
            if (field.refill_utf8(text, field.spare_, cells_kept))
                report(record, row_number,
                       tk_format("The value of column '%s' is not UTF-8 text; what cannot be "
                                 "read as text is stored as '?'.",
                                 c.name));
            return;
        }
        case k_bytes: {
            // An empty byte string is a value too: only NULL is none.
            const auto* p = reinterpret_cast<const uint8_t*>(cell);
            field.refill_bytes(field.spare_).assign(p, p + length);
            return;
        }
        case k_bool:
            return field.refill(length > 0 && cell[0] != 0, field.spare_);
        case k_bits: {
            uint64_t v = 0;
            for (char b : text) v = (v << 8) | static_cast<uint8_t>(b);
            if (c.vartype == VT_UI4) return field.refill(static_cast<uint32_t>(v), field.spare_);
            return field.refill(v, field.spare_);
        }
        case k_time:
            if (is_outside_day(text)) {
                report_left_empty(record, row_number, c, text,
                                  "a time outside 00:00:00 to 23:59:59");
                return field.refill_empty(field.spare_);
            }
            return read_date(field, text, field.spare_);
        case k_date:
            return convert_date(c, text, field, record, row_number);
        case k_decimal:
            field.refill_utf8(text, field.spare_, cells_kept);
            return;
        case k_float: {
            // The double holds the float exactly: narrowing it loses nothing.
            double x = 0;
            if (!point_x(text, x)) {
                report(record, row_number,
                       tk_format("The value of column '%s' did not arrive as the point it was "
                                 "asked for; it is left empty.",
                                 c.name));
                return field.refill_empty(field.spare_);
            }
            return field.refill(static_cast<float>(x), field.spare_);
        }
        case k_parse:
            break;
    }
    try {
        field.refill_from_string(text, c.vartype, field.spare_, cells_kept);
    } catch (const tk_exception&) {
        report_left_empty(record, row_number, c, text, "unreadable");
        field.refill_empty(field.spare_);
    }
}

void sql_columns::convert_date(const column& c, std::string_view text, sql_field& field,
                               sql_record& record, uint64_t row_number) const {
    // The zero date is MySQL's way of saying "no date"; any other date with a zero
    // part, or a day the month does not have, is a value that cannot be kept.
    if (is_zero_date(text)) {
        ++record.zero_dates_;
        return field.refill_empty(field.spare_);
    }
    read_date(field, text, field.spare_);
    // A zero date with a time reads as a time of day, which a date column is not.
    if (field.ole_variant::get_type() == VT_DATE && field.get_date().get_systemtime().wMonth != 0)
        return;
    report_left_empty(record, row_number, c, text, "not a calendar date");
    field.refill_empty(field.spare_);
}

void sql_columns::report_left_empty(sql_record& record, uint64_t row_number, const column& c,
                                    std::string_view cell, const char* why) const {
    report(record, row_number,
           tk_format("The value '%s' of column '%s' cannot be stored (%s); it is left empty.", cell,
                     c.name, why));
}

void sql_columns::report(sql_record& record, uint64_t row_number, std::string message) const {
    // Reported with its table and record, the message reaches the log there; here only
    // when nothing else reports it.
    if (source_.empty()) {
        tk_log_printf(3, "%s", message);
        return;
    }
    if (!record.losses_) record.losses_.reset(new sql_record::losses{source_, row_number, {}});
    record.losses_->messages.push_back(std::move(message));
}

void sql_record::report_kept_losses() {
    std::unique_ptr<losses> l = std::move(losses_);
    error_handler* handler = error_handler::find();
    for (const std::string& message : l->messages) {
        if (!handler) {
            tk_log_printf(3, "%s", message);
            continue;
        }
        handler->set_record_context(l->source, l->row_number);
        handler->handle(tk_exception(message, tk_kind_continue), false);
    }
}
