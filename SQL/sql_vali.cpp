#include "SQL/sql_vali.hpp"

#include <algorithm>

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

// Characters that servers from 4.1.0 on do not take in names; field and index names
// avoid the first 8, table names (which become file names) all 14.
constexpr wchar_t forbidden_table[14] = {L'`', L'"', L'\'', L'^', L'*', L'\\', L';',
                                         L'+', L'|', L':',  L'<', L'>', L'?',  L'/'};

// The reserved words of servers before 4.1.0.
const wchar_t* const old_reserved_words[] = {
    L"add",
    L"all",
    L"alter",
    L"and",
    L"as",
    L"asc",
    L"between",
    L"bigint",
    L"binary",
    L"blob",
    L"both",
    L"by",
    L"cascade",
    L"case",
    L"char",
    L"character",
    L"change",
    L"column",
    L"columns",
    L"constraint",
    L"create",
    L"cross",
    L"current_date",
    L"current_time",
    L"current_timestamp",
    L"database",
    L"databases",
    L"day_hour",
    L"day_minute",
    L"day_second",
    L"dec",
    L"decimal",
    L"default",
    L"delayed",
    L"delete",
    L"desc",
    L"describe",
    L"distinct",
    L"distinctrow",
    L"double",
    L"drop",
    L"else",
    L"escaped",
    L"enclosed",
    L"explain",
    L"exists",
    L"fields",
    L"float",
    L"float4",
    L"float8",
    L"foreign",
    L"from",
    L"for",
    L"grant",
    L"group",
    L"having",
    L"high_priority",
    L"hour_minute",
    L"hour_second",
    L"ignore",
    L"in",
    L"index",
    L"infile",
    L"inner",
    L"insert",
    L"insert_id",
    L"int",
    L"int1",
    L"int2",
    L"int3",
    L"int4",
    L"int8",
    L"integer",
    L"interval",
    L"into",
    L"if",
    L"is",
    L"join",
    L"key",
    L"keys",
    L"kill",
    L"last_insert_id",
    L"leading",
    L"left",
    L"like",
    L"lines",
    L"limit",
    L"load",
    L"lock",
    L"long",
    L"longblob",
    L"longtext",
    L"low_priority",
    L"match",
    L"mediumblob",
    L"mediumtext",
    L"mediumint",
    L"middleint",
    L"minute_second",
    L"natural",
    L"numeric",
    L"not",
    L"null",
    L"on",
    L"optimize",
    L"option",
    L"optionally",
    L"or",
    L"order",
    L"outer",
    L"outfile",
    L"partial",
    L"precision",
    L"primary",
    L"procedure",
    L"privileges",
    L"read",
    L"real",
    L"regexp",
    L"rename",
    L"replace",
    L"restrict",
    L"returns",
    L"revoke",
    L"rlike",
    L"select",
    L"set",
    L"show",
    L"smallint",
    L"soname",
    L"sql_big_tables",
    L"sql_big_selects",
    L"sql_low_priority_updates",
    L"sql_log_off",
    L"sql_log_update",
    L"sql_select_limit",
    L"sql_small_result",
    L"sql_big_result",
    L"sql_warnings",
    L"straight_join",
    L"starting",
    L"table",
    L"tables",
    L"terminated",
    L"then",
    L"tinyblob",
    L"tinytext",
    L"tinyint",
    L"trailing",
    L"to",
    L"usage",
    L"use",
    L"using",
    L"unique",
    L"unlock",
    L"unsigned",
    L"update",
    L"values",
    L"varchar",
    L"varying",
    L"varbinary",
    L"with",
    L"write",
    L"when",
    L"where",
    L"year_month",
    L"zerofill",
};

bool is_blank(wchar_t c) {
    return c == L' ';
}

bool is_old_name_char(wchar_t c) {
    return pt::is_alnum(c) || c == L'_' || c == L'$';
}

bool digits_only(const std::wstring& s) {
    return std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

}  // namespace

// --- New rules ---

sql_new_validator::sql_new_validator() : udb_validator(64) {
    tk_log_printf(2, "sql_new_validator::ctor");
}

void sql_new_validator::forbid(size_t count) {
    forbidden_chars_.assign(forbidden_table, forbidden_table + count);
}

bool sql_new_validator::is_acceptable(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_new_validator::is_acceptable(%s)", name);
    if (name.empty() || name.size() > 64) {
        tk_log_printf(1, "Invalid length");
        return false;
    }
    if (is_blank(name.front()) || is_blank(name.back())) {
        tk_log_printf(1, "ID cannot starts or ends with ' '");
        return false;
    }
    return udb_validator::is_acceptable(name);
}

std::wstring sql_new_validator::get_safe_name(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_new_validator::get_safe_name(%s)", name);
    return udb_validator::get_safe_name(tk_wstring(name).trim());
}

sql_new_fn_validator::sql_new_fn_validator(const udb_record& record) {
    tk_log_printf(2, "sql_new_fn_validator::ctor");
    forbid(8);
    tk_log_printf(1, "Record size=%d", record.size());
    for (size_t i = 0; i < record.size(); ++i) {
        tk_log_printf(1, "Process record[%d]", i);
        add_existing_name(record[i].get_name());
    }
    tk_log_printf(1, "sql_new_fn_validator::ctor - end");
}

sql_new_fn_validator::sql_new_fn_validator(const udb_schema& schema) {
    tk_log_printf(2, "sql_new_fn_validator::ctor");
    forbid(8);
    tk_log_printf(1, "Schema size=%d", schema.size());
    for (size_t i = 0; i < schema.size(); ++i) {
        tk_log_printf(1, "Process schema[%d]", i);
        add_existing_name(schema[i].name);
    }
}

sql_new_in_validator::sql_new_in_validator(const udb_indexes& indexes) {
    tk_log_printf(2, "sql_new_in_validator::ctor");
    forbid(8);
    for (const auto& index : indexes) add_existing_name(index.name);
}

sql_new_tn_validator::sql_new_tn_validator(const std::vector<std::wstring>& names1,
                                           const std::vector<std::wstring>& names2) {
    tk_log_printf(2, "sql_new_tn_validator::ctor");
    forbid(14);
    for (const auto& n : names1) add_existing_name(n);
    for (const auto& n : names2) add_existing_name(n);
}

// --- Old rules ---

sql_old_validator::sql_old_validator() : udb_validator(64) {
    tk_log_printf(2, "sql_old_validator::ctor");
    reserved_words_.assign(std::begin(old_reserved_words), std::end(old_reserved_words));
}

bool sql_old_validator::is_acceptable(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_old_validator::is_acceptable(%s)", name);
    if (!udb_validator::is_acceptable(name)) return false;
    for (wchar_t c : name) {
        if (!is_old_name_char(c)) {
            tk_log_wprintf(2, L"Name contains invalid symbol: '%c'", std::wstring(1, c));
            return false;
        }
    }
    if (digits_only(name)) {
        tk_log_printf(2, "Name consists of digits only");
        return false;
    }
    return true;
}

std::wstring sql_old_validator::get_safe_name(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_old_validator::get_safe_name(%s)", name);
    std::wstring safe = name;
    for (wchar_t& c : safe)
        if (!is_old_name_char(c)) c = L'_';
    if (digits_only(safe) && !safe.empty()) safe[0] = L'_';
    return udb_validator::get_safe_name(safe);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_record& record) {
    tk_log_printf(2, "sql_old_fn_validator::ctor");
    for (size_t i = 0; i < record.size(); ++i) add_existing_name(record[i].get_name());
}

sql_old_fn_validator::sql_old_fn_validator(const udb_schema& schema) {
    tk_log_printf(2, "sql_old_fn_validator::ctor");
    for (size_t i = 0; i < schema.size(); ++i) add_existing_name(schema[i].name);
}

sql_old_in_validator::sql_old_in_validator(const udb_indexes& indexes) {
    tk_log_printf(2, "sql_old_in_validator::ctor");
    for (const auto& index : indexes) add_existing_name(index.name);
}

sql_old_tn_validator::sql_old_tn_validator(const std::vector<std::wstring>& names1,
                                           const std::vector<std::wstring>& names2) {
    tk_log_printf(2, "sql_old_tn_validator::ctor");
    for (const auto& n : names1) add_existing_name(n);
    for (const auto& n : names2) add_existing_name(n);
}
