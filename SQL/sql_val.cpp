#include "SQL/sql_val.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "SQL/sql_util.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_rule.hpp"
#include "ole/ole_guid.hpp"
#include "platform/oa/oa_num.hpp"
#include "platform/text.hpp"

namespace {

constexpr uint32_t long_field_length = 0x100000;
// The characters of a GUID's text; a text column of that size holds GUIDs.
constexpr size_t guid_length = 36;

std::string hex_literal(const std::vector<uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(2 + 2 * bytes.size());
    out = "0x";
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// A finite float as the server reads it back: as a double first, which must lie within
// the float's range (or the row is refused), and then as the float nearest to it. The
// float's shortest text reads back as that float, but for the largest float it lies
// beyond the range (3.4028235e+38): then the double's own text, exactly the float.
// Written with an exponent, it is a double literal, as it always was.
std::string float_text(float v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    double back = 0;
    std::from_chars(buf, r.ptr, back);
    if (std::fabs(back) > std::numeric_limits<float>::max() || static_cast<float>(back) != v)
        r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v),
                          std::chars_format::scientific);
    return std::string(buf, r.ptr);
}

// The value's whole text as UTF-8: a text with its NULs, anything else as it prints,
// except a float: the seven digits it prints with do not always read back as the same
// float (1+2^-23 would be stored as 1).
std::string value_utf8(const ole_variant& v) {
    if (const std::wstring* s = v.get_bstr()) return pt::utf8_encode(*s);
    if (v.get_type() == VT_R4 && std::isfinite(v.get_variant().r4()))
        return float_text(v.get_variant().r4());
    return v.to_string();
}

// Infinities and NaN have no literal; their text would be read as something else.
void check_finite(const ole_variant& v) {
    double d = 0;
    if (v.get_type() == VT_R4)
        d = v.get_variant().r4();
    else if (v.get_type() == VT_R8)
        d = v.get_variant().r8();
    if (std::isfinite(d)) return;
    const char* what = std::isnan(d) ? "NaN" : d < 0 ? "-infinity" : "infinity";
    throw tk_exception(tk_format("The floating-point value %s cannot be stored", what),
                       tk_kind_continue);
}

// Characters of UTF-8 text (continuation bytes do not count).
size_t utf8_chars(std::string_view s) {
    size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::wstring quoted_w(MYSQL* m, const std::wstring& text) {
    return pt::utf8_decode(sql_quote_literal(m, pt::utf8_encode(text)));
}

// An integer default is kept only when it reads back as the very same text ("007"
// would become 7, "5 COMMENT 'x'" would reach the statement).
template <class T>
bool is_exact_integer(const std::string& text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::to_string(value) == text;
}

std::string value_text(const udb_field& f, const t_ftd& c, bool placeholders, bool defaults,
                       MYSQL* m, std::string* cut = nullptr) {
    tk_log_printf(1, "get_fld_append_str");
    const VARTYPE fvt = f.get_type();
    if (placeholders && sql_is_long_field(f)) {
        tk_log_printf(1, "fld->get_size()=%d", f.get_length());
        tk_log_printf(1, "Returns placeholder for prepared statement");
        return udb_is_geometry(c) ? "ST_GeomFromText(?)" : "?";
    }
    if (udb_custom_conversion::is_acceptable2(f))
        return pt::utf8_encode(udb_custom_conversion::handle2(f));

    if (udb_is_text_vt(c.vartype)) {
        if (fvt == VT_EMPTY || fvt == VT_NULL) return "NULL";
        check_finite(f);
        std::string text = value_utf8(f);
        tk_log_printf(1, "Got BSTR value: %s, flags=%d", text, c.reserved);
        if (udb_is_geometry(c)) return "ST_GeomFromText(" + sql_quote_literal(m, text) + ")";
        // A GUID in braces or behind "guid=" is cut to its 36 characters only for a
        // GUID column that could not take the whole text; any other text column gets
        // the whole text, or the server's refusal.
        if (c.size == static_cast<int32_t>(guid_length) &&
            ole_guid_extractor::is_acceptable_vt(fvt) && text.size() <= 90 &&
            utf8_chars(text) > guid_length) {
            ole_guid_extractor guid(text);
            if (guid.is_valid()) {
                tk_log_printf(1, "BSTR IS AN GUID");
                if (cut)
                    *cut = tk_format("The value '%s' of column '%s' is cut to the GUID it holds",
                                     text, c.name);
                text = guid.get_guid();
            }
        }
        // A number stands quoted here: bare, the server would compare the column as a
        // number ('012345' = 12345).
        return to_mysql_str(text, fvt == VT_DATE ? VT_DATE : VT_BSTR, m);
    }

    // Bytes are a hexadecimal literal; any other value for a binary column is its text,
    // quoted for the same reason.
    if (oa::is_binary(c.vartype) && !oa::is_binary(fvt) && fvt != VT_EMPTY && fvt != VT_NULL) {
        check_finite(f);
        return to_mysql_str(value_utf8(f), VT_BSTR, m);
    }
    // A TIME column takes the time of day alone: a midnight would otherwise print as the
    // zero date, which the server refuses for a TIME.
    if (c.vartype == VT_DATE && udb_date_kind(c) == udb_time_only && fvt == VT_DATE &&
        f.get_date().get_kind() != ole_date::kind_empty) {
        ole_date time = f.get_date();
        time.set_kind(ole_date::kind_time);
        return sql_quote_literal(m, time.to_string(6).substr(11));
    }
    std::string text = to_mysql_str(f, m);
    if (udb_is_numeric_vt(c.vartype) && !ole_variant::is_numeric_vt(fvt) && fvt != VT_EMPTY &&
        fvt != VT_NULL)
        text = to_mysql_str(value_utf8(f), c.vartype, m);
    tk_log_printf(1, "Got field: %s, type=%08X", text, fvt);
    const bool no_value = fvt == VT_EMPTY || fvt == VT_NULL;
    // An empty byte array reads like no value; a NOT NULL column can only have meant ''.
    if (oa::is_binary(c.vartype)) return no_value ? (c.b_not_null ? "''" : "NULL") : text;
    if (!defaults) return no_value ? "NULL" : text;
    if (no_value || text.empty() || text == "\"\"" || text == "''") {
        if (!c.b_not_null) {
            tk_log_printf(1, "Put NULL-field");
            return "NULL";
        }
        tk_log_printf(1, "Put default value");
        std::string def = value_utf8(c.default_value);
        if (c.default_value.get_type() != VT_EMPTY && !def.empty())
            return to_mysql_str(def, c.vartype, m);
        if (udb_is_numeric_vt(c.vartype)) return "0";
    }
    return text;
}

}  // namespace

bool sql_is_long_field(const udb_field& field) {
    return field.get_type() != VT_EMPTY && field.get_length() > long_field_length;
}

std::string to_mysql_str(const ole_variant& value, MYSQL* m) {
    tk_log_printf(1, "to_mysql_str");
    if (oa::is_binary(value.get_type())) {
        tk_log_printf(1, "special processing for BLOBs");
        const std::vector<uint8_t>* bytes = value.get_byte_array();
        if (!bytes) return "NULL";
        // Empty bytes are a value, not NULL.
        if (bytes->empty()) return "X''";
        std::string out = hex_literal(*bytes);
        tk_log_printf(1, "to_mysql_str - at the END");
        return out;
    }
    check_finite(value);
    return to_mysql_str(value_utf8(value), value.get_type(), m);
}

std::string to_mysql_str(std::string_view text, VARTYPE vt, MYSQL* m) {
    tk_log_printf(1, "to_mysql_str(%s)", text);
    if (vt == VT_EMPTY || vt == VT_NULL) {
        tk_log_printf(1, "******* NULL VALUE ******");
        return "NULL";
    }
    if (text.empty()) return "''";
    if (vt == VT_DATE) {
        ole_date date(text);
        // Sending the text as it is would let the server store a zero date or refuse
        // with a message that does not name the value.
        if (!date.is_valid())
            throw tk_exception(tk_format("The value '%s' is not a date", text), tk_kind_continue);
        return sql_quote_literal(m, date.to_string(6));
    }
    if (oa::is_binary(vt)) {
        tk_log_printf(1, "GOT BLOB");
        // Only a hexadecimal literal stands bare: digits alone would be a number, which
        // the server compares with a binary column as a number.
        if (sql_is_hex_literal(text)) {
            tk_log_printf(1, "BLOB IS VALID");
            return std::string(text);
        }
        return sql_quote_literal(m, text);
    }
    // Only a well-formed number stands bare: "1 OR 1=1" must never reach a statement so.
    if (udb_is_numeric_vt(vt) && sql_is_number_literal(text)) return std::string(text);
    return sql_quote_literal(m, text);
}

std::wstring to_mysql_wstr(std::wstring_view text, VARTYPE vt, MYSQL* m) {
    tk_log_wprintf(1, L"to_mysql_wstr(%s)", text);
    return pt::utf8_decode(to_mysql_str(pt::utf8_encode(text), vt, m));
}

std::string get_fld_append_str(const udb_field& field, const t_ftd& column, bool placeholders,
                               MYSQL* m, std::string* cut) {
    return value_text(field, column, placeholders, true, m, cut);
}

std::string get_fld_condition_str(const udb_field& field, const t_ftd& column, MYSQL* m) {
    std::string text = value_text(field, column, false, false, m);
    if (column.vartype == VT_R4 && sql_is_number_literal(text)) return sql_float_as_stored(text);
    return text;
}

std::string sql_float_as_stored(std::string_view number) {
    std::string_view digits = number;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double d = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
    const float stored = static_cast<float>(d);
    // Beyond the float's range the server refuses the value; the text can stay.
    if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(stored))
        return std::string(number);
    return oa::format_exp(static_cast<double>(stored), 16);
}

std::wstring make_mysql_def_val(const t_ftd& c, uint32_t version, MYSQL* m) {
    const VARTYPE vt = c.vartype;
    const VARTYPE dvt = c.default_value.get_type();
    const std::wstring* bstr = c.default_value.get_bstr();
    const std::wstring text = bstr ? *bstr : pt::utf8_decode(value_utf8(c.default_value));
    tk_log_wprintf(1, L"make_mysql_def_val(%d,%s)", vt, text);
    if (text == L"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')") {
        tk_log_printf(3, "Cannot set def.value as current timetsamp for varchar column");
        return {};
    }
    if (vt == VT_DATE && c.reserved == udb_current_time) {
        tk_log_printf(2, "Got NOW() def.value");
        // A TIMESTAMP(n) needs the default of its own precision.
        int digits = sql_fractional_digits(c, version);
        return digits > 0 ? L"CURRENT_TIMESTAMP(" + std::to_wstring(digits) + L")"
                          : L"CURRENT_TIMESTAMP";
    }
    if (vt == VT_DATE && c.reserved == udb_current_date) return L"CURRENT_DATE()";
    if (vt == VT_DATE && c.reserved == udb_current_time_of_day) return L"CURRENT_TIME()";
    // An empty text default of a text column is the empty text, not "no default".
    if (udb_is_text_vt(vt) && (!text.empty() || dvt == VT_BSTR)) {
        tk_log_wprintf(1, L"Got BSTR def value: %s", text);
        return quoted_w(m, text);
    }
    if (text.empty()) {
        tk_log_printf(1, "Got empty def value");
        return {};
    }
    if (tk_iequal(text, L"newid()")) {
        tk_log_printf(1, "newid() is not supported");
        return {};
    }
    const std::string utf8 = pt::utf8_encode(text);
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_BOOL:
        case VT_I8:
            if (!is_exact_integer<int64_t>(utf8)) return {};
            tk_log_printf(1, "Int/long default value is correct");
            return text;
        case VT_UI8:
            if (!is_exact_integer<uint64_t>(utf8)) return {};
            tk_log_printf(1, "unsigned __int64 default value is correct");
            return text;
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DECIMAL:
            return sql_is_number_literal(utf8) ? text : std::wstring();
        case VT_DATE: {
            tk_log_printf(2, "Got DATE def value");
            if (tk_iequal(text, L"getdate()") || tk_iequal(text, L"sysdate()") ||
                tk_iequal(text, L"sysdate")) {
                tk_log_printf(1, "Special processing for getdate()");
                return L"CURRENT_TIMESTAMP";
            }
            ole_date date(text);
            if (!date.is_valid()) {
                tk_log_wprintf(3, L"The default '%s' of column '%s' is not a date; left out", text,
                               c.name);
                return {};
            }
            if (udb_date_kind(c) == udb_date_only) date.set_kind(ole_date::kind_date);
            if (udb_date_kind(c) == udb_time_only) date.set_kind(ole_date::kind_time);
            std::wstring canonical = date.to_wstring(6);
            tk_log_wprintf(2, L"After canonization: %s", canonical);
            return canonical.empty() ? canonical : quoted_w(m, canonical);
        }
        default:
            return {};
    }
}
