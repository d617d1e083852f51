#include "SQL/sql_db.hpp"

#include <stdexcept>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_log.hpp"
#include "platform/text.hpp"

namespace {

// Position of the first case-insensitive match of `pattern` in `text`, or npos.
size_t ifind(const std::wstring& text, const std::wstring& pattern) {
    if (pattern.empty() || pattern.size() > text.size()) return std::wstring::npos;
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < pattern.size() && pt::fold_case(text[i + k]) == pt::fold_case(pattern[k])) ++k;
        if (k == pattern.size()) return i;
    }
    return std::wstring::npos;
}

}  // namespace

sql_database::sql_database(const std::wstring& name, MYSQL* connection, int32_t open_mode)
    : udb_database(name, open_mode, 0), connection_(connection) {
    init_tables();
    if (!(open_mode & udb_open_no_views)) {
        try {
            init_views();
        } catch (const sql_exception& e) {
            tk_log_printf(3, "Failed to initialize views:\n%s", e.what());
        }
    }
}

sql_database::~sql_database() = default;

void sql_database::init_tables() {
    if (sql_engine::instance().get_version() < 0x050001) {
        tk_log_printf(2, "Extracting tables in old way");
        MYSQL_RES* result = mysql_list_tables(connection_, nullptr);
        if (!result) throw sql_exception(connection_);
        sql_tmp_recordset list(connection_, result);
        list.reset();
        while (!list.is_eof()) {
            std::wstring table = (*list.get_item())[0].to_wstring();
            tk_log_wprintf(2, L"Got table name: '%s'", table);
            table_names_.push_back(std::move(table));
            list.next();
        }
        return;
    }
    tk_log_printf(2, "Extracting tables in new way");
    sql_list_tables_rs list(connection_);
    list.reset();
    while (!list.is_eof()) {
        std::wstring table = (*list.get_item())[0].to_wstring();
        tk_log_wprintf(2, L"Got table name: '%s'", table);
        table_names_.push_back(std::move(table));
        list.next();
    }
}

void sql_database::init_views() {
    // The view text is a BLOB-typed column of the listing.
    sql_blob_to_text_scope text_scope(true);
    // The database is selected; its name never enters the statement.
    auto rs = query_rs(
        L"SELECT table_name, view_definition FROM information_schema.views WHERE "
        L"table_schema = DATABASE()");
    if (!rs) return;
    rs->reset();
    while (!rs->is_eof()) {
        const udb_record& r = *rs->get_item();
        if (r.size() < 2) throw std::out_of_range("The view listing has fewer than two columns");
        std::wstring view = r[0].to_wstring();
        tk_log_wprintf(2, L"Got query name: '%s'", view);
        std::wstring sql = r[1].to_wstring();
        tk_log_wprintf(2, L"Got query SQL: '%s'", sql);
        views_.emplace_back(std::move(view), refine_view_out(sql));
        rs->next();
    }
}

std::wstring sql_database::refine_view_out(const std::wstring& sql) const {
    std::wstring text = sql;
    size_t open = text.find(L"/*");
    size_t close = text.find(L"*/");
    if (open != std::wstring::npos && close != std::wstring::npos) {
        long count = static_cast<long>(close) - static_cast<long>(open) + 2;
        if (count >= 0)
            text.erase(open, static_cast<size_t>(count));
        else
            text.erase(open);
    }
    const std::wstring qualifier = sql_engine::get_safe_name(name_) + L".";
    for (size_t at = ifind(text, qualifier); at != std::wstring::npos;
         at = ifind(text, qualifier)) {
        tk_log_printf(1, "Remove template found at pos=%d", at);
        text.erase(at, qualifier.size());
    }
    return text;
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::wstring& name,
                                                          const udb_schema&, const udb_indexes&) {
    tk_log_wprintf(2, L"sql_database::create_table(%s)", name);
    if (open_mode_ & udb_open_read) throw tk_mail_assertion("sql_db.cpp", 336);
    throw tk_exception("Writing into a MySQL database is not supported", tk_kind_error);
}

std::unique_ptr<udb_recordset> sql_database::get_query(const std::wstring& name,
                                                       const std::wstring& query) {
    tk_log_wprintf(2, L"sql_database::get_query(%s,%s)", name, query);
    return std::make_unique<sql_recordset>(this, name, query, &relationships_);
}

std::unique_ptr<sql_table> sql_database::get_sql_table(const std::wstring& name, int32_t mode) {
    tk_log_wprintf(2, L"sql_database::get_table(%s,%d)", name, mode);
    // On servers that keep the case of table names, "T" and "t" are two tables: the
    // exact name wins, else the listed spelling of a name that differs in case only.
    const std::wstring* listed = nullptr;
    for (const auto& t : table_names_) {
        if (t == name) {
            listed = &t;
            break;
        }
    }
    if (!listed) {
        for (const auto& t : table_names_) {
            if (same_table_name(t, name)) {
                listed = &t;
                break;
            }
        }
    }
    if (!listed) {
        tk_log_wprintf(2, L"Table '%s' does not exists", name);
        throw tk_mail_assertion("sql_db.cpp", 75);
    }
    return std::make_unique<sql_table>(this, *listed, &relationships_, mode);
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::wstring& name, int32_t mode) {
    return get_sql_table(name, mode);
}

std::unique_ptr<sql_tmp_recordset> sql_database::query_rs(const std::wstring& text) {
    tk_log_wprintf(1, L"sql_database::do_query2(%s)", text);
    if (mysql_query(connection_, sql_to_utf8(text).c_str()) != 0) {
        tk_log_wprintf(3, L"QUERY=%s", text);
        throw sql_exception(connection_);
    }
    MYSQL_RES* result = mysql_use_result(connection_);
    if (mysql_errno(connection_) != 0) {
        tk_log_wprintf(3, L"QUERY=%s", text);
        sql_exception e(connection_);
        if (result) mysql_free_result(result);
        throw e;
    }
    if (!result) return nullptr;
    return std::make_unique<sql_tmp_recordset>(connection_, result);
}

std::unique_ptr<udb_recordset> sql_database::query(const std::wstring& text) {
    return query_rs(text);
}

bool sql_database::query(const std::wstring& text, udb_no_result_t) {
    tk_log_wprintf(1, L"sql_database::do_query1(%s)", text);
    int rc = mysql_query(connection_, sql_to_utf8(text).c_str());
    if (rc == 0) {
        if (MYSQL_RES* result = mysql_use_result(connection_)) mysql_free_result(result);
    }
    return rc == 0;
}
