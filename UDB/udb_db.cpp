#include "UDB/udb_db.hpp"

#include <cerrno>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files.hpp"

udb_database::udb_database(const std::wstring& name, int32_t open_mode, int32_t case_sensitive)
    : open_mode_(open_mode), name_(name), case_sensitive_(case_sensitive) {
    tk_log_wprintf(2, L"udb_database::ctor(%s,%d)", name_, open_mode_);
}

udb_database::~udb_database() {
    tk_log_printf(2, "udb_database::dtor");
}

void udb_database::create_table(const std::wstring&, const std::wstring&) {
    tk_log_printf(2, "udb_database::create_table(partition)");
    throw tk_mail_assertion("udb_db.cpp", 50);
}

void udb_database::create_indexes(const std::wstring& table, int32_t argument,
                                  const udb_indexes& indexes) {
    tk_log_wprintf(2, L"udb_database::create_indexes(%s)", table);
    tk_log_printf(1, "idxs.size=%d", indexes.size());
    for (const auto& index : indexes) create_index(table, argument, index);
    tk_log_printf(1, "udb_database::create_indexes - at the END");
}

bool udb_database::same_table_name(const std::wstring& a, const std::wstring& b) const {
    return case_sensitive_ == 0 ? tk_iequal(a, b) : a == b;
}

bool udb_database::delete_tab(const std::wstring& name) {
    tk_log_wprintf(2, L"udb_database::delete_tab(%s)", name);
    for (auto it = table_names_.begin(); it != table_names_.end(); ++it) {
        if (same_table_name(*it, name)) {
            table_names_.erase(it);
            return true;
        }
    }
    tk_log_printf(2, "Table not found!");
    return false;
}

void udb_database::empty_table(const std::wstring& name) {
    tk_log_wprintf(2, L"udb_database::empty_table(%s)", name);
    query(L"delete from " + name);
}

std::unique_ptr<udb_recordset> udb_database::query(const std::wstring&) {
    throw tk_mail_assertion("udb_db.cpp", 111);
}

bool udb_database::is_table_exist(const std::wstring& name) {
    tk_log_wprintf(2, L"udb_database::is_table_exist(%s,case_sensitive=%d)", name, case_sensitive_);
    if (table_names_.empty()) tk_log_printf(2, "Tables list is EMPTY!");
    for (const auto& t : table_names_) {
        tk_log_wprintf(2, L"Compare with %s", t);
        if (same_table_name(t, name)) {
            tk_log_printf(1, "table exists");
            return true;
        }
    }
    tk_log_printf(1, "table not found");
    return false;
}

void udb_engine::db_delete(const std::wstring& name) {
    if (int err = pt::remove_file(tk_unicode_to_utf8(name)))
        throw tk_exception_ex("", tk_kind_error, err);
}

bool udb_engine::is_db_exist(const std::wstring& name) {
    return tk_is_file_exist1(tk_unicode_to_utf8(name), tk_exist_file);
}
