#include "SQL/sql_limq.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"

sql_limited_query::sql_limited_query(sql_database& db, const std::wstring& name, bool as_query,
                                     const std::wstring& source)
    : connection_(db.get_connection()), source_(source) {
    tk_log_wprintf(1, L"sql_limited_query::sql_limited_query(%s)", name);
    std::wstring statement = L"SELECT * FROM ";
    if (as_query) {
        tk_log_printf(1, "...as query");
        statement += L"(" + name + L") as temp___table";
    } else {
        tk_log_printf(1, "...as table");
        statement += sql_engine::get_safe_name(name);
    }
    tk_log_wprintf(1, L"sql_database::do_query2(%s)", statement);
    db.use();
    if (mysql_query(connection_, sql_to_utf8(statement).c_str()) != 0)
        throw sql_exception(connection_);
    result_ = mysql_use_result(connection_);
    if (!result_) {
        if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
        throw sql_exception(0, "The statement returned no rows to read");
    }
    n_fields_ = mysql_num_fields(result_);
    fields_ = mysql_fetch_fields(result_);
    tk_log_printf(1, "sql_limited_query - at the end");
}

sql_limited_query::~sql_limited_query() {
    tk_log_printf(2, "sql_limited_query::~sql_limited_query");
    // Freeing an unfinished stream reads off its remaining rows.
    if (result_) mysql_free_result(result_);
    result_ = nullptr;
}

size_t sql_limited_query::store_to(sql_block& block, const udb_schema* schema,
                                   uint64_t first_row_number) {
    tk_log_printf(1, "sql_limited_query::store_to(n_max_records=%d)", sql_block_size);
    for (auto& slot : block) slot.reset();
    if (exhausted_) return 0;
    if (!columns_ || columns_schema_ != schema) {
        columns_.emplace(n_fields_, fields_, schema, source_);
        columns_schema_ = schema;
    }
    size_t count = 0;
    while (count < sql_block_size) {
        MYSQL_ROW row = mysql_fetch_row(result_);
        if (!row) {
            // The end of the rows only when the library saw no error.
            exhausted_ = true;
            if (mysql_errno(connection_) != 0) {
                sql_exception e(connection_);
                for (auto& slot : block) slot.reset();
                throw e;
            }
            break;
        }
        const unsigned long* lengths = mysql_fetch_lengths(result_);
        block[count] = columns_->make_record(row, lengths, first_row_number + count);
        ++count;
    }
    return count;
}
