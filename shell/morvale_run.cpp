// The steps of a run that both programs share, and the scope object's shared parts.
#include <algorithm>
#include <ctime>
#include <optional>
#include <unordered_set>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_db.hpp"
#include "dbf/dbf_db.hpp"
#include "dbf/dbf_except.hpp"
#include "dbf/dbf_vali.hpp"
#include "shell/morvale_conv.hpp"

void init_conversion::log_time(const char* what) {
    if (!tk_log_on(3)) return;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    tk_log_write(std::string_view("Conversion %s on %02d/%02d/%04d at %02d:%02d:%02d"), what,
                 tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

init_conversion::~init_conversion() {
    tk_log_printf(2, "init_conversion::dtor");
    log_time("ended");
    // A later run must not report its early errors under this run's last table.
    if (error_handler* h = error_handler::find()) h->set_context_text({});
    if (done_) done_->store(true, std::memory_order_release);
}

conversion_run::conversion_run(morvale_convertor& converter) : conv_(converter) {
    conv_.run_completed_ = false;
    conv_.tables_through_ = 0;
    conv_.stopped_table_.clear();
    // An interrupt of an earlier run is over; one asked for already stops this run.
    if (!conv_.stop_requested()) sql_allow_reads();
    if (conv_.engine().is_connected()) socket_.watch(conv_.engine().get_connection());
    // The tables are counted on a second connection while their rows stream.
    conv_.engine().set_count_aside(true);
}

conversion_run::~conversion_run() {
    conv_.engine().set_count_aside(false);
}

void morvale_convertor::stop_run() noexcept {
    request_stop();
    sql_interrupt_reads();
}

bool morvale_convertor::stop_explains(const std::exception& e) const {
    const auto* sql = dynamic_cast<const sql_exception*>(&e);
    return stop_requested() && sql && sql->connection_lost();
}

void conversion_run::open() {
    if (conv_.mode() < udb_mode_overwrite_database || conv_.mode() > udb_mode_merge_tables)
        throw tk_exception("Invalid merge/overwrite mode", tk_kind_error);
    tk_log_printf(2, "sql_engine::set_blob_to_text(%d)", conv_.blob_to_memo());
    conv_.engine().set_blob_to_text(conv_.blob_to_memo());
    source_ = conv_.engine().open_db(conv_.source(), udb_open_read, L"");
    destination_ = std::make_unique<dbf_database>(
        conv_.destination(),
        conv_.mode() == udb_mode_overwrite_database ? udb_open_overwrite_db : udb_open_append, 0,
        true);
}

void conversion_run::prepare() {
    udb_pairs& pairs = conv_.selected_tables();
    for (const auto& name : conv_.selection()) pairs.emplace_back(name, std::wstring());
    // A table named twice (in a profile and in the selection, or twice in a table-list
    // file) is converted once: a second pass would append its rows again.
    tables_.clear();
    std::unordered_set<std::wstring> seen;
    for (const auto& pair : pairs)
        if (seen.insert(pair.first).second) tables_.push_back(pair.first);
    conv_.set_table_count(static_cast<uint32_t>(tables_.size()));
    tk_log_printf(2, "Source database has %d table(s)", tables_.size());
    name_tables();
}

void conversion_run::name_tables() {
    // A table's DBF name depends on the source's table names only, never on what the
    // folder holds or which tables this run takes, so that every run writes a table to
    // the same file, which modes 1 to 3 then treat as the table's own. Every name
    // counts as taken, so that no generated name lands on another table's file.
    const std::vector<std::wstring>& listed = source_->get_table_names();
    // The source finds a table by its exact name, else by the first listed name that
    // differs in case only.
    const std::unordered_set<std::wstring> exact(listed.begin(), listed.end());
    auto listed_as = [&](const std::wstring& table) -> const std::wstring& {
        if (exact.count(table)) return table;
        for (const auto& name : listed)
            if (tk_iequal(name, table)) return name;
        return table;
    };
    std::vector<std::wstring> names = listed;
    for (const auto& table : tables_) names.push_back(listed_as(table));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    validator_ = std::make_unique<dbf_tn_validator>(names, std::vector<std::wstring>());
    std::unordered_map<std::wstring, std::wstring> by_name;
    for (const auto& name : names) {
        const bool acceptable = validator_->is_acceptable(name);
        std::wstring dbf_name = acceptable ? name : validator_->get_safe_name(name);
        if (!acceptable) validator_->add_existing_name(dbf_name);
        validator_->reserved_words().push_back(dbf_name);
        by_name.emplace(name, std::move(dbf_name));
    }
    dbf_names_.clear();
    for (const auto& table : tables_) dbf_names_.emplace(table, by_name.at(listed_as(table)));
}

void conversion_events::table_missing(const std::wstring& name) {
    throw tk_exception(L"Table " + name + L" not exists", tk_kind_continue);
}

void conversion_run::convert_tables(conversion_events& events) {
    events_ = &events;
    // Whatever is reported of a table comes after its record count.
    error_handler::gate_scope gate(*this);
    try {
        for (const std::wstring& name : tables_) {
            events.before_table(name);
            check_stop();
            try {
                begin_table(name);
                if (!source_->is_table_exist(name)) {
                    events.table_missing(name);
                } else if (open_table(name)) {
                    events.table_opened(name);
                    copy_rows();
                } else {
                    count_pending_ = false;  // a table left alone needs no count
                    events.table_skipped(name);
                }
            } catch (const tk_exception& e) {
                table_failed(e);
            }
            end_table();
        }
        finish();
    } catch (...) {
        // An Abort, a lost connection, a stop or an error that ends the run.
        conv_.tables_through_ = through_;
        conv_.stopped_table_ = copying_ ? table_ : std::wstring();
        throw;
    }
}

void conversion_run::settle() {
    if (count_pending_) {
        count_pending_ = false;
        try {
            source_table_->wait_rec_count();
        } catch (...) {
            // A count that failed is never announced: it is the table's error.
            count_owed_ = false;
            throw;
        }
    }
    if (count_owed_) announce();
}

void conversion_run::announce() {
    count_owed_ = false;
    const uint64_t count = source_table_->get_rec_count();
    conv_.set_record_count(count);
    tk_log_wprintf(2, L"Table %s has %d record(s)", table_, count);
    if (events_) events_->table_counted(table_);
}

void conversion_run::check_stop() const {
    if (conv_.stop_requested() || connection_lost_) throw tk_final_exception();
}

void conversion_run::begin_table(const std::wstring& name) {
    table_ = name;
    copying_ = false;
    broken_ = false;
    conv_.begin_table(name);
    tk_log_wprintf(2, L"Processing table %s", name);
}

bool conversion_run::open_table(const std::wstring& name) {
    source_table_ = source_->get_table(name, udb_open_read);
    count_pending_ = true;
    const std::wstring& dbf_name = dbf_names_.at(name);
    if (destination_->is_table_exist(dbf_name)) {
        if (conv_.mode() == udb_mode_skip_tables) return false;
        if (conv_.mode() == udb_mode_overwrite_tables) destination_->delete_tab(dbf_name);
    }
    udb_indexes indexes;
    if (!conv_.skip_indexes()) indexes = source_table_->get_indexes();
    destination_table_ = destination_->create_table(dbf_name, source_table_->get_schema(), indexes);
    if (conv_.mode() == udb_mode_merge_tables &&
        !source_table_->get_schema().conform_to(destination_table_->get_schema(), false))
        throw tk_exception(
            "The structure of data source does not conform to the destination table.",
            tk_kind_continue);
    if (dbf_name != name) tk_log_wprintf(2, L"Store generated table name '%s'", dbf_name);
    tk_log_printf(1, "Table structure has been written");
    count_owed_ = true;
    if (source_table_->is_rec_count_known()) settle();
    return true;
}

uint64_t conversion_run::record_count() const {
    return conv_.record_count();
}

void conversion_run::copy_rows() {
    if (conv_.only_definitions()) return settle();
    copying_ = true;
    udb_recordset& source = *source_table_;
    udb_recordset& destination = *destination_table_;
    uint64_t index = 0;
    source.reset();
    while (!source.is_eof()) {
        check_stop();
        // The count, taken aside, arrives between blocks.
        if (count_owed_ && source.is_rec_count_known()) settle();
        tk_log_printf(1, "Converting %d record", index + 1);
        try {
            udb_record* record = source.get_item();
            if (!record) throw tk_exception("The source table gave no record", tk_kind_error);
            destination.append_record(*record);
        } catch (const dbf_exception& e) {
            error_handler& handler = error_handler::get_instance();
            handler.set_record_context(table_, index + 1);
            handler.handle(e, false);
            end_if_fatal(e);
        }
        source.next();
        conv_.increment_record_index();
        ++index;
    }
    settle();
    // Appended records may still be held in memory; a failure to write them is the
    // table's error.
    destination.flush();
    tk_log_printf(2, "Table #%d has been processed", conv_.tables_done());
}

void conversion_run::table_failed(const tk_exception& e) {
    if (conv_.stop_explains(e)) {
        // Nothing more is read of the table: its count is no longer owed either.
        count_pending_ = false;
        count_owed_ = false;
        broken_ = true;
        tk_log_printf(2, "Stopped on request: %s", e.what());
        return;
    }
    // The record count comes before anything else of the table; a count that failed is
    // the table's error, in place of what went wrong after it.
    std::optional<sql_exception> count_failure;
    try {
        settle();
    } catch (const sql_exception& failure) {
        count_failure.emplace(failure);
    }
    // Every later table would fail the same way, each with a misleading text. The side
    // connection that counts is not the one the rows are read on.
    auto lost = [](const tk_exception& x, bool on_side) {
        const auto* sql = dynamic_cast<const sql_exception*>(&x);
        return sql && sql->connection_lost() && sql->on_side_connection() == on_side;
    };
    const tk_exception& reported = count_failure ? *count_failure : e;
    if (lost(e, false) || lost(reported, false)) {
        connection_lost_ = broken_ = true;
    } else if (lost(reported, true)) {
        // The count's connection is gone: the rows' connection may have gone with it (the
        // server went away), which shows once the table's stream is ended.
        source_table_.reset();
        if (conv_.engine().is_connection_gone()) connection_lost_ = broken_ = true;
    }
    error_handler& handler = error_handler::get_instance();
    handler.set_context(table_);
    handler.handle(reported, false);
    end_if_fatal(reported);
}

void conversion_run::end_if_fatal(const tk_exception& e) const {
    // A file that cannot be written fails again at every later table (5,000 tables, 5,000
    // reports): the run ends at the first such error, whatever program reported it.
    if (e.kind() == tk_kind_error) throw tk_final_exception();
}

void conversion_run::flush_open_table() noexcept {
    try {
        if (destination_table_) destination_table_->flush();
    } catch (const std::exception& e) {
        tk_log_printf(3, "Error:\n%s", e.what());
    } catch (...) {
    }
}

void conversion_run::end_table() {
    count_pending_ = false;
    count_owed_ = false;
    // A table whose rows stopped coming stays the one in work: the run ends next.
    if (!broken_) {
        ++through_;
        copying_ = false;
    }
    destination_table_.reset();
    source_table_.reset();
    conv_.increment_tables_done();
}

void conversion_run::finish() {
    check_stop();
    error_handler::get_instance().set_context(std::wstring());
    validator_.reset();
    destination_.reset();
    source_.reset();
    conv_.run_completed_ = true;
}
