#include "tests/SQL/sql_test_support.hpp"

#include <unistd.h>

#include <atomic>

#include "platform/text.hpp"

admin_connection::admin_connection() {
    const auto& s = test_server::get();
    if (!s.available) return;
    m_ = mysql_init(nullptr);
    unsigned timeout = 10;
    mysql_options(m_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    if (!mysql_real_connect(m_, s.host.c_str(), s.user.c_str(), s.password.c_str(), nullptr, s.port,
                            nullptr, 0)) {
        ADD_FAILURE() << "admin connection: " << mysql_error(m_);
        return;
    }
    mysql_query(m_, "SET NAMES utf8mb4");
    mysql_query(m_, "SET SESSION sql_mode=''");
    ok_ = true;
}

admin_connection::~admin_connection() {
    if (m_) mysql_close(m_);
}

void admin_connection::exec(const std::string& statement) {
    if (mysql_query(m_, statement.c_str()) != 0) {
        ADD_FAILURE() << "statement failed: " << statement << "\n" << mysql_error(m_);
        return;
    }
    if (MYSQL_RES* r = mysql_store_result(m_)) mysql_free_result(r);
}

std::vector<std::vector<std::string>> admin_connection::rows(const std::string& statement) {
    std::vector<std::vector<std::string>> out;
    if (mysql_query(m_, statement.c_str()) != 0) {
        ADD_FAILURE() << "statement failed: " << statement << "\n" << mysql_error(m_);
        return out;
    }
    MYSQL_RES* r = mysql_store_result(m_);
    if (!r) return out;
    unsigned n = mysql_num_fields(r);
    while (MYSQL_ROW row = mysql_fetch_row(r)) {
        unsigned long* len = mysql_fetch_lengths(r);
        std::vector<std::string> cells;
        for (unsigned i = 0; i < n; ++i)
            cells.push_back(row[i] ? std::string(row[i], len[i]) : std::string("<NULL>"));
        out.push_back(std::move(cells));
    }
    mysql_free_result(r);
    return out;
}

std::string admin_connection::scalar(const std::string& statement) {
    auto r = rows(statement);
    if (r.empty() || r[0].empty()) return std::string();
    return r[0][0] == "<NULL>" ? "NULL" : r[0][0];
}

std::string unique_name(const std::string& tag) {
    static std::atomic<int> counter{0};
    return "tv_" + tag + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

std::string quote_ident(const std::string& name) {
    std::string out = "`";
    for (char c : name) {
        if (c == '`') out.push_back('`');
        out.push_back(c);
    }
    return out + "`";
}

void sql_server_test::SetUp() {
    if (!test_server::get().available) return;
    admin = std::make_unique<admin_connection>();
    ASSERT_TRUE(admin->ok());
    engine = std::make_unique<sql_engine>();
    const auto& s = test_server::get();
    engine->connect(s.host, s.user, s.password, static_cast<int>(s.port));
    db = unique_name("db");
    wdb = pt::utf8_decode(db);
    admin->exec("CREATE DATABASE " + quote_ident(db) + " CHARACTER SET utf8mb4");
}

void sql_server_test::TearDown() {
    if (!admin) return;
    engine.reset();
    admin->exec("DROP DATABASE IF EXISTS " + quote_ident(db));
    for (const auto& d : extra_databases) admin->exec("DROP DATABASE IF EXISTS " + quote_ident(d));
}

std::unique_ptr<sql_database> sql_server_test::open(int32_t mode) {
    auto base = engine->open_db(wdb, mode, std::wstring());
    return std::unique_ptr<sql_database>(static_cast<sql_database*>(base.release()));
}

std::string sql_server_test::make_database(const std::string& tag) {
    std::string name = unique_name(tag);
    extra_databases.push_back(name);
    return name;
}

std::string quote_literal(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "'";
}
