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

const char* const all_types_table = R"(CREATE TABLE all_types (
  id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  i8 TINYINT, u8 TINYINT UNSIGNED, i16 SMALLINT, u16 SMALLINT UNSIGNED,
  i24 MEDIUMINT, u24 MEDIUMINT UNSIGNED, i32 INT, u32 INT UNSIGNED,
  i64 BIGINT, u64 BIGINT UNSIGNED,
  d10_2 DECIMAL(10,2), d10_2u DECIMAL(10,2) UNSIGNED, d10_0 DECIMAL(10,0), d65_30 DECIMAL(65,30),
  f FLOAT, f10_2 FLOAT(10,2), dbl DOUBLE,
  b1 BIT(1), b16 BIT(16), b64 BIT(64),
  c10 CHAR(10), vc VARCHAR(100), tx TEXT,
  vcbin VARCHAR(100) COLLATE utf8mb4_bin, txbin TEXT COLLATE utf8mb4_bin,
  bn4 BINARY(4), vbn VARBINARY(20), bl BLOB, lbl LONGBLOB,
  dt DATE, dtm DATETIME(6), tm TIME, tm6 TIME(6),
  ts TIMESTAMP NULL DEFAULT NULL,
  tsc TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP,
  tsc6 TIMESTAMP(6) NULL DEFAULT current_timestamp(6),
  yr YEAR, en ENUM('a','b','ç'), st SET('x','y','z'), js JSON, geo GEOMETRY,
  uu UUID, ip INET6,
  hid INT INVISIBLE DEFAULT 7
) CHARACTER SET utf8mb4)";

const char* const all_types_rows[4] = {
    R"(INSERT INTO all_types (i8,u8,i16,u16,i24,u24,i32,u32,i64,u64,d10_2,d10_2u,d10_0,d65_30,
       f,f10_2,dbl,b1,b16,b64,c10,vc,tx,vcbin,txbin,bn4,vbn,bl,lbl,dt,dtm,tm,tm6,ts,yr,en,st,js,
       geo,uu,ip) VALUES (-128,255,-32768,65535,-8388608,16777215,-2147483648,4294967295,
       -9223372036854775808,18446744073709551615,-12345678.90,12345678.90,-1234567890,
       '-12345678901234567890123456789012345.123456789012345678901234567890',
       3.5,1234.56,-1.2345678901234567e300,b'1',b'0000000000000001',0xFFFFFFFFFFFFFFFF,
       'ñandú','Grüße, 世界','nul\0here','Zoë','bin text',0x00FF0010,0x0000AB00,0x00010203FF,
       REPEAT(0x00AB,50000),'2024-02-29','2024-01-15 10:20:30.123456','838:59:59',
       '-01:00:00.5','2024-03-01 12:00:00',2024,'ç','x,z','{"k": [1, "é"]}',
       ST_GeomFromText('POINT(1 2)'),'123e4567-e89b-12d3-a456-426614174000','::1'))",
    "INSERT INTO all_types () VALUES ()",
    R"(INSERT INTO all_types (dt,dtm,tm,tm6,yr) VALUES
       ('2024-00-15','0000-00-00 00:00:00','12:34:56','23:59:59.999999',0))",
    R"(INSERT INTO all_types (dt,dtm,b1,b16,d65_30,i64,u64,vc) VALUES
       ('0000-00-00','2024-01-15 00:00:00',b'0',b'1000000000000000',
        '0.000000000000000000000000000001',9223372036854775807,0,'a😀b'))",
};
