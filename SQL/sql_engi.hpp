// The MySQL engine: the one connection to the server, its session, the server's
// version, the engine-wide settings, and the operations on whole databases.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

  private:
    void init(unsigned error_number, const std::string& text);
    unsigned error_number_ = 0;
};

class sql_auth_not_supported_exception : public tk_exception {
  public:
    sql_auth_not_supported_exception();
    sql_auth_not_supported_exception(const sql_auth_not_supported_exception&) = default;
};

class sql_prep_stmt_failed_exception : public tk_exception {
  public:
    sql_prep_stmt_failed_exception();
    sql_prep_stmt_failed_exception(const sql_prep_stmt_failed_exception&) = default;
};

// What set_properties accepts: "engine" and "character set".
using sql_properties = std::map<std::wstring, std::wstring>;

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
  public:
    sql_engine();
    ~sql_engine() override;

    void initialize();
    // Closes an earlier connection first. Throws sql_exception when the server refuses.
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 int port);

    // --- Databases ---
    void create_db(const std::wstring& name) override;
    // Selects the database and reads its table list (and views unless mode bit 0x80).
    std::unique_ptr<udb_database> open_db(const std::wstring& name, int32_t open_mode,
                                          const std::wstring& text) override;
    void db_delete(const std::wstring& name) override;
    bool is_db_exist(const std::wstring& name) override;
    // properties: a sql_properties, or null.
    void set_properties(void* properties) override;
    // The server's databases; what was read before a failure.
    std::vector<std::wstring> get_contents();
    // The server's largest packet; 0 when not connected. Asked once.
    uint32_t get_max_allowed_packet();

    // --- Names ---
    // The name as an identifier inside a statement: between backticks, every backtick
    // inside doubled. A complete quoted identifier passes unchanged.
    static std::wstring get_safe_name(const std::wstring& name);
    std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record);
    std::unique_ptr<udb_validator> create_in_validator(const udb_indexes& indexes);

    // --- Settings ---
    void set_blob_to_text(bool on) { blob_to_text_ = on; }
    bool is_blob_to_text() const { return blob_to_text_; }
    bool is_connected() const { return connected_; }
    // major * 65536 + minor * 256 + patch.
    uint32_t get_version() const { return version_; }
    MYSQL* get_connection() { return &mysql_; }
    const std::wstring& get_charset() const { return charset_; }
    const std::wstring& get_table_type() const { return table_type_; }
    bool is_fast_insert() const { return fast_insert_; }

    // The version number of a server's version text, "%d.%d.%d" from its start (a
    // replication prefix "5.5.5-" before a MariaDB version is skipped); false when
    // the text holds no such numbers.
    static bool parse_version(const char* text, uint32_t& version);

  private:
    // Runs a session statement whose failure is only logged.
    void run_logged(const char* statement, const char* failed3, const char* failed2);

    const sql_properties* properties_map_ = nullptr;
    std::wstring charset_ = L"utf8";
    std::wstring table_type_ = L"InnoDB";
    bool connected_ = false;
    bool fast_insert_ = true;
    bool blob_to_text_ = false;
    uint32_t version_ = 0;
    MYSQL mysql_;
    uint32_t max_allowed_packet_ = 0;
};

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
