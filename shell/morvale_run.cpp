// The steps of a run that both programs share, and the scope object's shared parts.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <unordered_set>

#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_db.hpp"
#include "dbf/dbf_db.hpp"
#include "dbf/dbf_except.hpp"
#include "dbf/dbf_path.hpp"
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

void init_conversion::log_end() {
    if (!tk_log_on(3)) return;
    const morvale_convertor* conv = morvale_convertor::find();
    if (!conv) return log_time("ended");
    log_time(conv->run_completed() ? "ended" : "stopped");
    // The run's last lines: the tables it did not convert, and how far it got.
    if (const std::wstring text = conv->unconverted_account(); !text.empty())
        tk_log_wprintf(3, L"%s", text);
    if (!conv->run_completed()) tk_log_wprintf(3, L"%s", conv->early_end_account());
}

init_conversion::~init_conversion() {
    tk_log_printf(2, "init_conversion::dtor");
    log_end();
    // A later run must not report its early errors under this run's last table.
    if (error_handler* h = error_handler::find()) h->set_context_text({});
    if (done_) done_->store(true, std::memory_order_release);
}

conversion_run::conversion_run(morvale_convertor& converter) : conv_(converter) {
    conv_.run_completed_ = false;
    conv_.tables_through_ = 0;
    conv_.stopped_table_.clear();
    conv_.unconverted_.clear();
    conv_.converted_tables_.clear();
    conv_.skipped_tables_.clear();
    // An interrupt of an earlier run is over; one asked for already stops this run.
    if (!conv_.stop_requested()) sql_allow_reads();
    // The tables are counted on a second connection while their rows stream; a silent
    // run shows no count, and takes none.
    conv_.engine().set_counting(!conv_.silent());
    conv_.engine().set_count_aside(true);
}

conversion_run::~conversion_run() {
    conv_.engine().set_count_aside(false);
    conv_.engine().set_counting(true);
    // The tables are closed first: the folder is let go after the last write.
    destination_table_.reset();
    destination_.reset();
    conv_.release_destination();
}

void morvale_convertor::stop_run() noexcept {
    request_stop();
    sql_interrupt_reads();
}

bool morvale_convertor::stop_explains(const std::exception& e) const {
    const auto* sql = dynamic_cast<const sql_exception*>(&e);
    // A stop shuts the connections down: whatever then fails on the client's side (a
    // read, a connect) is its doing.
    return stop_requested() && sql && (sql->connection_lost() || sql->on_client_side());
}

std::wstring morvale_convertor::early_end_account() const {
    return early_end_text(tables_through_, table_count(), stopped_table_);
}

std::wstring early_end_text(uint32_t through, uint32_t total, const std::wstring& table) {
    std::wstring text = L"The conversion stopped before its end: ";
    if (total == 0) return text + L"no table was converted.";
    text += std::to_wstring(through) + L" of " + std::to_wstring(total) +
            (total == 1 ? L" table converted" : L" tables converted");
    if (table.empty()) return text + L".";
    return text + L"; table '" + table + L"' was left as it was.";
}

std::wstring morvale_convertor::unconverted_account() const {
    return unconverted_text(unconverted_, table_count());
}

std::wstring unconverted_text(const std::vector<std::pair<std::wstring, std::string>>& tables,
                              uint32_t total) {
    if (tables.empty()) return {};
    std::wstring text = std::to_wstring(tables.size()) + L" of " + std::to_wstring(total) +
                        (total == 1 ? L" table " : L" tables ") +
                        (tables.size() == 1 ? L"was" : L"were") + L" not converted: ";
    for (size_t i = 0; i < tables.size(); ++i) {
        if (i > 0) text += L", ";
        text += tables[i].first + L" (" + tk_ansi_to_unicode(tables[i].second) + L")";
    }
    return text;
}

std::wstring losses_text(const std::wstring& table, const udb_losses& losses) {
    if (!losses.any()) return {};
    std::vector<std::wstring> parts;
    auto values = [](uint64_t n) {
        return std::to_wstring(n) + (n == 1 ? L" value " : L" values ");
    };
    if (losses.unencodable)
        parts.push_back(values(losses.unencodable) + L"had characters that code page " +
                        std::to_wstring(losses.code_page) + L" lacks; " +
                        (losses.unencodable == 1 ? L"it is" : L"they are") + L" written as ?");
    if (losses.fractions)
        parts.push_back(values(losses.fractions) + L"lost fractional seconds, which DBF " +
                        L"date-time fields do not keep");
    if (losses.zero_dates)
        parts.push_back(std::to_wstring(losses.zero_dates) +
                        (losses.zero_dates == 1 ? L" zero date was written as a blank date"
                                                : L" zero dates were written as blank dates"));
    std::wstring text = table + L": ";
    for (size_t i = 0; i < parts.size(); ++i) text += (i ? L"; " : L"") + parts[i];
    return text;
}

void conversion_run::open() {
    if (conv_.mode() < udb_mode_overwrite_database || conv_.mode() > udb_mode_merge_tables)
        throw tk_exception("Invalid merge/overwrite mode", tk_kind_error);
    tk_log_printf(2, "sql_engine::set_blob_to_text(%d)", conv_.blob_to_memo());
    conv_.engine().set_blob_to_text(conv_.blob_to_memo());
    source_ = conv_.engine().open_db(conv_.source(), udb_open_read, L"");
    // Held already when the destination was checked; a run started without that check
    // holds the folder from here.
    conv_.claim_destination();
    destination_ = std::make_unique<dbf_database>(
        conv_.destination(),
        conv_.mode() == udb_mode_overwrite_database ? udb_open_overwrite_db : udb_open_append, 0,
        true);
}

listed_tables::listed_tables(const std::vector<std::wstring>& names)
    : names_(names), exact_(names.begin(), names.end()) {}

const std::wstring* listed_tables::find(const std::wstring& name) const {
    if (auto it = exact_.find(name); it != exact_.end()) return &*it;
    for (const auto& listed : names_)
        if (tk_iequal(listed, name)) return &listed;
    return nullptr;
}

void conversion_run::prepare() {
    udb_pairs& pairs = conv_.selected_tables();
    for (const auto& name : conv_.selection()) pairs.emplace_back(name, std::wstring());
    const listed_tables listed(source_->get_table_names());
    auto listed_as = [&](const std::wstring& table) -> const std::wstring& {
        const std::wstring* name = listed.find(table);
        return name ? *name : table;
    };
    // A table named twice (in a profile and in the selection, twice in a table-list
    // file, or in two spellings of one source table) is converted once: a second pass
    // would append its rows again.
    tables_.clear();
    read_as_.clear();
    std::unordered_set<std::wstring> seen;
    for (const auto& pair : pairs) {
        const std::wstring& source = listed_as(pair.first);
        if (seen.insert(source).second) {
            tables_.push_back(pair.first);
            read_as_.emplace(pair.first, source);
        }
    }
    conv_.set_table_count(static_cast<uint32_t>(tables_.size()));
    tk_log_printf(2, "Source database has %d table(s)", tables_.size());
    name_tables();
}

void conversion_run::name_tables() {
    // A table's DBF name depends on the source's table names only, never on what the
    // folder holds or which tables this run takes, so that every run writes a table to
    // the same file, which modes 1 to 3 then treat as the table's own. Every name
    // counts as taken, so that no generated name lands on another table's file.
    std::vector<std::wstring> names = source_->get_table_names();
    for (const auto& table : tables_) names.push_back(read_as_.at(table));
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
    for (const auto& table : tables_) dbf_names_.emplace(table, by_name.at(read_as_.at(table)));
}

namespace {

// How long the reports of a table wait, once, for its record count to come first.
constexpr std::chrono::seconds count_patience(5);

}  // namespace

void conversion_events::table_missing(const std::wstring& name) {
    throw tk_exception(L"Table " + name + L" not exists", tk_kind_continue);
}

void conversion_run::convert_tables(conversion_events& events) {
    events_ = &events;
    // Whatever is reported of a table comes after its record count.
    error_handler::gate_scope gate(*this);
    try {
        if (conv_.mode() == udb_mode_overwrite_database) empty_other_tables();
        for (const std::wstring& name : tables_) {
            events.before_table(name);
            check_stop();
            try {
                begin_table(name);
                if (!source_->is_table_exist(name)) {
                    events.table_missing(name);
                    note_unconverted(tk_unicode_to_ansi(L"Table " + name + L" not exists"));
                } else if (open_table(name)) {
                    events.table_opened(name);
                    copy_rows();
                    commit_table();
                } else {
                    count_pending_ = false;  // a table left alone needs no count
                    skipped_tables_.push_back(name);
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
        conv_.tables_through_ = converted_;
        conv_.stopped_table_ = in_work_ ? table_ : std::wstring();
        // The table in work is told of by the account of the stop.
        if (in_work_ && !unconverted_.empty() && unconverted_.back().first == table_)
            unconverted_.pop_back();
        publish();
        // After an error that ends the run (a file that cannot be written, Abort), the
        // rest of the table's rows would be read off to the last before its stream could
        // be closed, however long the server takes: the run ends now, as a stop ends it
        // (stop_run has cut the reading already), and the connection is of no use after.
        if (copying_ && !conv_.stop_requested()) conv_.engine().cut_connection();
        throw;
    }
}

void conversion_run::settle() {
    if (!count_owed_ || !source_table_) return;
    // Waited for once per table, and never for long: a count that failed, or whose
    // connection fell silent, must not hold the rows back.
    bool known;
    if (count_pending_) {
        count_pending_ = false;
        known = source_table_->wait_rec_count(count_patience);
    } else {
        known = source_table_->is_rec_count_known();
    }
    if (known) announce(source_table_->get_rec_count());
}

void conversion_run::settle_at_end(uint64_t rows) {
    if (!count_owed_) return;
    // The rows are all in: a count still on its way is not waited for, and one that
    // failed is not missed.
    count_pending_ = false;
    announce(source_table_->wait_rec_count(std::chrono::milliseconds(0))
                 ? source_table_->get_rec_count()
                 : rows);
}

void conversion_run::announce(uint64_t count) {
    count_owed_ = false;
    conv_.set_record_count(count);
    tk_log_wprintf(2, L"Table %s has %d record(s)", table_, count);
    if (events_) events_->table_counted(table_);
}

void conversion_run::check_stop() const {
    if (conv_.stop_requested() || connection_lost_) throw tk_final_exception();
}

void conversion_run::begin_table(const std::wstring& name) {
    table_ = name;
    copied_ = 0;
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
        // A file of the table's name that is no DBF table is never taken for one.
        destination_->check_table_file(dbf_name);
        if (conv_.mode() == udb_mode_skip_tables) return false;
    }
    const udb_schema& schema = source_table_->get_schema();
    in_work_ = true;
    // Modes 0 and 1 write a new table, which takes the place of the one in the folder
    // only once it is complete; modes 2 and 3 write one where there is none.
    if (conv_.mode() == udb_mode_overwrite_database || conv_.mode() == udb_mode_overwrite_tables) {
        destination_table_ = destination_->replace_table(dbf_name, schema);
    } else {
        udb_indexes indexes;
        if (!conv_.skip_indexes()) indexes = source_table_->get_indexes();
        destination_table_ = destination_->create_table(dbf_name, schema, indexes);
    }
    // A table this program made from such a source takes its rows, whatever the types
    // of its fields say (a BLOB's hexadecimal memo); any other must conform. Columns
    // the source has moved find their fields by name.
    if (conv_.mode() == udb_mode_merge_tables && !dbf_merge_into(*destination_table_, schema))
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
    if (conv_.only_definitions()) return settle_at_end(0);
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
        // A program that shows how far a long table has got looks at the counters now
        // and then, never at every record.
        if ((index & (progress_step - 1)) == 0 && events_) events_->rows_copied(table_, index);
    }
    copied_ = index;
    settle_at_end(index);
    tk_log_printf(2, "Table #%d has been processed", conv_.tables_done());
}

void conversion_run::commit_table() {
    // A failure to write what is held in memory, or to move the table into place, is
    // the table's error.
    const std::wstring file = destination_->commit_table(*destination_table_);
    in_work_ = false;
    ++converted_;
    converted_tables_.push_back({table_, dbf_file_of(file), copied_});
    udb_losses losses;
    source_table_->add_losses_to(losses);
    destination_table_->add_losses_to(losses);
    if (!losses.any()) return;
    const std::wstring text = losses_text(table_, losses);
    tk_log_wprintf(3, L"%s", text);
    if (events_) events_->table_losses(table_, text);
}

void conversion_run::empty_other_tables() {
    // The tables the run writes are replaced one by one, once each is complete.
    std::vector<std::wstring> keep;
    for (const auto& table : tables_)
        if (source_->is_table_exist(table)) keep.push_back(dbf_names_.at(table));
    tk_log_printf(2, "Make DBF directory empty");
    report_left_files(destination_->delete_all_tables(keep));
}

void conversion_run::publish() {
    conv_.unconverted_ = unconverted_;
    conv_.converted_tables_ = converted_tables_;
    conv_.skipped_tables_ = skipped_tables_;
}

void conversion_run::note_unconverted(const std::string& reason) {
    unconverted_.emplace_back(table_, error_handler::on_one_line(reason));
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
    // Every later table would fail the same way, each with a misleading text. The side
    // connection that counts is not the one the rows are read on.
    const auto* sql = dynamic_cast<const sql_exception*>(&e);
    if (sql && sql->connection_lost() && !sql->on_side_connection())
        connection_lost_ = broken_ = true;
    // The report comes after the table's record count when that comes in time.
    error_handler& handler = error_handler::get_instance();
    note_unconverted(handler.text_of(e));
    handler.set_context(table_);
    handler.handle(e, false);
    end_if_fatal(e);
}

void conversion_run::end_if_fatal(const tk_exception& e) const {
    // A file that cannot be written fails again at every later table (5,000 tables, 5,000
    // reports): the run ends at the first such error, whatever program reported it.
    if (e.kind() == tk_kind_error) throw tk_final_exception();
}

void conversion_run::abandon_open_table() noexcept {
    destination_table_.reset();
}

void conversion_run::end_table() {
    count_pending_ = false;
    count_owed_ = false;
    // A table whose rows stopped coming stays the one in work: the run ends next.
    if (!broken_) copying_ = in_work_ = false;
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
    conv_.tables_through_ = converted_;
    publish();
    conv_.run_completed_ = true;
}
