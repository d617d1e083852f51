#include "SQL/sql_util.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"

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
