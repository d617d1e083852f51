#include "tests/support/server_db.hpp"

#include <mysql.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "tests/support/test_support.hpp"

scratch_db::scratch_db(const std::string& prefix) {
    static std::atomic<int> counter{0};
    name_ = prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    const test_server& s = test_server::get();
    connection_ = mysql_init(nullptr);
    if (!mysql_real_connect(connection_, s.host.c_str(), s.user.c_str(), s.password.c_str(),
                            nullptr, s.port, nullptr, CLIENT_MULTI_STATEMENTS))
        throw std::runtime_error(std::string("test server: ") + mysql_error(connection_));
    exec("SET NAMES utf8mb4; DROP DATABASE IF EXISTS `" + name_ + "`; CREATE DATABASE `" + name_ +
         "` CHARACTER SET utf8mb4; USE `" + name_ + "`");
}

scratch_db::~scratch_db() {
    if (mysql_query(connection_, ("DROP DATABASE IF EXISTS `" + name_ + "`").c_str()) == 0) {
        if (MYSQL_RES* r = mysql_store_result(connection_)) mysql_free_result(r);
    }
    mysql_close(connection_);
}

void scratch_db::exec(const std::string& statements) {
    if (mysql_query(connection_, statements.c_str()) != 0)
        throw std::runtime_error(mysql_error(connection_) + std::string(" in: ") + statements);
    int status = 0;
    do {
        if (MYSQL_RES* r = mysql_store_result(connection_)) mysql_free_result(r);
        status = mysql_next_result(connection_);
        if (status > 0)
            throw std::runtime_error(mysql_error(connection_) + std::string(" in: ") + statements);
    } while (status == 0);
}

std::vector<sql_row> scratch_db::rows(const std::string& query) {
    if (mysql_query(connection_, query.c_str()) != 0)
        throw std::runtime_error(mysql_error(connection_) + std::string(" in: ") + query);
    MYSQL_RES* r = mysql_store_result(connection_);
    std::vector<sql_row> out;
    if (!r) return out;
    unsigned n = mysql_num_fields(r);
    while (MYSQL_ROW row = mysql_fetch_row(r)) {
        unsigned long* lengths = mysql_fetch_lengths(r);
        sql_row values;
        for (unsigned i = 0; i < n; ++i) {
            if (row[i])
                values.emplace_back(std::string(row[i], lengths[i]));
            else
                values.emplace_back(std::nullopt);
        }
        out.push_back(std::move(values));
    }
    mysql_free_result(r);
    return out;
}
