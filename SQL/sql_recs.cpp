#include "SQL/sql_recs.hpp"

#include <charconv>
#include <stdexcept>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "platform/text.hpp"

namespace {

constexpr size_t tmp_block_size = 1000;

// The decimals the server gives a FLOAT column declared without (M,D).
constexpr unsigned float_decimals_not_fixed = 31;

// The first column of a record as a decimal number; false for no value.
template <class T>
bool read_number(const udb_record& record, T& out) {
    if (record.empty()) throw std::out_of_range("The result has no columns");
    const udb_field& f = record[0];
    if (f.get_type() == VT_EMPTY || f.get_type() == VT_NULL) return false;
    std::string text = f.to_string();
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc() || end != text.data() + text.size())
        throw sql_exception(0, "Unexpected number '" + text + "' from the server");
    return true;
}

// The column's type descriptor as the server describes it; `reserved` tells the date
// and time kinds, the sign of 64-bit integers and geometry apart.
std::unique_ptr<t_ftd> column_of(const MYSQL_FIELD& f, const std::wstring& name) {
    int32_t reserved = 0;
    switch (f.type) {
        case MYSQL_TYPE_DATETIME:
            reserved = udb_date_time;
            break;
        case MYSQL_TYPE_DATE:
            reserved = udb_date_only;
            break;
        case MYSQL_TYPE_TIME:
            reserved = udb_time_only;
            break;
        case MYSQL_TYPE_LONGLONG:
            reserved = (f.flags & UNSIGNED_FLAG) ? udb_unsigned : udb_signed;
            break;
        case MYSQL_TYPE_GEOMETRY:
            reserved = udb_geometry;
            break;
        default:
            break;
    }
    return std::make_unique<t_ftd>(sql_column_size(f), name, get_vartype(f),
                                   (f.flags & NOT_NULL_FLAG) != 0,
                                   (f.flags & AUTO_INCREMENT_FLAG) != 0, ole_variant(), reserved);
}

}  // namespace

// --- Finished results and listings ---

sql_tmp_recordset::sql_tmp_recordset(MYSQL* connection, MYSQL_RES* result)
    : udb_recordset(nullptr, std::wstring(), std::wstring(), true),
      connection_(connection),
      result_(result) {
    if (result_) {
        n_fields_ = mysql_num_fields(result_);
        tk_log_printf(1, "n_fields=%d", n_fields_);
        fields_ = mysql_fetch_fields(result_);
    }
    initialize();
}

sql_tmp_recordset::sql_tmp_recordset(MYSQL* connection, const std::string& utf8_statement)
    : udb_recordset(nullptr, std::wstring(), std::wstring(), true), connection_(connection) {
    // A refused listing must not look like an empty one.
    if (mysql_query(connection_, utf8_statement.c_str()) != 0) throw sql_exception(connection_);
    result_ = mysql_use_result(connection_);
    if (!result_) {
        if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
        throw sql_exception(0, "The statement returned no rows to read");
    }
    n_fields_ = mysql_num_fields(result_);
    tk_log_printf(1, "n_fields=%d", n_fields_);
    fields_ = mysql_fetch_fields(result_);
}

sql_tmp_recordset::~sql_tmp_recordset() {
    clean_cache();
    if (result_) mysql_free_result(result_);
}

void sql_tmp_recordset::initialize() {
    if (!result_) throw tk_mail_assertion("sql_recs.cpp", 409);
    fill_cache();
}

void sql_tmp_recordset::clear_first_column_flags() {
    if (n_fields_ > 0 && fields_) fields_[0].flags = 0;
}

void sql_tmp_recordset::fill_cache() {
    if (!columns_) columns_.emplace(n_fields_, fields_, nullptr);
    while (!exhausted_ && cache_.size() < tmp_block_size) {
        MYSQL_ROW row = mysql_fetch_row(result_);
        if (!row) {
            exhausted_ = true;
            if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
            break;
        }
        cache_.push_back(columns_->make_record(row, mysql_fetch_lengths(result_), 0));
    }
    tk_log_printf(1, "records.size()=%d", cache_.size());
}

void sql_tmp_recordset::append_record(const udb_record&) {
    throw tk_mail_assertion("sql_recs.cpp", 402);
}

udb_record* sql_tmp_recordset::get_item() {
    return position_ < cache_.size() ? cache_[position_].get() : nullptr;
}

bool sql_tmp_recordset::is_eof() {
    tk_log_printf(1, "sql_tmp_recordset::is_eof: pos=%d, records.size=%d", position_,
                  cache_.size());
    if (position_ < cache_.size()) return false;
    if (exhausted_) return true;
    clean_cache();
    position_ = 0;
    fill_cache();
    tk_log_printf(1, "New records.size=%d", cache_.size());
    return cache_.empty();
}

sql_list_tables_rs::sql_list_tables_rs(MYSQL* connection)
    : sql_tmp_recordset(connection, "show full tables where Table_type='BASE TABLE'") {
    if (n_fields_ == 2) {
        clear_first_column_flags();
        initialize();
    } else {
        tk_log_printf(2, "Failed to create sql_list_tables_rs");
    }
}

sql_list_databases_rs::sql_list_databases_rs(MYSQL* connection)
    : sql_tmp_recordset(connection, "SHOW DATABASES") {
    if (n_fields_ == 1) {
        clear_first_column_flags();
        initialize();
    } else {
        tk_log_printf(2, "Failed to create sql_list_databases_rs");
    }
}

// --- Tables and statements ---

sql_recordset::sql_recordset(sql_database* owner, const std::wstring& name,
                             std::vector<udb_relationship>* relationships)
    : sql_recordset(owner, name, std::wstring(), relationships) {}

sql_recordset::sql_recordset(sql_database* owner, const std::wstring& name,
                             const std::wstring& query,
                             std::vector<udb_relationship>* relationships)
    : udb_recordset(owner, name, query, true), db_(owner), relationships_(relationships) {
    initialize();
}

sql_recordset::~sql_recordset() {
    clean();
    reader_.reset();
    // Nothing was sent on it yet: it serves the next table.
    if (count_ == count_step::deferred)
        if (sql_engine* engine = sql_engine::find())
            engine->give_back_side_connection(std::move(side_));
}

void sql_recordset::clean() {
    for (auto& slot : cache_.records) slot.reset();
    cache_count_ = 0;
    cache_index_ = 0;
}

uint64_t sql_recordset::count_rows() {
    auto rs = db_->query_rs(count_statement_);
    uint64_t count = 0;
    if (rs && !rs->is_eof()) read_number(*rs->get_item(), count);
    tk_log_printf(2, "sql_recordset::get_rec_count - END (result=%I64d)", count);
    return count;
}

void sql_recordset::initialize() {
    statement_ = is_query();
    sql_engine& engine = sql_engine::instance();
    tk_log_printf(2, "is_blob_to_text=%d", engine.is_blob_to_text());
    // Taken now: a table read through a statement later (geometry) is still counted
    // as a table.
    count_statement_ = is_query() ? L"SELECT COUNT(*) FROM (" + query_ + L") as query"
                                  : L"SELECT COUNT(*) FROM " + sql_engine::get_safe_name(name_);
    if (!engine.is_counting()) {
        count_ = count_step::none;
    } else if (!defer_count()) {
        count_here();
        tk_log_printf(2, "get_rec_count returns %I64d", rec_count_);
    }

    describe_columns(L"*", false);
}

void sql_recordset::describe_columns(const std::wstring& list, bool by_name) {
    // The column descriptions of a statement that returns no rows: the table's rows
    // travel once, when the pass starts.
    std::wstring source =
        statement_ ? L"(" + query_ + L") as temp___table" : sql_engine::get_safe_name(name_);
    std::wstring statement = L"SELECT " + list + L" FROM " + source + L" LIMIT 0";
    tk_log_wprintf(1, L"sql_database::do_query2(%s)", statement);
    MYSQL* m = db_->get_connection();
    db_->use();
    if (mysql_query(m, sql_to_utf8(statement).c_str()) != 0) throw sql_exception(m);
    MYSQL_RES* result = mysql_use_result(m);
    if (!result) {
        if (mysql_errno(m) != 0) throw sql_exception(m);
        throw sql_exception(0, "The statement returned no rows to read");
    }
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> guard(result, &mysql_free_result);
    const unsigned n = mysql_num_fields(result);
    const MYSQL_FIELD* fields = mysql_fetch_fields(result);

    schema_.clear();
    described_.clear();
    if (!statement_) {
        query_.clear();
        row_columns_.clear();
    }
    std::wstring columns;
    std::wstring auto_num_column;
    bool geometry = false;
    bool single = false;
    for (unsigned i = 0; i < n; ++i) {
        const MYSQL_FIELD& f = fields[i];
        tk_log_printf(2, "Processing field #%d", i + 1);
        std::wstring name = pt::utf8_decode(std::string_view(f.name, f.name_length));
        const std::wstring quoted = sql_engine::get_safe_name(name);
        if (i > 0) columns += L",";
        bool through_function = false;
        if (f.type == MYSQL_TYPE_GEOMETRY) {
            tk_log_printf(2, "Got MYSQL_TYPE_GEOMETRY");
            columns += L"ST_AsText(" + quoted + L") as ";
            geometry = through_function = true;
        }
        // A FLOAT(M,D) comes as its stored value to D decimals already.
        if (f.type == MYSQL_TYPE_FLOAT && f.decimals >= float_decimals_not_fixed) {
            columns += sql_float_as_point(quoted) + L" as ";
            single = through_function = true;
        }
        columns += quoted;
        // A statement's rows come through "*", its columns as they are described here.
        described_.push_back({std::string(f.name, f.name_length), statement_ || !through_function,
                              f.type, (f.flags & UNSIGNED_FLAG) != 0,
                              f.charsetnr == sql_binary_charset, f.length, f.decimals});
        tk_log_wprintf(2, L"GOT FIELD: name=%s, type=%d, size=%d, flags=%d", name, f.type, f.length,
                       f.flags);
        auto ftd = column_of(f, name);
        if (ftd->b_auto_num) {
            tk_log_wprintf(1, L"Got auto_number column: '%s'", name);
            auto_num_column = name;
        }
        if (f.type == MYSQL_TYPE_DECIMAL || f.type == MYSQL_TYPE_NEWDECIMAL) {
            tk_log_printf(1, "Scale/precision: (%d,%d)", f.decimals, f.length);
            ftd->precision = sql_decimal_precision(f);
            ftd->scale = static_cast<int32_t>(f.decimals);
        }
        schema_.push_back(std::move(ftd));
    }
    // LIMIT 0 sends no rows; reading the end keeps the connection in step.
    while (mysql_fetch_row(result)) {
    }
    if (mysql_errno(m) != 0) throw sql_exception(m);
    guard.reset();

    const std::wstring select = L"SELECT " + columns + L" FROM " + sql_engine::get_safe_name(name_);
    tk_log_wprintf(2, L"local_select_qry=%s", select);
    if (statement_) {
        tk_log_printf(2, "It's a SQL-query, nothing to do anymore");
        return;
    }
    if (!auto_num_column.empty()) read_last_auto_number(auto_num_column);
    // Geometry reaches the client as text only through ST_AsText: read the table
    // through that statement from now on. Columns that "*" leaves out, or would read
    // with digits lost, are named.
    if (geometry)
        query_ = select;
    else if (single || by_name)
        row_columns_ = columns;
}

void sql_recordset::read_last_auto_number(const std::wstring& column) {
    tk_log_wprintf(2, L"Refining auto_number '%s' (last value)", column);
    std::wstring q = L"select max( " + sql_engine::get_safe_name(column) + L") from " +
                     sql_engine::get_safe_name(name_);
    tk_log_wprintf(2, L"auto_number query=%s", q);
    try {
        auto rs = db_->query_rs(q);
        int64_t last = 0;
        if (rs && !rs->is_eof()) read_number(*rs->get_item(), last);
        tk_log_printf(2, "got last value=%I64d", last);
        schema_.auto_num_value = last;
    } catch (const tk_exception& e) {
        tk_log_printf(3, "Failed to extract last value for auto_number column");
        tk_log_printf(2, "ERROR: %s", e.what());
    } catch (const std::logic_error& e) {
        tk_log_printf(3, "Failed to extract last value for auto_number column");
        tk_log_printf(2, "ERROR: %s", e.what());
    }
}

bool sql_recordset::defer_count() {
    sql_engine& engine = sql_engine::instance();
    // Tracing changes nothing of where the count runs.
    if (!engine.is_count_aside()) return false;
    side_ = engine.lend_side_connection();
    if (!side_) return false;
    tk_log_wprintf(2, L"The records of %s are counted on the second connection", name_);
    count_ = count_step::deferred;
    return true;
}

void sql_recordset::count_here() {
    sql_engine::instance().give_back_side_connection(std::move(side_));
    try {
        rec_count_ = count_rows();
        count_ = count_step::taken;
    } catch (const sql_exception& e) {
        // A connection that the count lost fails the rows' own statement next.
        count_failed(e);
    }
}

void sql_recordset::count_aside() {
    count_ = count_step::sent;
    try {
        side_->send_count(db_->get_name(), sql_to_utf8(count_statement_));
    } catch (const sql_exception& e) {
        side_.reset();
        count_failed(e);
    }
}

void sql_recordset::take_count() {
    try {
        rec_count_ = side_->take_count();
        count_ = count_step::taken;
    } catch (const sql_exception& e) {
        count_failed(e);
    }
    sql_engine::instance().give_back_side_connection(std::move(side_));
}

void sql_recordset::count_failed(const sql_exception& e) {
    // The count only serves the progress display: its failure is traced, and the rows
    // go on.
    tk_log_wprintf(3, L"QUERY=%s", count_statement_);
    tk_log_printf(3, "The record count failed: %s", e.what());
    count_ = count_step::failed;
}

bool sql_recordset::wait_rec_count(std::chrono::milliseconds patience) {
    // Before the rows this connection is free; a stream that broke before its first
    // block has the side connection count.
    if (count_ == count_step::deferred) {
        if (!rows_asked_)
            count_here();
        else
            count_aside();
    }
    if (count_ == count_step::sent && side_->has_answer(patience)) take_count();
    return count_ == count_step::taken;
}

void sql_recordset::start_pass() {
    clean();
    // Only one streamed result may be open on the connection.
    reader_.reset();
    position_ = 0;
    failure_.reset();
    rows_asked_ = true;
    reader_ = std::make_unique<sql_limited_query>(*db_, is_query() ? query_ : name_, is_query(),
                                                  name_, row_columns_);
    try {
        check_row_columns();
    } catch (const sql_exception& e) {
        // The rows are never read: no value of them may land in another field.
        failure_.emplace(e);
        throw;
    }
    fill();
}

void sql_recordset::check_row_columns() const {
    const unsigned n = reader_->num_fields();
    const MYSQL_FIELD* fields = reader_->fields();
    auto changed = [&](const std::string& how) {
        return sql_exception(0, "The columns of table '" + pt::utf8_encode(name_) +
                                    "' changed while it was read: " + how);
    };
    if (n != described_.size())
        throw changed(tk_format("its column count is %d now, %d before", n, described_.size()));
    for (unsigned i = 0; i < n; ++i) {
        const MYSQL_FIELD& f = fields[i];
        const described_column& d = described_[i];
        const std::string_view name(f.name, f.name_length);
        if (name != d.name)
            throw changed(tk_format("column %d is '%s' now, '%s' before", i + 1, name, d.name));
        if (!d.type_compared) continue;
        if (f.type != d.type || ((f.flags & UNSIGNED_FLAG) != 0) != d.is_unsigned ||
            (f.charsetnr == sql_binary_charset) != d.binary || f.length != d.length ||
            f.decimals != d.decimals)
            throw changed(tk_format("column '%s' has another type now", d.name));
    }
}

void sql_recordset::fill() {
    cache_index_ = 0;
    cache_count_ = 0;
    // Between blocks, the count is taken once it has arrived.
    if (count_ == count_step::sent && side_->has_answer()) take_count();
    try {
        cache_count_ = reader_->store_to(cache_, &schema_);
    } catch (const sql_exception& e) {
        // A broken stream stays broken: the table must never look complete.
        failure_.emplace(e);
        throw;
    }
    // The first block tells what the count costs least: a table that ends in it holds
    // its count; a longer one is counted on the side connection while the rest of its
    // rows stream.
    if (count_ == count_step::deferred) {
        if (!reader_->is_exhausted()) return count_aside();
        sql_engine::instance().give_back_side_connection(std::move(side_));
        rec_count_ = cache_count_;
        count_ = count_step::taken;
    }
}

void sql_recordset::reset() {
    tk_log_printf(1, "sql_recordset::reset");
    // A pass that get_item or is_eof started and nobody has moved yet is the one asked for.
    if (reader_ && !pass_from_reset_ && position_ == 0 && !failure_) {
        pass_from_reset_ = true;
        cache_index_ = 0;
        return;
    }
    start_pass();
    pass_from_reset_ = true;
}

udb_record* sql_recordset::get_item() {
    if (failure_) throw *failure_;
    if (!reader_) {
        start_pass();
        pass_from_reset_ = false;
    }
    if (cache_index_ >= cache_count_) return nullptr;
    sql_record* record = cache_[cache_index_].get();
    record->report_losses();
    zero_dates_ += record->take_zero_dates();
    return record;
}

bool sql_recordset::is_eof() {
    if (failure_) throw *failure_;
    if (!reader_) {
        start_pass();
        pass_from_reset_ = false;
    }
    return cache_index_ >= cache_count_;
}

void sql_recordset::next() {
    if (!reader_) throw tk_mail_assertion("sql_recs.cpp", 292);
    if (failure_) throw *failure_;
    if (cache_index_ >= cache_count_) return;
    ++position_;
    if (cache_index_ + 1 < cache_count_) {
        ++cache_index_;
        return;
    }
    if (reader_->is_exhausted()) {
        cache_index_ = cache_count_;
        return;
    }
    fill();
}

void sql_recordset::prev() {
    // Rows are not fetched again: prev stays inside the current block.
    if (cache_index_ == 0) return;
    --cache_index_;
    --position_;
}

void sql_recordset::append_record(const udb_record&) {
    throw tk_mail_assertion("sql_recs.cpp", 257);
}
