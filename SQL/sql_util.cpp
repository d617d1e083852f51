#include "SQL/sql_util.hpp"

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <iterator>

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

VARTYPE get_vartype(unsigned type, unsigned flags, unsigned charsetnr, unsigned long length,
                    bool blob_to_text) {
    tk_log_printf(1, "get_vartype(%d,%d)", type, flags);
    const bool is_unsigned = (flags & UNSIGNED_FLAG) != 0;
    switch (type) {
        case MYSQL_TYPE_DECIMAL:
        case MYSQL_TYPE_NEWDECIMAL:
            return VT_DECIMAL;
        case MYSQL_TYPE_TINY:
            return is_unsigned ? VT_UI1 : VT_I1;
        case MYSQL_TYPE_SHORT:
            return is_unsigned ? VT_UI2 : VT_I2;
        case MYSQL_TYPE_LONG:
            return is_unsigned ? VT_UI4 : VT_I4;
        case MYSQL_TYPE_INT24:
            return VT_I4;
        case MYSQL_TYPE_LONGLONG:
            return is_unsigned ? VT_UI8 : VT_I8;
        case MYSQL_TYPE_FLOAT:
            return VT_R4;
        case MYSQL_TYPE_DOUBLE:
            return VT_R8;
        case MYSQL_TYPE_TIMESTAMP:
        case MYSQL_TYPE_DATE:
        case MYSQL_TYPE_TIME:
        case MYSQL_TYPE_DATETIME:
        case MYSQL_TYPE_NEWDATE:
        case MYSQL_TYPE_TIMESTAMP2:
        case MYSQL_TYPE_DATETIME2:
        case MYSQL_TYPE_TIME2:
            return VT_DATE;
        case MYSQL_TYPE_YEAR:
            return VT_UI2;
        // One bit is a flag; wider bit fields are numbers whose bits must all survive.
        case MYSQL_TYPE_BIT:
            return length <= 1 ? VT_BOOL : length <= 32 ? VT_UI4 : VT_UI8;
        case MYSQL_TYPE_TINY_BLOB:
        case MYSQL_TYPE_MEDIUM_BLOB:
        case MYSQL_TYPE_LONG_BLOB:
        case MYSQL_TYPE_BLOB:
            tk_log_printf(1, "Processing BLOB, blob_to_text=%d", blob_to_text);
            [[fallthrough]];
        case MYSQL_TYPE_VAR_STRING:
        case MYSQL_TYPE_STRING:
        case MYSQL_TYPE_VARCHAR:
            // The BINARY flag is also set on text with a _bin collation and on dates;
            // only the binary character set tells bytes from text.
            if (charsetnr == sql_binary_charset && !blob_to_text) return VT_UI1_ARRAY;
            return VT_BSTR;
        default:
            return VT_BSTR;
    }
}

VARTYPE get_vartype(const MYSQL_FIELD& field) {
    bool blob_to_text = false;
    if (sql_engine* e = sql_engine::find()) blob_to_text = e->is_blob_to_text();
    return get_vartype(field.type, field.flags, field.charsetnr, field.length, blob_to_text);
}

int32_t sql_column_size(const MYSQL_FIELD& field) {
    uint64_t size = field.length;
    // The server gives a text column's length in characters times the session's most
    // bytes a character.
    if (field.charsetnr != sql_binary_charset)
        if (sql_engine* e = sql_engine::find(); e && e->is_utf8mb4()) size = size / 4 * 3;
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

int32_t sql_decimal_precision(const MYSQL_FIELD& field) {
    long p = static_cast<long>(field.length);
    if (field.decimals > 0) --p;
    if (!(field.flags & UNSIGNED_FLAG)) --p;
    return p < 0 ? 0 : static_cast<int32_t>(p);
}

bool sql_is_current_time_default(std::wstring_view text) {
    std::wstring s;
    for (wchar_t c : text) {
        if (c == L' ') continue;
        s.push_back(c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c);
    }
    // A call form: "()" or a fractional-second precision "(6)".
    if (!s.empty() && s.back() == L')') {
        size_t open = s.rfind(L'(');
        if (open == std::wstring::npos) return false;
        for (size_t i = open + 1; i + 1 < s.size(); ++i)
            if (s[i] < L'0' || s[i] > L'9') return false;
        s.resize(open);
    }
    return s == L"current_timestamp" || s == L"now" || s == L"localtimestamp" || s == L"localtime";
}

// --- Literals in statements ---

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Moves past a run of decimal digits; false when there is none.
bool skip_digits(std::string_view s, size_t& i) {
    size_t start = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    return i > start;
}

}  // namespace

bool sql_is_number_literal(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!skip_digits(s, i)) return false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (!skip_digits(s, i)) return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!skip_digits(s, i)) return false;
    }
    return i == s.size();
}

bool sql_is_hex_literal(std::string_view s) {
    if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
    for (size_t i = 2; i < s.size(); ++i)
        if (!is_hex_digit(s[i])) return false;
    return true;
}

std::string sql_quote_literal(MYSQL* connection, std::string_view utf8) {
    if (!connection) connection = sql_engine::instance().get_connection();
    std::string out(2 * utf8.size() + 3, '\0');
    out[0] = '\'';
    unsigned long n =
        mysql_real_escape_string(connection, out.data() + 1, utf8.data(), utf8.size());
    if (n == static_cast<unsigned long>(-1)) throw tk_mail_assertion("sql_util.cpp", 907);
    out.resize(n + 1);
    out.push_back('\'');
    return out;
}

// --- Column types on the write side ---

namespace {

constexpr const wchar_t* native_type_names[] = {
    L"BINARY",     L"BIT",
    L"TINYINT",    L"TINYINT UNSIGNED",
    L"SMALLINT",   L"SMALLINT UNSIGNED",
    L"INT",        L"INT UNSIGNED",
    L"BIGINT",     L"BIGINT UNSIGNED",
    L"FLOAT",      L"DECIMAL",
    L"DOUBLE",     L"CHAR",
    L"VARBINARY",  L"VARCHAR",
    L"DATETIME",   L"DATE",
    L"TIME",       L"TIMESTAMP",
    L"LONGBLOB",   L"TINYBLOB",
    L"BLOB",       L"MEDIUMBLOB",
    L"TEXT",       L"LONGTEXT",
    L"MEDIUMTEXT", L"TINYTEXT",
};

enum native_type : int {
    nt_tinyint = 2,
    nt_tinyint_u,
    nt_smallint,
    nt_smallint_u,
    nt_int,
    nt_int_u,
    nt_bigint,
    nt_bigint_u,
    nt_float,
    nt_decimal,
    nt_double,
    nt_char,
    nt_varbinary,
    nt_varchar,
    nt_datetime,
    nt_date,
    nt_time,
    nt_timestamp,
    nt_longblob,
    nt_blob = 22,
    nt_mediumblob,
    nt_longtext = 25,
    nt_mediumtext
};

std::wstring type_word(int code) {
    return sql_native_type_name(code);
}

std::wstring sized(int code, int n) {
    return type_word(code) + L"(" + std::to_wstring(n) + L")";
}

// The most characters a utf8 (three bytes a character) VARCHAR can declare.
constexpr int32_t max_varchar = 21844;
constexpr int32_t max_mediumtext = 5592405;

}  // namespace

const wchar_t* sql_native_type_name(int code) {
    if (code < 0 || code >= static_cast<int>(std::size(native_type_names))) {
        tk_log_printf(1, "Type %d wasn't found", code);
        return L"<Unknown type>";
    }
    return native_type_names[code];
}

int sql_fractional_digits(const t_ftd& c, uint32_t version) {
    if (version <= 0x050603) return 0;
    // TIME's text is "hh:mm:ss" behind up to three hour digits and a sign (10 in all);
    // date-times are 19 characters; a point and the digits follow either.
    const int32_t whole = udb_date_kind(c) == udb_time_only ? 11 : 20;
    if (c.size > whole && c.size <= whole + 6) return c.size - whole;
    return 0;
}

std::wstring get_sql_native_type2(const t_ftd& c, uint32_t version) {
    tk_log_wprintf(1, L"get_sql_native_type2: %s(%d,%d,%d)", c.name, c.vartype, c.size, c.reserved);
    auto with_fraction = [&](int code) {
        int digits = sql_fractional_digits(c, version);
        return digits > 0 ? sized(code, digits) : type_word(code);
    };
    switch (c.vartype) {
        case VT_I1:
            return type_word(nt_tinyint);
        case VT_UI1:
            return type_word(nt_tinyint_u);
        case VT_I2:
            return type_word(nt_smallint);
        case VT_UI2:
            return type_word(nt_smallint_u);
        case VT_I4:
        case VT_INT:
            return type_word(nt_int);
        case VT_UI4:
        case VT_UINT:
            return type_word(nt_int_u);
        case VT_I8:
            return type_word(nt_bigint);
        case VT_UI8:
            return type_word(nt_bigint_u);
        case VT_R4:
            return type_word(nt_float);
        case VT_R8:
            return type_word(nt_double);
        case VT_CY:
            return type_word(nt_decimal) + L"(19,4)";
        case VT_BOOL:
            return type_word(nt_tinyint) + L"(1)";
        case VT_DECIMAL:
            tk_log_printf(1, "Scale/precision for decimal column: (%d, %d)", c.scale, c.precision);
            // Beyond the server's limits the server answers; clamping would lose digits.
            if (c.precision == 0) return type_word(nt_double);
            return type_word(nt_decimal) + L"(" + std::to_wstring(c.precision) + L"," +
                   std::to_wstring(c.scale) + L")";
        case VT_DATE: {
            const std::wstring def = c.default_value.to_wstring();
            tk_log_wprintf(1, L"Got date def.value: '%s'", def);
            if (c.reserved == udb_current_time || tk_iequal(def, L"NOW()") ||
                tk_iequal(def, L"sysdate") || tk_iequal(def, L"getdate()") ||
                tk_iequal(def, L"getutcdate()") || tk_iequal(def, L"CURRENT_TIMESTAMP")) {
                tk_log_printf(2, "Customize date type due to NOW() def.value");
                return with_fraction(nt_timestamp);
            }
            if (c.reserved == udb_current_date || tk_iequal(def, L"date()")) {
                tk_log_printf(2, "Customize date type due to date() def.value");
                return type_word(nt_date);
            }
            switch (udb_date_kind(c)) {
                case 0:
                    // A timestamp kept as text: with fractions it is 26 characters long.
                    return sized(nt_char, c.size > 19 ? 26 : 19);
                case udb_date_time:
                    if (version > 0x050603)
                        tk_log_printf(1, "MySQL ver >= 5.6.4, modern datetime can be used");
                    return with_fraction(nt_datetime);
                case udb_date_only:
                    tk_log_printf(2, "Got pure date");
                    return type_word(nt_date);
                default:
                    if (version > 0x050603)
                        tk_log_printf(1, "MySQL ver >= 5.6.4, modern time can be used");
                    return with_fraction(nt_time);
            }
        }
        case VT_BSTR:
        case VT_LPSTR:
        case VT_LPWSTR:
            tk_log_printf(1, "process as text");
            if (udb_is_geometry_mark(c)) {
                tk_log_printf(2, "process VT_BSTR as geometry");
                return L"geometry";
            }
            if (c.reserved == udb_fixed_char && c.size >= 1 && c.size <= 255) {
                tk_log_printf(2, "process VT_BSTR as fixed width CHAR");
                return sized(nt_char, c.size);
            }
            if (c.size >= 1 && c.size <= max_varchar) {
                tk_log_printf(2, "case insensitive VARCHAR");
                return sized(nt_varchar, c.size);
            }
            if (c.size > max_varchar && c.size <= max_mediumtext) {
                tk_log_printf(2, "case insensitive MEDIUMTEXT");
                return type_word(nt_mediumtext);
            }
            return type_word(nt_longtext);
        case VT_BLOB:
        case VT_BLOB_OBJECT:
        case VT_UI1_ARRAY:
            tk_log_printf(1, "process as blob");
            if (c.size >= 1 && c.size <= 255) return sized(nt_varbinary, c.size);
            if (c.size >= 256 && c.size <= 65535) return type_word(nt_blob);
            if (c.size >= 65536 && c.size <= 16777215) return type_word(nt_mediumblob);
            return type_word(nt_longblob);
        default:
            throw tk_mail_assertion("sql_util.cpp", 604);
    }
}

std::wstring get_sql_native_type2(const t_ftd& column) {
    return get_sql_native_type2(column, sql_engine::instance().get_version());
}

size_t sql_ifind(std::wstring_view text, size_t start, std::wstring_view pattern) {
    if (pattern.empty()) return start;
    if (start > text.size() || pattern.size() > text.size() - start) return std::wstring::npos;
    for (size_t i = start; i + pattern.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < pattern.size() && pt::fold_case(text[i + k]) == pt::fold_case(pattern[k])) ++k;
        if (k == pattern.size()) return i;
    }
    return std::wstring::npos;
}

bool sql_has_input(MYSQL* connection, std::chrono::milliseconds wait) {
    pollfd p{};
    p.fd = static_cast<int>(mysql_get_socket(connection));
    p.events = POLLIN;
    if (p.fd < 0) return false;
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        const int n = poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        // A signal may land while waiting; its handler shuts the socket down when the
        // run must end, which the next poll sees.
        if (n >= 0 || errno != EINTR) return n > 0;
    }
}
