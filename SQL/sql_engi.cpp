#include "SQL/sql_engi.hpp"

#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#include <errmsg.h>
#include <mysqld_error.h>

#include "SQL/sql_db.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_side.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_vali.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

// Never written into a trace line in place of a password.
constexpr const char* masked_password = "***";

// A database name the server cannot hold is refused before anything is sent: the
// server would refuse it only after the statements before it had run, and a quoting
// that cut it would name another database.
void check_database_name(const std::wstring& name) {
    if (name.empty() || name.size() > 64)
        throw tk_exception(
            L"The database name '" + name + L"' is empty or longer than 64 characters",
            tk_kind_continue);
}

}  // namespace

const sql_session_statement sql_session_statements[9] = {
    // utf8 is three bytes a character: it has no room for the characters beyond them.
    {"SET NAMES utf8mb4", "Setting UTF-8 collation...", "Failed to set UTF-8 collation",
     "Cannot set UTF-8 collation: %s", "SET NAMES UTF8"},
    {"set session wait_timeout=cast(if(@@session.wait_timeout < "
     "28800,28800,@@session.wait_timeout) as unsigned);",
     "Setting wait_timeout...", "Failed to set wait_timeout", "Cannot set wait_timeout: %s"},
    // The floor of the session's time-outs: an idle connection, or a read paused by a
    // dialog on screen, must survive a working day.
    {"set session net_write_timeout=cast(if(@@session.net_write_timeout < 28800,28800,"
     "@@session.net_write_timeout) as unsigned), net_read_timeout=cast(if("
     "@@session.net_read_timeout < 28800,28800,@@session.net_read_timeout) as unsigned);",
     "Setting net_write_timeout and net_read_timeout...", "Failed to set net timeouts",
     "Cannot set net timeouts: %s"},
    // Set to their largest, which the server takes for no limit, not to DEFAULT: a
    // session's DEFAULT is the server's global value, the very setting that would cut
    // the table (and the table list). Big selects are on again with the largest join
    // size; the last assignment says so.
    {.text = "SET SESSION sql_select_limit = 18446744073709551615, "
             "max_join_size = 18446744073709551615, sql_big_selects = 1",
     .setting = "Lifting the select and join-size limits...",
     .failed3 = "Failed to lift the select and join-size limits",
     .failed2 = "Cannot lift the select and join-size limits: %s",
     .required = true},
    // CHAR values arrive as stored, without blanks up to their width; every other flag
    // of the server's mode stays.
    {.text = "SET SESSION sql_mode = TRIM(BOTH ',' FROM REPLACE(CONCAT(',', @@SESSION.sql_mode, "
             "','), ',PAD_CHAR_TO_FULL_LENGTH,', ','))",
     .setting = "Turning off the padding of CHAR values...",
     .failed3 = "Failed to turn off the padding of CHAR values",
     .failed2 = "Cannot turn off the padding of CHAR values: %s",
     .required = true},
    // A server set to read uncommitted would hand out rows that their transaction may
    // still take back.
    {.text = "SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ",
     .setting = "Setting the isolation level...",
     .failed3 = "Failed to set the isolation level",
     .failed2 = "Cannot set the isolation level: %s",
     .required = true},
    // MariaDB's limit on a statement's time, then MySQL's: a long table must not be cut
    // off where its time runs out.
    {.text = "SET SESSION max_statement_time = 0",
     .setting = "Lifting the statement time limit...",
     .failed3 = "Failed to lift the statement time limit",
     .failed2 = "Cannot lift the statement time limit: %s",
     .required = true,
     .may_lack_variable = true},
    {.text = "SET SESSION max_execution_time = 0",
     .setting = "Lifting the statement time limit...",
     .failed3 = "Failed to lift the statement time limit",
     .failed2 = "Cannot lift the statement time limit: %s",
     .required = true,
     .may_lack_variable = true},
    // The current rows of system-versioned tables, not those of the server's date. Unlike
    // the limits', this variable's DEFAULT means the current rows rather than the global
    // value (tried on MariaDB 10.11); the check makes sure of it on every server.
    {.text = "SET SESSION system_versioning_asof = DEFAULT",
     .setting = "Reading the current rows of system-versioned tables...",
     .failed3 = "Failed to read the current rows of system-versioned tables",
     .failed2 = "Cannot read the current rows of system-versioned tables: %s",
     .required = true,
     .may_lack_variable = true,
     .check = "SELECT @@session.system_versioning_asof",
     .expected = "DEFAULT"},
};

const sql_session_statement sql_foreign_key_checks_off = {
    "SET FOREIGN_KEY_CHECKS = 0", nullptr, nullptr, "Cannot turn off foreign key check: %s"};

namespace {

void check_session_value(MYSQL* connection, const sql_session_statement& s) {
    if (mysql_query(connection, s.check) != 0) throw sql_exception(connection);
    MYSQL_RES* result = mysql_store_result(connection);
    if (!result) throw sql_exception(connection);
    std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> guard(result, &mysql_free_result);
    MYSQL_ROW row = mysql_fetch_row(result);
    const unsigned long* lengths = mysql_fetch_lengths(result);
    const std::string value = row && row[0] && lengths ? std::string(row[0], lengths[0]) : "NULL";
    if (value != s.expected)
        throw sql_exception(0, tk_format("%s gives '%s', not '%s'", s.check, value, s.expected));
}

}  // namespace

const char* sql_run_session_statement(MYSQL* connection, const sql_session_statement& s) {
    const char* text = s.text;
    if (mysql_query(connection, text) != 0) {
        const unsigned error = mysql_errno(connection);
        if (s.may_lack_variable && error == ER_UNKNOWN_SYSTEM_VARIABLE) return nullptr;
        if (!s.fallback || error != ER_UNKNOWN_CHARACTER_SET) throw sql_exception(connection);
        text = s.fallback;
        if (mysql_query(connection, text) != 0) throw sql_exception(connection);
    }
    // A statement that answers with rows must be read off before the next one.
    if (MYSQL_RES* r = mysql_use_result(connection)) mysql_free_result(r);
    if (s.check) check_session_value(connection, s);
    return text;
}

bool sql_is_plain_word(const std::wstring& s) {
    if (s.empty() || s.size() > 64) return false;
    for (wchar_t c : s)
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
              c == L'_'))
            return false;
    return true;
}

std::wstring sql_property(const sql_properties& set, const wchar_t* key) {
    auto it = set.find(key);
    if (it == set.end() || !sql_is_plain_word(it->second)) return {};
    return it->second;
}

// --- Exceptions ---

sql_exception::sql_exception() : tk_exception(tk_kind_continue) {
    MYSQL* m = sql_engine::instance().get_connection();
    init(mysql_errno(m), mysql_error(m));
}

sql_exception::sql_exception(MYSQL* connection) : tk_exception(tk_kind_continue) {
    init(mysql_errno(connection), mysql_error(connection));
}

sql_exception::sql_exception(unsigned error_number, const std::string& text)
    : tk_exception(tk_kind_continue) {
    init(error_number, text);
}

void sql_exception::init(unsigned error_number, const std::string& text) {
    error_number_ = error_number;
    set_message(text);
    set_code(0x400000u + (error_number & 0xFFFFu));
    tk_log_printf(2, "sql_exception::sql_exception( msg=%s)", text);
    tk_log_printf(2, "Got MySQL error code=%d", error_number);
}

namespace {

bool is_lost_connection_error(unsigned error) {
    return error == CR_SERVER_GONE_ERROR || error == CR_SERVER_LOST ||
           error == ER_CONNECTION_KILLED;
}

}  // namespace

bool sql_exception::connection_lost() const {
    return is_lost_connection_error(error_number_);
}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception(
          "The program does not support authentication protocol requested by server. See "
          "'Troubleshooting' article of the product documentation.",
          tk_kind_error) {}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception()
    : tk_exception("Failed to execute prepared statement", tk_kind_error) {
    set_code(0x400BB9);
}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception(const std::string& server_text)
    : tk_exception("Failed to execute prepared statement: " + server_text, tk_kind_continue) {
    set_code(0x400BB9);
}

// --- Engine ---

std::string sql_to_utf8(const std::wstring& text) {
    return pt::utf8_encode(text);
}

sql_engine::sql_engine() {
    std::memset(&mysql_, 0, sizeof mysql_);
    initialize();
}

sql_engine::~sql_engine() {
    tk_log_printf(2, "sql_engine::dtor");
    side_opening_ = {};
    side_.reset();
    if (connected_) {
        if (mysql_query(&mysql_, "SET FOREIGN_KEY_CHECKS = 1") != 0)
            tk_log_printf(2, "Cannot turn ON foreign key check: %s", mysql_error(&mysql_));
    }
    socket_.release();
    // Also frees the handle of a connection that was never made.
    mysql_close(&mysql_);
    connected_ = false;
    tk_log_printf(2, "sql_engine::dtor - END");
}

void sql_engine::initialize() {
    tk_log_printf(1, "sql_engine::initialize");
    if (!mysql_init(&mysql_))
        throw tk_exception("Cannot initialize the MySQL client library", tk_kind_error);
    tk_log_printf(1, "sql_engine::initialize - 1");
    mysql_options(&mysql_, MYSQL_READ_DEFAULT_GROUP, sql_option_group);
    tk_log_printf(1, "sql_engine::initialize - 2");
    unsigned int timeout = sql_connect_timeout;
    mysql_options(&mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    tk_log_printf(1, "sql_engine::initialize - END");
}

bool sql_engine::run_logged(const sql_session_statement& s) {
    try {
        const char* ran = sql_run_session_statement(&mysql_, s);
        if (!ran) tk_log_printf(2, "The server has no such variable: skipped");
        return ran == s.text;
    } catch (const sql_exception& e) {
        if (s.failed3) tk_log_printf(3, "%s", s.failed3);
        tk_log_printf(2, s.failed2, std::string(e.what()));
        if (!s.required) return false;
        // A session that could read a table cut short is no session to read with.
        disconnect();
        throw sql_exception(e.error_number(), tk_format(s.failed2, std::string(e.what())));
    }
}

void sql_engine::disconnect() {
    socket_.release();
    mysql_close(&mysql_);
    std::memset(&mysql_, 0, sizeof mysql_);
    connected_ = false;
    initialize();
}

bool sql_engine::parse_version(const char* text, uint32_t& version) {
    if (!text) return false;
    std::string_view s(text);
    // Some client libraries report a MariaDB server behind the prefix of the
    // replication protocol; the server's own version follows it.
    if (s.starts_with("5.5.5-") && s.find("MariaDB") != std::string_view::npos) s.remove_prefix(6);
    uint32_t parts[3] = {0, 0, 0};
    const char* p = s.data();
    const char* end = s.data() + s.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (p == end || *p != '.') return false;
            ++p;
        }
        auto [next, ec] = std::from_chars(p, end, parts[i]);
        if (ec != std::errc() || next == p || parts[i] > 255) return false;
        p = next;
    }
    version = (parts[0] * 256 + parts[1]) * 256 + parts[2];
    return true;
}

void sql_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, int port) {
    tk_log_printf(2, "sql_engine::connect(%s,%s,%s,%d)", host, user, masked_password, port);
    if (connected_) {
        tk_log_printf(2, "Connection was established already - disconnecting first...");
        disconnect();
    }
    max_allowed_packet_ = 0;
    selected_db_.clear();
    write_session_ = false;
    table_case_kept_ = -1;
    side_opening_ = {};  // waits for one still being opened, and closes it
    side_.reset();
    side_refused_ = false;
    ++session_;
    user_ = user;
    password_ = password;
    port_ = port;

    tk_log_printf(3, "Connecting to MySQL server...");
    const sql_connect_result reached = sql_connect(&mysql_, host, user, password, port, socket_);
    if (!reached.connected) throw sql_exception(reached.error_number, reached.error_text);
    connected_ = true;
    // The side connection goes to the same address without a lookup of its own.
    host_ = reached.address;

    for (const sql_session_statement& s : sql_session_statements) {
        tk_log_printf(2, "%s", s.setting);
        const bool ran = run_logged(s);
        // The character set is the one statement with a fallback.
        if (s.fallback) utf8mb4_ = ran;
    }

    const char* info = mysql_get_server_info(&mysql_);
    if (!info || !*info) return;
    tk_log_printf(2, "Got MySQL server version: %s", info);
    uint32_t version = 0;
    if (!parse_version(info, version)) {
        tk_log_printf(3, "Invalid MySQL version: %s", info);
        throw tk_exception(tk_format("Unrecognised server version '%s'", info), tk_kind_error);
    }
    version_ = version;
    tk_log_printf(1, "Hex version: %08X", version_);
    if (version_ == 0x040100 && !password.empty()) throw sql_auth_not_supported_exception();

    run_logged(sql_foreign_key_checks_off);
    // A session statement may fail and be let go; a connection lost on the way may not.
    if (is_lost_connection_error(mysql_errno(&mysql_))) throw sql_exception(&mysql_);
}

// --- Databases ---

std::unique_ptr<udb_database> sql_engine::create_db(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_engine::create_db(%s)", name);
    tk_log_wprintf(3, L"Creating MySQL database '%s'", name);
    check_database_name(name);
    std::wstring statement = L"CREATE DATABASE " + quote_name(name) + L" character set " + charset_;
    tk_log_wprintf(2, L"Run SQL-query: %s", statement);
    const std::string text = sql_to_utf8(statement);
    if (mysql_real_query(&mysql_, text.data(), text.size()) != 0) throw sql_exception(&mysql_);
    return open_db(name, 2, std::wstring());
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::wstring& name, int32_t open_mode,
                                                  const std::wstring& text) {
    tk_log_wprintf(2, L"sql_engine::open_db(%s,%d,%s)", name, open_mode, text);
    tk_log_wprintf(3, L"Opening MySQL database '%s'", name);
    // Always asked: the database may have gone since it was last selected.
    selected_db_.clear();
    use_database(name);
    return std::make_unique<sql_database>(name, &mysql_, open_mode);
}

void sql_engine::set_count_aside(bool on) {
    count_aside_ = on;
    // Opened while the run reads the table list and the first schema, the connection is
    // at hand when the first rows start.
    if (!on || !counting_ || side_ || side_refused_ || side_opening_.valid() || !connected_) return;
    try {
        side_opening_ = std::async(
            std::launch::async,
            [host = host_, user = user_, password = password_, port = port_, session = session_] {
                auto side = std::make_unique<sql_side_connection>(host, user, password, port);
                side->session = session;
                return side;
            });
    } catch (const std::system_error&) {
        // No thread to be had: it is opened when first needed.
    }
}

std::unique_ptr<sql_side_connection> sql_engine::lend_side_connection() {
    try {
        if (side_opening_.valid()) side_ = side_opening_.get();
        // An idle connection with something to read was closed by the server (killed,
        // or timed out): it would fail the count.
        if (side_ && side_->has_answer()) side_.reset();
        if (!side_ && !side_refused_ && connected_) {
            side_ = std::make_unique<sql_side_connection>(host_, user_, password_, port_);
            side_->session = session_;
        }
    } catch (const sql_exception& e) {
        // A user allowed one connection, say: the rows are counted before they are read,
        // on the one connection.
        side_refused_ = true;
        tk_log_printf(2, "No side connection, rows are counted before they are read: %s", e.what());
    }
    return std::move(side_);
}

void sql_engine::give_back_side_connection(std::unique_ptr<sql_side_connection> side) noexcept {
    if (side && !side_ && !side->is_lost() && side->session == session_) side_ = std::move(side);
}

void sql_engine::use_database(const std::wstring& name) {
    if (!selected_db_.empty() && selected_db_ == name) return;
    tk_log_wprintf(1, L"sql_engine::use_database(%s)", name);
    if (mysql_select_db(&mysql_, sql_to_utf8(name).c_str()) != 0) throw sql_exception(&mysql_);
    selected_db_ = name;
}

void sql_engine::ensure_write_session() {
    if (write_session_) return;
    tk_log_printf(2, "Setting the write session's sql_mode...");
    // Every row reported as written must be committed, also where init_connect or the
    // server's settings turn autocommit off: nothing here ever commits by itself.
    static constexpr std::string_view statement =
        "SET SESSION sql_mode = CONCAT_WS(',', @@SESSION.sql_mode, 'STRICT_ALL_TABLES', "
        "'NO_AUTO_VALUE_ON_ZERO'), autocommit = 1";
    if (mysql_real_query(&mysql_, statement.data(), statement.size()) != 0)
        throw sql_exception(&mysql_);
    write_session_ = true;
}

void sql_engine::db_delete(const std::wstring& name) {
    tk_log_wprintf(2, L"sql_engine::db_delete(%s)", name);
    tk_log_wprintf(3, L"Deleting MySQL database '%s'", name);
    check_database_name(name);
    run_logged(sql_foreign_key_checks_off);
    const std::string text = sql_to_utf8(L"DROP DATABASE " + get_safe_name(name));
    if (mysql_real_query(&mysql_, text.data(), text.size()) != 0) throw sql_exception(&mysql_);
    // A dropped selected database leaves the connection without one.
    if (selected_db_ == name) selected_db_.clear();
    // The session keeps foreign-key checks off until the engine goes (see connect).
}

bool sql_engine::is_db_exist(const std::wstring& name) {
    tk_log_wprintf(1, L"sql_engine::is_db_exist(%s)", name);
    int result = mysql_select_db(&mysql_, sql_to_utf8(name).c_str());
    tk_log_printf(1, "n_result=%d", result);
    // A refused selection keeps the database selected before.
    if (result == 0) selected_db_ = name;
    return result == 0;
}

void sql_engine::set_properties(void* properties) {
    udb_engine::set_properties(properties);
    properties_map_ = static_cast<const sql_properties*>(properties);
    // The values end up bare in CREATE statements, so only plain words are taken.
    auto take = [&](const wchar_t* key, std::wstring& target) {
        if (!properties_map_) return false;
        auto it = properties_map_->find(key);
        if (it == properties_map_->end()) return false;
        if (!sql_is_plain_word(it->second)) {
            tk_log_wprintf(2, L"Ignored property %s='%s'", key, it->second);
            return false;
        }
        target = it->second;
        return true;
    };
    if (take(L"engine", table_type_)) {
        tk_log_wprintf(1, L"Set tab.type='%s'", table_type_);
    } else {
        tk_log_printf(1, "Set InnoDB as default");
        table_type_ = L"InnoDB";
    }
    take(L"character set", charset_);
}

std::vector<std::wstring> sql_engine::get_contents() {
    tk_log_printf(2, "sql_engine::get_contents");
    std::vector<std::wstring> names;
    try {
        sql_list_databases_rs list(&mysql_);
        list.reset();
        while (!list.is_eof()) {
            std::wstring name = (*list.get_item())[0].to_wstring();
            tk_log_wprintf(2, L"Got database (1): %s", name);
            names.push_back(std::move(name));
            list.next();
        }
    } catch (const std::exception& e) {
        tk_log_printf(2, "ERROR: %s", e.what());
    }
    return names;
}

uint32_t sql_engine::get_max_allowed_packet() {
    tk_log_printf(1, "sql_engine::get_max_allowed_packet");
    if (max_allowed_packet_ != 0) return max_allowed_packet_;
    if (!connected_) return 0;
    if (mysql_query(&mysql_, "SHOW VARIABLES LIKE 'max_allowed_packet'") != 0)
        throw sql_exception(&mysql_);
    MYSQL_RES* result = mysql_use_result(&mysql_);
    if (!result) throw sql_exception(&mysql_);
    sql_tmp_recordset rs(&mysql_, result);
    uint64_t value = 0;
    if (!rs.is_eof() && rs.get_item()->size() >= 2) {
        std::string text = (*rs.get_item())[1].to_string();
        std::from_chars(text.data(), text.data() + text.size(), value);
    }
    max_allowed_packet_ = value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
    tk_log_printf(1, "max_packet_size=%d", max_allowed_packet_);
    return max_allowed_packet_;
}

bool sql_engine::is_table_case_kept() {
    if (table_case_kept_ < 0) {
        static constexpr std::string_view statement = "SELECT @@lower_case_table_names";
        if (mysql_real_query(&mysql_, statement.data(), statement.size()) != 0)
            throw sql_exception(&mysql_);
        MYSQL_RES* result = mysql_use_result(&mysql_);
        if (!result) throw sql_exception(&mysql_);
        sql_tmp_recordset rs(&mysql_, result);
        table_case_kept_ = !rs.is_eof() && (*rs.get_item())[0].to_string() == "0" ? 1 : 0;
    }
    return table_case_kept_ == 1;
}

const sql_table_properties* sql_engine::get_table_properties(const std::wstring& table) const {
    if (!table_properties_) return nullptr;
    auto it = table_properties_->find(table);
    return it == table_properties_->end() ? nullptr : &it->second;
}

// --- Names ---

std::wstring sql_engine::get_safe_name(const std::wstring& name) {
    tk_log_wprintf(1, L"sql_engine::get_safe_name(%s)", name);
    // Always quoted, never cut: a name that looks quoted, or a longer one cut short,
    // would name another table. Callers refuse names the server cannot hold.
    std::wstring result = quote_name(name);
    tk_log_wprintf(1, L"Returns [%s]", result);
    return result;
}

std::wstring sql_engine::quote_name(const std::wstring& name) {
    std::wstring result;
    result.reserve(name.size() + 2);
    result.push_back(L'`');
    for (wchar_t c : name) {
        if (c == L'`') result.push_back(L'`');
        result.push_back(c);
    }
    result.push_back(L'`');
    return result;
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_record& record) {
    tk_log_printf(1, "sql_engine::create_fn_validator( const udb_record& )");
    tk_log_printf(1, "is_old_version(%08X)", version_);
    if (version_ >= 0x040100) return std::make_unique<sql_new_fn_validator>(record);
    return std::make_unique<sql_old_fn_validator>(record);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_schema& schema) {
    tk_log_printf(1, "sql_engine::create_fn_validator( const udb_schema& )");
    tk_log_printf(1, "is_old_version(%08X)", version_);
    if (version_ >= 0x040100) return std::make_unique<sql_new_fn_validator>(schema);
    return std::make_unique<sql_old_fn_validator>(schema);
}

std::unique_ptr<udb_validator> sql_engine::create_tn_validator(
    const std::vector<std::wstring>& names1, const std::vector<std::wstring>& names2) {
    tk_log_printf(1, "sql_engine::create_tn_validator");
    tk_log_printf(1, "is_old_version(%08X)", version_);
    if (version_ >= 0x040100) return std::make_unique<sql_new_tn_validator>(names1, names2);
    return std::make_unique<sql_old_tn_validator>(names1, names2);
}

std::unique_ptr<udb_validator> sql_engine::create_in_validator(const udb_indexes& indexes) {
    tk_log_printf(1, "sql_engine::create_in_validator");
    tk_log_printf(1, "is_old_version(%08X)", version_);
    if (version_ >= 0x040100) return std::make_unique<sql_new_in_validator>(indexes);
    return std::make_unique<sql_old_in_validator>(indexes);
}

// --- Scope of the BLOB-to-text setting ---

sql_blob_to_text_scope::sql_blob_to_text_scope(bool on) {
    sql_engine& e = sql_engine::instance();
    saved_ = e.is_blob_to_text();
    tk_log_printf(2, "sql_engine::set_blob_to_text(%d)", on);
    e.set_blob_to_text(on);
}

sql_blob_to_text_scope::~sql_blob_to_text_scope() {
    if (sql_engine* e = sql_engine::find()) {
        tk_log_printf(2, "sql_engine::set_blob_to_text(%d)", saved_);
        e->set_blob_to_text(saved_);
    }
}
