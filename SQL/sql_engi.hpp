// The MySQL engine: the one connection to the server, its session, the server's
// version, the engine-wide settings, and the operations on whole databases.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_intr.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_singl.hpp"
#include "UDB/udb_db.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_vali.hpp"

// A statement or call the server refused: kind 0, code 0x400000 plus the low 16 bits of
// the error number, message the server's text. Build it right after the failing call.
class sql_exception : public tk_exception {
  public:
    // The error of the engine's connection.
    sql_exception();
    explicit sql_exception(MYSQL* connection);
    // For failures the library does not describe itself.
    sql_exception(unsigned error_number, const std::string& text);
    sql_exception(const sql_exception&) = default;

    unsigned error_number() const { return error_number_; }
    // The connection is gone (the server went away or killed the session): nothing
    // more can be read on it. A killed query alone leaves it usable.
    bool connection_lost() const;
    // The client library's own error (2000 to 2999), not the server's: the connection
    // is in no known state afterwards.
    bool on_client_side() const { return error_number_ >= 2000 && error_number_ < 3000; }
    // The failure is the side connection's (see sql_side_connection), not the one the
    // rows are read on.
    bool on_side_connection() const { return side_; }
    void set_on_side_connection() { side_ = true; }

  private:
    void init(unsigned error_number, const std::string& text);
    unsigned error_number_ = 0;
    bool side_ = false;
};

class sql_auth_not_supported_exception : public tk_exception {
  public:
    sql_auth_not_supported_exception();
    sql_auth_not_supported_exception(const sql_auth_not_supported_exception&) = default;
};

class sql_prep_stmt_failed_exception : public tk_exception {
  public:
    sql_prep_stmt_failed_exception();
    // Kind 0 with the server's text after the fixed one: one refused row must not end
    // a run, and the caller must learn why it was refused.
    explicit sql_prep_stmt_failed_exception(const std::string& server_text);
    sql_prep_stmt_failed_exception(const sql_prep_stmt_failed_exception&) = default;
};

// What set_properties accepts: "engine" and "character set".
using sql_properties = std::map<std::wstring, std::wstring>;

// The settings of one table created on the write side: "engine" and "character set"
// for the table, "character_set" per column. Values stand bare in CREATE TABLE, so
// only plain words are taken.
struct sql_table_properties {
    sql_properties table;
    std::map<std::wstring, sql_properties> columns;
};
using sql_tables_properties = std::map<std::wstring, sql_table_properties>;

class sql_side_connection;
struct sql_session_statement;

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
  public:
    sql_engine();
    ~sql_engine() override;

    void initialize();
    // Closes an earlier connection first. Throws sql_exception when the server refuses,
    // or when the connection is lost (or interrupted) before the session is set up.
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 int port);

    // --- Databases ---
    // The new database, opened with mode 2.
    std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
    // Selects the database and reads its table list (and views unless mode bit 0x80).
    std::unique_ptr<udb_database> open_db(const std::wstring& name, int32_t open_mode,
                                          const std::wstring& text) override;
    // Drops exactly the database named. A name the server cannot hold (empty, over 64
    // characters) raises kind 0 before anything is sent.
    void db_delete(const std::wstring& name) override;
    bool is_db_exist(const std::wstring& name) override;
    // properties: a sql_properties, or null.
    void set_properties(void* properties) override;
    // The server's databases; what was read before a failure.
    std::vector<std::wstring> get_contents();
    // The server's largest packet; 0 when not connected. Asked once.
    uint32_t get_max_allowed_packet();
    // Whether the server keeps the case of table names apart (lower_case_table_names
    // is 0). Asked once per connection.
    bool is_table_case_kept();

    // --- The selected database ---
    // Makes `name` the connection's database unless it already is: every database
    // object selects its own before each statement, so two of them never mix.
    // Raises sql_exception when the server refuses.
    void use_database(const std::wstring& name);
    // Once per connection, before the first write: values the server would alter are
    // errors, a zero in an AUTO_INCREMENT column stays zero, and autocommit is on.
    void ensure_write_session();

    // --- The side connection ---
    // While on, a table's rows are counted on a second connection while they stream on
    // this one (a conversion turns it on for its tables). Turning it on starts opening
    // that connection in the background.
    void set_count_aside(bool on);
    bool is_count_aside() const { return count_aside_; }
    // While off, a table's rows are not counted at all, where nobody would see the count
    // (a silent run): no statement is sent for it, and no second connection is opened.
    void set_counting(bool on) { counting_ = on; }
    bool is_counting() const { return counting_; }
    // The second connection, for one count: opened when none is at hand, with this
    // one's settings, and lent until given back (dropping it closes it). Null when it
    // cannot be had (traced once; counts then run on this connection).
    std::unique_ptr<sql_side_connection> lend_side_connection();
    // Keeps it for the next count, unless it is unusable or from before a reconnect.
    void give_back_side_connection(std::unique_ptr<sql_side_connection> side) noexcept;

    // --- Names ---
    // The name as an identifier inside a statement, traced: quote_name's result.
    static std::wstring get_safe_name(const std::wstring& name);
    // The name between backticks, every backtick inside doubled, always, whatever it
    // looks like: a name from the server or from data may look quoted already.
    static std::wstring quote_name(const std::wstring& name);
    std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record);
    std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema);
    std::unique_ptr<udb_validator> create_in_validator(const udb_indexes& indexes);
    std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::wstring>& names1,
                                                       const std::vector<std::wstring>& names2);

    // --- Settings ---
    void set_blob_to_text(bool on) { blob_to_text_ = on; }
    bool is_blob_to_text() const { return blob_to_text_; }
    bool is_connected() const { return connected_; }
    // Shuts the connection down, so that a stream still open on it is closed without
    // reading off its rows; nothing more can be done on it until the next connect.
    void cut_connection() noexcept { socket_.cut(); }
    // The session's texts are utf8mb4: the server gives the sizes of text columns in
    // four bytes a character, where utf8 gave three.
    bool is_utf8mb4() const { return utf8mb4_; }
    // major * 65536 + minor * 256 + patch.
    uint32_t get_version() const { return version_; }
    MYSQL* get_connection() { return &mysql_; }
    const std::wstring& get_charset() const { return charset_; }
    const std::wstring& get_table_type() const { return table_type_; }
    bool is_fast_insert() const { return fast_insert_; }
    void set_fast_insert(bool on) { fast_insert_ = on; }
    // Per-table settings for the write side, not owned; null for none.
    void set_table_properties(const sql_tables_properties* properties) {
        table_properties_ = properties;
    }
    const sql_table_properties* get_table_properties(const std::wstring& table) const;

    // The version number of a server's version text, "%d.%d.%d" from its start (a
    // replication prefix "5.5.5-" before a MariaDB version is skipped); false when
    // the text holds no such numbers.
    static bool parse_version(const char* text, uint32_t& version);

  private:
    // Runs a session statement; true when it (not its fallback) ran. The failure of one
    // that is not required is only logged; of a required one, it closes the connection
    // and raises sql_exception with the statement's failed2 text.
    bool run_logged(const sql_session_statement& s);
    // Closes the connection and readies the handle for the next connect.
    void disconnect();

    const sql_properties* properties_map_ = nullptr;
    std::wstring charset_ = L"utf8";
    std::wstring table_type_ = L"InnoDB";
    bool connected_ = false;
    bool fast_insert_ = true;
    bool blob_to_text_ = false;
    // The session's texts are utf8mb4, four bytes a character at most, not utf8.
    bool utf8mb4_ = false;
    uint32_t version_ = 0;
    MYSQL mysql_;
    // For as long as the connection lives: every wait on it can be interrupted.
    sql_interruptible socket_;
    uint32_t max_allowed_packet_ = 0;
    const sql_tables_properties* table_properties_ = nullptr;
    // The connection's database as far as this engine made it so; empty when unknown.
    std::wstring selected_db_;
    bool write_session_ = false;
    int table_case_kept_ = -1;  // -1 not asked yet
    // What connect was given, for the side connection; the host as the address that
    // took the connection.
    std::string host_;
    std::string user_;
    std::string password_;
    int port_ = 0;
    bool count_aside_ = false;
    bool counting_ = true;
    std::unique_ptr<sql_side_connection> side_;
    std::future<std::unique_ptr<sql_side_connection>> side_opening_;
    bool side_refused_ = false;  // it could not be opened: not tried again
    uint64_t session_ = 0;       // counts the connects
};

// A charset or storage-engine name that can stand bare in a statement.
bool sql_is_plain_word(const std::wstring& s);
// A property's value when it is such a word, else empty.
std::wstring sql_property(const sql_properties& set, const wchar_t* key);

// Sets the engine's BLOB-to-text setting for one listing and restores it on every way out.
class sql_blob_to_text_scope {
  public:
    explicit sql_blob_to_text_scope(bool on);
    ~sql_blob_to_text_scope();
    sql_blob_to_text_scope(const sql_blob_to_text_scope&) = delete;
    sql_blob_to_text_scope& operator=(const sql_blob_to_text_scope&) = delete;

  private:
    bool saved_;
};

// Statements go to the server as UTF-8.
std::string sql_to_utf8(const std::wstring& text);

// A statement that sets up the session of every connection the engine makes, with the
// lines that trace it.
struct sql_session_statement {
    const char* text;
    const char* setting;  // level 2, before it runs
    const char* failed3;  // level 3 when it fails, or null
    // Level 2 when it fails, with the server's text; for a required statement, the
    // error of the connect.
    const char* failed2;
    // Run in the text's place by a server that does not know the character set it names.
    const char* fallback = nullptr;
    // Without it a table could come back cut: its failure fails the connect.
    bool required = false;
    // It sets a variable that not every server has (older MariaDB, MySQL): on a server
    // that lacks it, it is skipped.
    bool may_lack_variable = false;
    // A SELECT of one value, run after it, that must read `expected`: the statement alone
    // does not say whether the server took it as meant.
    const char* check = nullptr;
    const char* expected = nullptr;
};
// The client options of every connection, set before it connects: the option files'
// group and the connect time-out in seconds.
constexpr const char* sql_option_group = "QM MySQL Lib";
constexpr unsigned int sql_connect_timeout = 10;
// Right after connecting, in order. They make the session the program's own: whatever
// the server's settings, a SELECT returns every current row of a table, whole.
extern const sql_session_statement sql_session_statements[9];
// Once the server's version is known.
extern const sql_session_statement sql_foreign_key_checks_off;
// Runs the statement (or its fallback), reads off any answer, then runs its check.
// Returns the text that ran, or null when it was skipped because the server lacks its
// variable. Raises sql_exception, with the server's error or what the check read, when
// it failed.
const char* sql_run_session_statement(MYSQL* connection, const sql_session_statement& s);
