#include "SQL/sql_db.hpp"

#include <charconv>
#include <cstring>
#include <stdexcept>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_fk.hpp"
#include "SQL/sql_init.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_tab.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_view.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

// Statement text in trace lines: a batch of a megabyte would bury the log.
std::string_view trace_text(std::string_view s) {
    return s.substr(0, 4096);
}

constexpr size_t long_data_chunk = 0x20000;

// The rows a statement found. An UPDATE's affected rows are those it changed; the rows
// it matched are the first number of its info text, in every language of the server's
// messages.
uint64_t rows_found(MYSQL* m) {
    if (const char* info = mysql_info(m)) {
        const std::string_view s(info);
        const size_t at = s.find_first_of("0123456789");
        uint64_t n = 0;
        if (at != std::string_view::npos &&
            std::from_chars(s.data() + at, s.data() + s.size(), n).ec == std::errc())
            return n;
    }
    const my_ulonglong affected = mysql_affected_rows(m);
    return affected == static_cast<my_ulonglong>(-1) ? 0 : affected;
}

std::wstring join(const std::vector<std::wstring>& parts, const wchar_t* separator) {
    std::wstring out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += separator;
        out += parts[i];
    }
    return out;
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
    use();
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
    for (size_t at = sql_ifind(text, 0, qualifier); at != std::wstring::npos;
         at = sql_ifind(text, 0, qualifier)) {
        tk_log_printf(1, "Remove template found at pos=%d", at);
        text.erase(at, qualifier.size());
    }
    return text;
}

std::unique_ptr<udb_recordset> sql_database::get_query(const std::wstring& name,
                                                       const std::wstring& query) {
    tk_log_wprintf(2, L"sql_database::get_query(%s,%s)", name, query);
    return std::make_unique<sql_recordset>(this, name, query, &relationships_);
}

const std::wstring* sql_database::find_listed(const std::wstring& name, bool any_case) const {
    for (const auto& t : table_names_)
        if (t == name) return &t;
    if (!any_case) return nullptr;
    for (const auto& t : table_names_)
        if (same_table_name(t, name)) return &t;
    return nullptr;
}

std::unique_ptr<sql_table> sql_database::get_sql_table(const std::wstring& name, int32_t mode) {
    tk_log_wprintf(2, L"sql_database::get_table(%s,%d)", name, mode);
    // On servers that keep the case of table names, "T" and "t" are two tables: the
    // exact name wins, else the listed spelling of a name that differs in case only.
    const std::wstring* listed = find_listed(name, true);
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
    use();
    const std::string utf8 = sql_to_utf8(text);
    if (mysql_real_query(connection_, utf8.data(), utf8.size()) != 0) {
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
    try {
        execute(sql_to_utf8(text));
        return true;
    } catch (const sql_exception& e) {
        tk_log_printf(2, "ERROR: %s", e.what());
        return false;
    }
}

// --- Statements ---

void sql_database::use() {
    sql_engine::instance().use_database(name_);
}

unsigned sql_database::execute(std::string_view utf8) {
    use();
    if (mysql_real_query(connection_, utf8.data(), utf8.size()) != 0) {
        tk_log_printf(3, "QUERY=%s", trace_text(utf8));
        throw sql_exception(connection_);
    }
    found_rows_ = rows_found(connection_);
    const unsigned warnings = mysql_warning_count(connection_);
    // A statement that answers with rows must be read off before the next one.
    if (MYSQL_RES* result = mysql_use_result(connection_)) mysql_free_result(result);
    if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
    return warnings;
}

void sql_database::query_append(std::string_view utf8) {
    tk_log_printf(2, "sql_database::query_append(q_len=%d)", utf8.size());
    tk_log_printf(2, "(%s)", trace_text(utf8));
    tk_log_printf(1, "sql_database::do_query1(%s)", trace_text(utf8));
    sql_engine::instance().ensure_write_session();
    raise_warnings(execute(utf8));
}

void sql_database::raise_warnings(unsigned count) {
    if (count == 0) return;
    // The statement went through, but the server altered what it stored: the caller
    // must know. Notes (such as trailing blanks cut from a CHAR) are only traced.
    auto rs = query_rs(L"SHOW WARNINGS");
    std::string text;
    unsigned first_code = 0;
    if (!rs) return;
    for (rs->reset(); !rs->is_eof(); rs->next()) {
        const udb_record& row = *rs->get_item();
        if (row.size() < 3) continue;
        const std::string level = row[0].to_string();
        const std::string message = row[2].to_string();
        if (level == "Note") {
            tk_log_printf(2, "Note: %s", message);
            continue;
        }
        if (first_code == 0) first_code = static_cast<unsigned>(row[1].to_long());
        if (!text.empty()) text += "; ";
        text += message;
    }
    rs.reset();
    if (!text.empty()) throw sql_exception(first_code, text);
}

void sql_database::prepared_statement(std::string_view utf8,
                                      const std::vector<const udb_field*>& params) {
    tk_log_printf(2, "sql_database::prepared_statement(n=%d)", params.size());
    sql_engine::instance().ensure_write_session();
    use();
    std::unique_ptr<MYSQL_STMT, decltype(&mysql_stmt_close)> stmt(mysql_stmt_init(connection_),
                                                                  &mysql_stmt_close);
    if (!stmt) throw sql_exception(connection_);
    auto fail = [&](const char* trace) {
        std::string error = mysql_stmt_error(stmt.get());
        tk_log_printf(2, trace, error);
        throw sql_prep_stmt_failed_exception(error);
    };
    if (mysql_stmt_prepare(stmt.get(), utf8.data(), utf8.size()) != 0)
        fail("mysql_stmt_prepare failed: error=%s");
    if (mysql_stmt_param_count(stmt.get()) != params.size())
        throw tk_mail_assertion("sql_db.cpp", 394);

    std::vector<MYSQL_BIND> binds(params.size());
    std::memset(binds.data(), 0, binds.size() * sizeof(MYSQL_BIND));
    for (size_t k = 0; k < params.size(); ++k) {
        tk_log_printf(1, "Binding field #%d", k);
        binds[k].buffer_type = params[k]->get_byte_array() ? MYSQL_TYPE_BLOB : MYSQL_TYPE_STRING;
    }
    if (!binds.empty() && mysql_stmt_bind_param(stmt.get(), binds.data()) != 0)
        fail("Binding failed: error=%s");

    // The values travel as their bytes: a byte array as it is, a text as UTF-8.
    for (size_t k = 0; k < params.size(); ++k) {
        const udb_field& f = *params[k];
        std::string holder;
        const char* data = nullptr;
        size_t size = 0;
        if (const std::vector<uint8_t>* bytes = f.get_byte_array()) {
            data = reinterpret_cast<const char*>(bytes->data());
            size = bytes->size();
        } else {
            const std::wstring* text = f.get_bstr();
            holder = text ? pt::utf8_encode(*text) : f.to_string();
            data = holder.data();
            size = holder.size();
        }
        tk_log_printf(1, "Reading field #%d (size=%d)", k, size);
        for (size_t pos = 0; pos < size; pos += long_data_chunk) {
            const size_t n = std::min(long_data_chunk, size - pos);
            if (mysql_stmt_send_long_data(stmt.get(), static_cast<unsigned>(k), data + pos, n) !=
                0) {
                tk_log_printf(2, "mysql_stmt_send_long_data failed (pos=%d)", pos);
                fail("error=%s");
            }
        }
    }
    if (mysql_stmt_execute(stmt.get()) != 0) {
        tk_log_printf(3, "QUERY=%s", trace_text(utf8));
        fail("mysql_stmt_execute failed: error=%s");
    }
    const unsigned warnings = mysql_warning_count(connection_);
    stmt.reset();
    raise_warnings(warnings);
}

// --- Tables ---

std::unique_ptr<udb_recordset> sql_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
    tk_log_wprintf(2, L"sql_database::create_table(%s)", name);
    if (open_mode_ & udb_open_read) throw tk_mail_assertion("sql_db.cpp", 336);
    // The server would refuse the statement, or keep another name than the one given.
    if (name.empty() || name.size() > 64)
        throw tk_exception(L"The table name '" + name + L"' is empty or longer than 64 characters",
                           tk_kind_continue);
    sql_engine& engine = sql_engine::instance();
    // Where the server keeps "T" and "t" apart, only the exact name is the same table.
    if (const std::wstring* listed = find_listed(name, !engine.is_table_case_kept()))
        return get_sql_table(*listed, udb_open_append);

    engine.ensure_write_session();
    const uint32_t version = engine.get_version();
    const sql_table_properties* properties = engine.get_table_properties(name);
    std::wstring auto_num;
    sql_schema_initializer columns(name, schema, indexes, auto_num);
    std::vector<std::wstring> chunks;
    columns.get_init_chunks(chunks, properties);

    std::wstring storage = properties ? sql_property(properties->table, L"engine") : L"";
    if (storage.empty()) storage = version < 0x031723 ? L"MyISAM" : engine.get_table_type();
    if (!indexes.empty() || !auto_num.empty()) {
        sql_indexes_initializer keys(columns.get_schema(), indexes, auto_num,
                                     columns.get_column_map(),
                                     sql_key_length_limit(version, storage), properties);
        keys.get_init_chunks(chunks);
    }
    std::wstring text =
        L"CREATE TABLE " + sql_engine::quote_name(name) + L" (" + join(chunks, L", ") + L")";
    const std::wstring charset =
        properties ? sql_property(properties->table, L"character set") : L"";
    if (!charset.empty()) text += L" character set " + charset;
    text += (version > 0x040016 ? L" ENGINE=" : L" TYPE=") + storage;
    tk_log_wprintf(2, L"Run SQL-query: %s\n", text);
    execute(sql_to_utf8(text));

    table_names_.push_back(name);
    tk_log_printf(1, "Step #1");
    // Later statements on the table find the columns' new names here.
    names_map_.add_fn_map(name, columns.get_column_map());
    tk_log_printf(1, "Step #2");
    return get_sql_table(name, 2);
}

bool sql_database::delete_tab(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_database::delete_tab(%s)", name);
    if (open_mode_ & udb_open_read) throw tk_mail_assertion("sql_db.cpp", 446);
    const std::wstring* listed = find_listed(name, true);
    if (!listed) throw tk_mail_assertion("sql_db.cpp", 447);
    const std::wstring table = *listed;
    execute(sql_to_utf8(L"DROP TABLE IF EXISTS " + sql_engine::quote_name(table) + L" CASCADE"));
    // The very spelling that was dropped leaves the list, not another that differs in case.
    for (auto it = table_names_.begin(); it != table_names_.end(); ++it) {
        if (*it == table) {
            table_names_.erase(it);
            break;
        }
    }
    return true;
}

void sql_database::empty_table(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_database::empty_table(%s)", name);
    // A source is never emptied.
    if (open_mode_ & udb_open_read) throw tk_mail_assertion("sql_db.cpp", 461);
    query_append(sql_to_utf8(L"DELETE FROM " + sql_engine::quote_name(name)));
}

// --- Views and foreign keys ---

std::wstring sql_database::refine_view_in(const std::wstring& sql) const {
    return sql_view_converter(names_map_).refine(sql);
}

void sql_database::report_item(const std::wstring& context, const tk_exception& e,
                               std::unique_ptr<tk_exception>& first) {
    error_handler* handler = error_handler::find();
    if (!handler) {
        if (!first) first = std::make_unique<tk_exception>(e);
        return;
    }
    const std::string saved = handler->get_context();
    handler->set_context_text(sql_to_utf8(context));
    handler->handle(e, false);
    handler->set_context_text(saved);
}

void sql_database::create_views(const udb_view_list& views) {
    tk_log_printf(2, "sql_database::create_views(%d)", views.size());
    std::vector<std::wstring> names;
    for (const auto& v : views) names.push_back(v.first);
    auto validator = sql_engine::instance().create_tn_validator(names, table_names_);
    std::unique_ptr<tk_exception> first;

    struct pending_view {
        std::wstring name, target, sql;
    };
    std::vector<pending_view> todo;
    // Every name first: a view's text may name a view renamed after it.
    for (const auto& [name, sql] : views) {
        tk_log_wprintf(2, L"Processing '%s'", name);
        tk_log_wprintf(2, L"\t'%s'", sql);
        if (!sql_view_converter::is_select(sql)) {
            tk_log_printf(2, "Skip non-select query");
            report_item(L"View '" + name + L"'",
                        tk_exception("The view is skipped: its text is not a SELECT statement",
                                     tk_kind_continue),
                        first);
            continue;
        }
        std::wstring target = name;
        if (!validator->is_acceptable(name)) {
            target = validator->get_safe_name(name);
            names_map_.add_tn_mapping(name, target);
            tk_log_wprintf(2, L"Store generated view name '%s'", target);
            validator->add_existing_name(target);
        }
        todo.push_back({name, target, sql});
    }
    // A view over one later in the list fails until that one exists: go round again
    // while a pass creates at least one, and report only what never worked.
    while (!todo.empty()) {
        std::vector<pending_view> failed;
        std::vector<tk_exception> errors;
        for (const pending_view& v : todo) {
            try {
                execute(sql_to_utf8(L"CREATE OR REPLACE VIEW " + sql_engine::quote_name(v.target) +
                                    L" AS " + refine_view_in(v.sql)));
            } catch (const tk_exception& e) {
                tk_log_printf(2, "Error while creating view:\n%s\n", e.what());
                failed.push_back(v);
                errors.push_back(e);
            }
        }
        if (failed.size() == todo.size()) {
            for (size_t i = 0; i < failed.size(); ++i)
                report_item(L"View '" + failed[i].name + L"'", errors[i], first);
            break;
        }
        todo = std::move(failed);
    }
    if (first) throw *first;
}

namespace {

// Puts foreign-key checks back as they were, on every way out.
class fk_checks_scope {
  public:
    explicit fk_checks_scope(sql_database& db) : db_(db) {
        try {
            auto rs = db_.query_rs(L"SELECT @@SESSION.foreign_key_checks");
            if (rs && !rs->is_eof()) saved_ = (*rs->get_item())[0].to_string();
        } catch (const tk_exception& e) {
            tk_log_printf(2, "Cannot read foreign key check: %s", e.what());
        }
        if (!db_.query(L"SET FOREIGN_KEY_CHECKS = 0", udb_no_result))
            tk_log_printf(2, "Cannot turn OFF foreign key check");
    }
    ~fk_checks_scope() {
        if (saved_ != "0" && saved_ != "1") return;
        if (!db_.query(L"SET FOREIGN_KEY_CHECKS = " + pt::utf8_decode(saved_), udb_no_result))
            tk_log_printf(2, "Cannot turn ON foreign key check");
    }
    fk_checks_scope(const fk_checks_scope&) = delete;
    fk_checks_scope& operator=(const fk_checks_scope&) = delete;

  private:
    sql_database& db_;
    std::string saved_;
};

}  // namespace

void sql_database::create_relationships(const std::vector<udb_relationship>& list) {
    tk_log_printf(3, "Converting foreign keys");
    sql_engine& engine = sql_engine::instance();
    if (engine.get_version() <= 0x03172B) {
        tk_log_printf(3, "This version of MySQL doesn't support Foreign Keys");
        return;
    }
    if (open_mode_ & udb_open_append) {
        tk_log_printf(3, "Foreign keys are not converted in append mode");
        return;
    }
    // Opening a table appends to this database's own list, which may be the argument.
    const std::vector<udb_relationship> relationships = list;
    std::unique_ptr<tk_exception> first;
    {
        // No table is locked: a lock left behind would refuse every later statement.
        fk_checks_scope checks(*this);
        auto validator = engine.create_in_validator(udb_indexes());
        auto listed_table = [&](const std::wstring& source) {
            const std::wstring mapped = names_map_.get_tn_mapped_name(source, false);
            const std::wstring* listed = find_listed(mapped, true);
            if (!listed)
                throw tk_exception(L"Table '" + mapped + L"' not exists", tk_kind_continue);
            return *listed;
        };
        auto column_list = [&](const std::wstring& table, const std::vector<std::wstring>& cols) {
            std::vector<std::wstring> quoted;
            for (const auto& c : cols)
                quoted.push_back(sql_engine::quote_name(names_map_.get_fn_mapped_name(table, c)));
            return join(quoted, L", ");
        };
        for (const udb_relationship& r : relationships) {
            tk_log_wprintf(3, L"Processing '%s'", r.name);
            try {
                const std::wstring fk_table = listed_table(r.fk_table);
                tk_log_wprintf(1, L"fk_table_name=%s", fk_table);
                const std::wstring pk_table = listed_table(r.pk_table);
                tk_log_wprintf(1, L"pk_table_name=%s", pk_table);
                std::wstring rule;
                if (!sql_fk_rule(r.rule, rule))
                    throw tk_exception(L"Its rule '" + r.rule + L"' is not understood",
                                       tk_kind_continue);
                create_fk_index_if(fk_table, r.fk_flds);
                create_fk_index_if(pk_table, r.pk_flds);

                std::wstring name = r.name;
                if (!name.empty() && !validator->is_acceptable(name)) {
                    name = validator->get_safe_name(name);
                    tk_log_wprintf(2, L"Store generated index name '%s'", name);
                    validator->add_existing_name(name);
                }
                validator->reserved_words().push_back(name);

                std::wstring text = L"ALTER TABLE " + sql_engine::quote_name(fk_table) + L" ADD";
                if (!name.empty()) text += L" CONSTRAINT " + sql_engine::quote_name(name);
                text += L" FOREIGN KEY(" + column_list(fk_table, r.fk_flds) + L") REFERENCES " +
                        sql_engine::quote_name(pk_table) + L"(" + column_list(pk_table, r.pk_flds) +
                        L")";
                if (!rule.empty()) text += L" " + rule;
                tk_log_wprintf(3, L"Foreign key query: '%s'", text);
                execute(sql_to_utf8(text));
            } catch (const tk_exception& e) {
                tk_log_printf(3, "Error while creating FK:\n%s\n", e.what());
                report_item(L"Foreign key '" + r.name + L"'",
                            tk_exception("Cannot create foreign key. Check that both tables "
                                         "exist and that their key columns have the same "
                                         "types. Cause: " +
                                             e.message(),
                                         tk_kind_continue),
                            first);
            }
        }
    }
    if (first) throw *first;
}

void sql_database::create_fk_index_if(const std::wstring& table,
                                      const std::vector<std::wstring>& columns) {
    auto t = get_sql_table(table, 0x61);
    std::vector<std::wstring> mapped;
    for (const auto& c : columns) mapped.push_back(names_map_.get_fn_mapped_name(table, c));
    tk_log_printf(1, "udb_indexes::has_index_on_fields");
    for (const udb_index& index : t->get_indexes()) {
        if (index.starts_with_fields(mapped)) {
            tk_log_wprintf(2, L"Index for table '%s' exists", table);
            return;
        }
    }
    t.reset();
    tk_log_wprintf(2, L"Index for table '%s' does NOT exist", table);
    std::vector<std::wstring> quoted;
    for (const auto& c : mapped) quoted.push_back(sql_engine::quote_name(c));
    execute(sql_to_utf8(L"ALTER TABLE " + sql_engine::quote_name(table) + L" ADD INDEX (" +
                        join(quoted, L", ") + L")"));
}
