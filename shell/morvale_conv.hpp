// The product's converter: every setting of one MySQL-to-DBF conversion, the
// connection to the server, and the run. Operations marked "one body per program"
// are declared here and defined by each program (console/, the wizard, the tests).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_intr.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_regk.hpp"
#include "TK/tk_singl.hpp"
#include "UDB/udb_conv.hpp"
#include "UDB/udb_prof.hpp"

class dbf_database;
class dbf_tn_validator;
class udb_database;
class udb_recordset;

// Settings that profiles carry for compatibility; they have no effect on a conversion.
struct dump_options {
    dump_options();
    int32_t line_break = 0;
    bool new_version = true;
    bool add_lock_to_insert = true;
    bool insert_comments = true;
    bool create_database = false;
    int32_t create_table = 1;
    std::string text1;
    std::string text2;
};

// The MySQL side: the engine with its connection, and the connection settings.
class mysql_converter_impl {
  public:
    mysql_converter_impl();
    virtual ~mysql_converter_impl();
    mysql_converter_impl(const mysql_converter_impl&) = delete;
    mysql_converter_impl& operator=(const mysql_converter_impl&) = delete;

    // Connects the engine with the stored settings. A port that does not read as a
    // number from 1 to 65535 is a kind-1 "Invalid port number".
    void connect_mysql_server();
    // Stores host, user and password exactly as given, the port without surrounding
    // blanks; an empty port is "3306".
    void store_mysql_settings(const std::string& host, const std::string& user,
                              const std::string& password, const std::string& port);

    // The section "MySQL settings".
    bool load_profile(udb_profile& profile);
    bool store_profile(udb_profile& profile);

    // The host and port last typed for Remote, kept while Local is chosen so that Remote
    // shows them again, also at the next start. No connection uses them.
    void remember_remote(const std::string& host, const std::string& port) {
        remote_host_ = host;
        remote_port_ = port;
    }
    const std::string& remote_host() const { return remote_host_; }
    const std::string& remote_port() const { return remote_port_; }

    sql_engine& engine() { return engine_; }
    const std::string& host() const { return host_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& port() const { return port_; }
    const dump_options& get_dump_options() const { return dump_options_; }

  protected:
    sql_engine engine_;
    dump_options dump_options_;
    std::string host_;
    std::string user_;
    std::string password_;
    std::string port_ = "3306";
    std::string remote_host_;
    std::string remote_port_;
};

// A run's hold on its destination folder: while one process holds it, a run of either
// program in another process stops before it touches the folder. The lock is on the
// folder itself, so it leaves no file there and goes with the process however it ends.
class dest_folder_lock {
  public:
    dest_folder_lock() = default;
    ~dest_folder_lock() { release(); }
    dest_folder_lock(const dest_folder_lock&) = delete;
    dest_folder_lock& operator=(const dest_folder_lock&) = delete;

    // Holds the existing folder (letting go of another one held before); nothing when it
    // is held already. A folder another run holds is a kind-1 error that names it. Where
    // the file system has no such locks, the run goes on unguarded (traced).
    void take(const std::wstring& folder);
    void release() noexcept;

  private:
    int fd_ = -1;
};

// A table the last run converted: its source name, the file it went to (a safe name when
// the table's own cannot be one) and the records it copied.
struct converted_table {
    std::wstring name;
    std::wstring file;
    uint64_t records = 0;
};

class morvale_convertor : public udb_converter,
                          public mysql_converter_impl,
                          public tk_singleton<morvale_convertor>,
                          public tk_serializer {
  public:
    // One body per program: the wizard loads and stores the settings store, the
    // console program does neither.
    morvale_convertor();
    ~morvale_convertor() override;

    // The run; one body per program over the shared steps of conversion_run.
    void operator()() override;

    // Loads or stores the values of the settings store; true when all were.
    bool serialize(bool store);
    // Stores the settings for the next start, once: the wizard's destructor then stores
    // nothing. Empty when they were kept, else the sentence that says why not.
    std::string keep_settings();
    // The settings store stays as it was: the wizard's destructor leaves it alone.
    void leave_settings() { settings_settled_ = true; }

    // False when the file's content cannot be taken (text before its first section);
    // a missing or unreadable file raises a kind-1 error.
    bool load_profile_file(const std::wstring& path);
    // load_profile_file for a front end: a file whose content cannot be taken raises the
    // kind-1 error that every program shows for it, and the settings stay as they were.
    void require_profile_file(const std::wstring& path);
    // A quick launch's profile, which must hold everything the run needs: the source,
    // the destination and a "MySQL settings" section. Nothing the wizard remembers from
    // an earlier session is used: every setting the profile lacks starts from its
    // default, as in the console program. A profile that lacks one of the three raises a
    // kind-1 error naming what is missing, and changes nothing.
    void require_complete_profile(const std::wstring& path);
    // Writes the settings to the file; a file that cannot be written raises kind 1, and
    // so does a setting the file could not give back as it is (a table name or a folder
    // with blanks around it, a name that would read as a section line), naming every
    // such setting; nothing is written then.
    bool store_profile_file(const std::wstring& path);
    bool load_profile(udb_profile& profile);
    // Leaves the converter unchanged: query pairs are moved on a copy of the list.
    bool store_profile(udb_profile& profile);

    // Raises the server's error when the source database cannot be opened; called
    // before check_dest, so that a mistyped name never empties the destination.
    void check_source();
    // Prepares the destination folder: creates it and holds it for this process, then
    // in mode 0 deletes its tables.
    void check_dest();
    // Holds the destination folder (which must exist) until the run ends or
    // release_destination; a folder another run holds is a kind-1 error.
    void claim_destination() { dest_lock_.take(destination_); }
    void release_destination() noexcept { dest_lock_.release(); }
    // The source database's table names, replacing the list's contents.
    void get_all_tables(std::vector<std::wstring>& names);
    bool test_query(const std::wstring& statement) override;

    bool blob_to_memo() const { return blob_to_memo_; }
    void set_blob_to_memo(bool on) { blob_to_memo_ = on; }

    // The mode last chosen in the wizard's question for a folder that exists, which the
    // question then starts from; kept with the settings. None kept, or one of no known
    // meaning, is udb_mode_overwrite_tables, so that the choice that deletes the folder's
    // other tables is offered first only once the user has made it. Profiles leave it.
    int32_t overwrite_choice() const { return overwrite_choice_; }
    void set_overwrite_choice(int32_t mode) { overwrite_choice_ = mode; }

    // True when the last run went through its list of tables (whatever errors single
    // tables or records had); false when it ended early in its outer handler.
    bool run_completed() const { return run_completed_; }
    // How far a run that ended early got: the tables it converted, and the table in
    // work, which was left as it was (empty when the run stopped between tables).
    uint32_t tables_through() const { return tables_through_; }
    const std::wstring& stopped_table() const { return stopped_table_; }
    // early_end_text of the last run: how far it got (no table, when none ran).
    std::wstring early_end_account() const;
    // The tables the last run went through but did not convert, each with the reason
    // it was reported with, in the order of the run.
    const std::vector<std::pair<std::wstring, std::string>>& unconverted() const {
        return unconverted_;
    }
    // unconverted_text of the last run; empty when every table it went through was
    // converted.
    std::wstring unconverted_account() const;
    // The tables the last run converted, and those mode 2 skipped, in the order of the run.
    const std::vector<converted_table>& converted_tables() const { return converted_tables_; }
    const std::vector<std::wstring>& skipped_tables() const { return skipped_tables_; }

    // Asks the run to stop and ends a read that waits on the server, so that the run
    // ends the way an Abort does even when the server sends nothing. Async-signal-safe.
    void stop_run() noexcept;
    // True when the failure is a wait on the server that stop_run broke: a lost
    // connection or a failed connect after a stop was asked for, which is no error to
    // report.
    bool stop_explains(const std::exception& e) const;

  protected:
    friend class conversion_run;
    bool blob_to_memo_ = false;
    int32_t overwrite_choice_ = udb_mode_overwrite_tables;
    bool settings_settled_ = false;  // stored or left alone: nothing more to store
    bool run_completed_ = false;
    uint32_t tables_through_ = 0;
    std::wstring stopped_table_;
    std::vector<std::pair<std::wstring, std::string>> unconverted_;
    std::vector<converted_table> converted_tables_;
    std::vector<std::wstring> skipped_tables_;
    dest_folder_lock dest_lock_;
};

// How far a run that ended early got, as the wizard's finish page and the console say
// it: from the tables it converted, the tables it had to convert (0: not known) and
// the table in work, left as it was (empty: none).
std::wstring early_end_text(uint32_t through, uint32_t total, const std::wstring& table);
// The line that ends a run which left tables unconverted: "2 of 7 tables were not
// converted: a (reason), w (reason)"; empty when none was left.
std::wstring unconverted_text(const std::vector<std::pair<std::wstring, std::string>>& tables,
                              uint32_t total);
// The line that sums up what one table's values lost (udb_losses), or empty: "cyr: 12
// values had characters that code page 1252 lacks; they are written as ?".
std::wstring losses_text(const std::wstring& table, const udb_losses& losses);

// The source's table names, and which of them a name given by a user, a profile or a
// table-list file reads: the name itself when listed, else the first listed name that
// differs from it in case only, as the source reads a table.
class listed_tables {
  public:
    // The names must outlive the object.
    explicit listed_tables(const std::vector<std::wstring>& names);
    // Null when the source has no such table.
    const std::wstring* find(const std::wstring& name) const;

  private:
    const std::vector<std::wstring>& names_;
    std::unordered_set<std::wstring> exact_;
};

// Deletes every DBF table of an existing folder with its memo and index files, the way
// a mode-0 run opens it. Each file named like a table that is not one is left as it is
// and reported as a kind-0 error.
void empty_dbf_folder(const std::wstring& folder);
// Reports the files that emptying a folder left as they are (as delete_all_tables
// says them), in one kind-0 error.
void report_left_files(const std::vector<std::string>& left);

// Brackets one run: logs its start and end and, at the very end, sets the done flag.
class init_conversion {
  public:
    // One body per program (the wizard also starts its progress timer).
    init_conversion(bool com_initialized, std::atomic<bool>* done);
    ~init_conversion();
    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

    // "Conversion started on ..." / "Conversion ended on ..." with the local time.
    static void log_time(const char* what);
    // The end's line: "ended" after a run that went through its tables, else "stopped"
    // and how far the run got.
    static void log_end();

  private:
    bool com_initialized_;
    std::atomic<bool>* done_;
};

// What a program adds to the shared loop over the tables of a run.
class conversion_events {
  public:
    virtual ~conversion_events() = default;
    // Before anything of the table is done (the stop request is tested after it).
    virtual void before_table(const std::wstring&) {}
    // A table the source does not have; a throw here is the table's error. By default
    // it ends as an error the run goes past.
    virtual void table_missing(const std::wstring& name);
    // The table's DBF table is open; its rows come next.
    virtual void table_opened(const std::wstring&) {}
    // The table's record count is known (converter's record_count), before anything
    // else of the table is reported and before the table ends; the source may still be
    // counting when the rows begin.
    virtual void table_counted(const std::wstring&) {}
    // Mode 2 found the DBF table and leaves it.
    virtual void table_skipped(const std::wstring&) {}
    // The table is converted, and its values lost what `text` (losses_text) sums up.
    virtual void table_losses(const std::wstring&, const std::wstring&) {}
    // Every conversion_run::progress_step records of a table: `records` copied so far.
    virtual void rows_copied(const std::wstring&, uint64_t records) { (void)records; }
};

// The steps of a run that every program shares; each program's run calls them in
// order and adds its own output between them. Every object the run creates belongs
// to this object and is destroyed on every way out, in reverse order of creation.
class conversion_run : private error_handler_gate {
  public:
    // How many records pass between two calls of conversion_events::rows_copied.
    static constexpr uint64_t progress_step = 4096;

    explicit conversion_run(morvale_convertor& converter);
    ~conversion_run();
    conversion_run(const conversion_run&) = delete;
    conversion_run& operator=(const conversion_run&) = delete;

    // Hands BLOB-to-memo to the engine, opens the source database and the
    // destination folder.
    void open();
    udb_database& source() { return *source_; }

    // Appends the selection to the selected-tables list and lists the tables to
    // convert: each source table once, under the first name that reads it, in list
    // order. The table count is their number.
    void prepare();
    const std::vector<std::wstring>& tables() const { return tables_; }

    // Every table of the list in order: begin, open, copy, end; a table's failure is
    // reported and the loop goes on. Then finish(). A run that ends early leaves how
    // far it got with the converter.
    void convert_tables(conversion_events& events);

    // Ends the run the way an Abort does when the converter was asked to stop, or when
    // a table lost the connection to the server (no later table could be read).
    void check_stop() const;

    // Current table := name, its counters 0.
    void begin_table(const std::wstring& name);
    // Gets the source table and creates or opens its DBF table; false when the table
    // is skipped (mode 2 and the table exists). From here the table's record count is
    // owed: announced once known.
    bool open_table(const std::wstring& name);
    // The source table's record count.
    uint64_t record_count() const;
    // Copies the rows (nothing with only definitions); a record that fails is reported
    // with its number and the copy goes on, unless its error is of kind 1.
    void copy_rows();
    // Makes the table the one its rows were copied into: the DBF table takes its place
    // in the folder. Then the table's losses are summed up.
    void commit_table();
    // The table handler: reports the failure with the table as context. A kind-1 error
    // (a file that cannot be written) ends the run once reported.
    void table_failed(const tk_exception& e);
    // Leaves the table in work as it was, for a program that must end at once.
    void abandon_open_table() noexcept;
    // Whatever path the table took: its objects are destroyed and it counts as done.
    void end_table();
    // After the last table: the context is emptied and the run counts as completed
    // (unless check_stop ends it).
    void finish();

  private:
    // Gives every table of the run its DBF name.
    void name_tables();
    // Mode 0: deletes the folder's DBF tables that the run does not write.
    void empty_other_tables();
    // The table did not convert, for the reason its report gave.
    void note_unconverted(const std::string& reason);
    // Hands what the run did with each table to the converter.
    void publish();
    // After a report: a kind-1 error ends the run the way an Abort does.
    void end_if_fatal(const tk_exception& e) const;
    // Announces the source table's record count when it is owed and known, after
    // waiting for it once per table, briefly: what else of the table is reported comes
    // after it when it comes in time.
    void settle() override;
    // After the table's last row: the count when it is in, else the rows read, which is
    // the count of a table read whole.
    void settle_at_end(uint64_t rows);
    // The record count to the converter, the trace and the program.
    void announce(uint64_t count);

    morvale_convertor& conv_;
    std::unique_ptr<udb_database> source_;
    std::unique_ptr<dbf_database> destination_;
    std::unique_ptr<dbf_tn_validator> validator_;
    std::unique_ptr<udb_recordset> source_table_;
    std::unique_ptr<udb_recordset> destination_table_;
    std::vector<std::wstring> tables_;
    std::unordered_map<std::wstring, std::wstring> read_as_;    // name, listed source name
    std::unordered_map<std::wstring, std::wstring> dbf_names_;  // name, DBF name
    std::wstring table_;
    bool connection_lost_ = false;
    uint32_t converted_ = 0;  // tables that took their place in the folder
    bool copying_ = false;    // rows of the current table are being written
    bool in_work_ = false;    // the current table is written and not in its place yet
    std::vector<std::pair<std::wstring, std::string>> unconverted_;
    std::vector<converted_table> converted_tables_;
    std::vector<std::wstring> skipped_tables_;
    uint64_t copied_ = 0;  // records copied of the current table
    bool broken_ = false;  // the current table's rows stopped coming: it did not go through
    conversion_events* events_ = nullptr;
    bool count_pending_ = false;  // the source table's count may still be waited for
    bool count_owed_ = false;     // the table is open and its count not announced yet
};
