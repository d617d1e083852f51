// The engine's connection and session, and its operations on whole databases.
#include <mysql.h>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_side.hpp"
#include "TK/tk_log.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_test_support.hpp"

namespace {

class sql_engine_connection : public sql_server_test {
  protected:
    // A one-value query on the engine's own session.
    std::string session_value(const std::wstring& statement) {
        auto database = open(udb_open_read | udb_open_no_views);
        auto rs = database->query_rs(statement);
        if (!rs || rs->is_eof()) return std::string();
        const udb_record& r = *rs->get_item();
        return r[r.size() - 1].to_string();
    }
};

}  // namespace

TEST_F(sql_engine_connection, sets_up_the_session_and_reads_the_version) {
    REQUIRE_TEST_SERVER();
    ASSERT_TRUE(engine->is_connected());
    unsigned long server = mysql_get_server_version(engine->get_connection());  // 101119
    uint32_t expected = static_cast<uint32_t>(((server / 10000) << 16) |
                                              (((server / 100) % 100) << 8) | (server % 100));
    EXPECT_EQ(engine->get_version(), expected);
    EXPECT_EQ(engine->get_version() >> 16, 10u) << "MariaDB's own version, not 5.5.5";

    // Texts travel whole, characters beyond three bytes too, on the side connection as
    // on the engine's.
    const std::string utf8mb4 =
        "@@character_set_client = 'utf8mb4' AND @@character_set_connection = 'utf8mb4' AND "
        "@@character_set_results = 'utf8mb4'";
    EXPECT_EQ(session_value(pt::utf8_decode("SELECT " + utf8mb4)), "1");
    {
        const auto& s = test_server::get();
        sql_side_connection side(s.host, s.user, s.password, static_cast<int>(s.port));
        side.send_count(wdb, "SELECT " + utf8mb4);
        EXPECT_EQ(side.take_count(), 1u);
    }
    EXPECT_GE(std::stoul(session_value(L"SELECT @@session.wait_timeout")), 28800ul);
    // A read paused by a dialog must not lose the rest of its table.
    EXPECT_GE(std::stoul(session_value(L"SELECT @@session.net_write_timeout")), 28800ul);
    EXPECT_GE(std::stoul(session_value(L"SELECT @@session.net_read_timeout")), 28800ul);
    EXPECT_EQ(session_value(L"SELECT @@session.foreign_key_checks"), "0");

    // Connecting again closes the first session and sets up the new one.
    unsigned long first = mysql_thread_id(engine->get_connection());
    const auto& s = test_server::get();
    engine->connect(s.host, s.user, s.password, static_cast<int>(s.port));
    EXPECT_NE(mysql_thread_id(engine->get_connection()), first);
    EXPECT_EQ(admin->scalar("SELECT COUNT(*) FROM information_schema.processlist WHERE id = " +
                            std::to_string(first)),
              "0");
    EXPECT_GE(std::stoul(session_value(L"SELECT @@session.net_write_timeout")), 28800ul);
    EXPECT_EQ(session_value(L"SELECT @@session.foreign_key_checks"), "0");
}

TEST_F(sql_engine_connection, session_statements_fall_back_skip_what_the_server_lacks_and_check) {
    REQUIRE_TEST_SERVER();
    MYSQL* m = engine->get_connection();
    struct {
        const char *text, *fallback;
        bool may_lack;
        const char *check, *expected;
        const char* ran;  // null: skipped
        unsigned error;   // the sql_exception raised, or 0
    } cases[] = {
        {"SET NAMES utf8mb4", "SET NAMES utf8", false, nullptr, nullptr, "SET NAMES utf8mb4", 0},
        {"SET NAMES no_such_set", "SET NAMES latin1", false, nullptr, nullptr, "SET NAMES latin1",
         0},
        {"SET NAMES no_such_set", nullptr, false, nullptr, nullptr, nullptr, 1115},
        // Only an unknown character set calls for the fallback.
        {"SET no_such_variable = 1", "SET NAMES latin1", false, nullptr, nullptr, nullptr, 1193},
        // Only a variable the statement may lack is skipped; any other failure is one.
        {"SET SESSION no_such_variable = 1", nullptr, true, nullptr, nullptr, nullptr, 0},
        {"SET SESSION sql_select_limit = 'x'", nullptr, true, nullptr, nullptr, nullptr, 1232},
        // A check that reads another value fails the statement that ran.
        {"SET SESSION sql_select_limit = 5", nullptr, false, "SELECT @@session.sql_select_limit",
         "5", "SET SESSION sql_select_limit = 5", 0},
        {"SET SESSION sql_select_limit = 5", nullptr, false, "SELECT @@session.sql_select_limit",
         "6", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + (c.expected ? c.expected : ""));
        const sql_session_statement s{c.text, "",         nullptr, "",        c.fallback,
                                      true,   c.may_lack, c.check, c.expected};
        const bool fails = c.error != 0 || (c.check && !c.ran);
        try {
            const char* ran = sql_run_session_statement(m, s);
            EXPECT_FALSE(fails);
            EXPECT_STREQ(ran, c.ran);
            if (ran && c.fallback) {
                EXPECT_EQ(std::string(mysql_character_set_name(m)), c.ran + 10);
            }
        } catch (const sql_exception& e) {
            EXPECT_TRUE(fails) << e.what();
            EXPECT_EQ(e.error_number(), c.error) << e.what();
            if (c.check) {
                EXPECT_NE(std::string(e.what()).find("gives '5', not '6'"), std::string::npos);
            }
        }
    }
}

TEST_F(sql_engine_connection, a_refused_connection_is_an_sql_exception_and_the_engine_can_retry) {
    REQUIRE_TEST_SERVER();
    const auto& s = test_server::get();
    struct {
        const char* what;
        std::string host, password;
        int port;
        unsigned error;
    } cases[] = {
        {"wrong password", s.host, "wrong", static_cast<int>(s.port), 1045},
        {"nothing listens on the port", "127.0.0.1", s.password, 1, 2002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            engine->connect(c.host, s.user, c.password, c.port);
            ADD_FAILURE() << "connected";
        } catch (const sql_exception& e) {
            EXPECT_EQ(e.error_number(), c.error) << e.what();
            EXPECT_EQ(e.code(), 0x400000u + c.error);
            EXPECT_EQ(e.kind(), 0);
            EXPECT_FALSE(std::string(e.what()).empty());
        }
        EXPECT_FALSE(engine->is_connected());
    }
    // The same handle connects after failures.
    engine->connect(s.host, s.user, s.password, static_cast<int>(s.port));
    EXPECT_TRUE(engine->is_connected());
    EXPECT_EQ(session_value(L"SELECT 6 * 7"), "42");
}

TEST_F(sql_engine_connection, never_writes_a_password_into_the_trace) {
    REQUIRE_TEST_SERVER();
    tmp_dir dir;
    const std::string log_file = dir.file("trace.log");
    {
        tk_logger logger(log_file.c_str(), true, 1, false);
        const auto& s = test_server::get();
        engine->connect(s.host, s.user, s.password, static_cast<int>(s.port));
        EXPECT_THROW(
            engine->connect(s.host, s.user, "Not-The-Password-4711", static_cast<int>(s.port)),
            sql_exception);
    }
    const std::string trace = read_file_bytes(log_file);
    EXPECT_NE(trace.find("sql_engine::connect("), std::string::npos);
    EXPECT_NE(trace.find("***"), std::string::npos);
    EXPECT_EQ(trace.find(test_server::get().password), std::string::npos);
    EXPECT_EQ(trace.find("Not-The-Password-4711"), std::string::npos);
}

TEST_F(sql_engine_connection, creates_lists_tests_and_deletes_databases) {
    REQUIRE_TEST_SERVER();
    const std::string name = make_database("o'b`é");
    const std::wstring wname = pt::utf8_decode(name);
    EXPECT_FALSE(engine->is_db_exist(wname));
    {
        auto created = engine->create_db(wname);
        ASSERT_TRUE(created);
        EXPECT_EQ(created->get_name(), wname);
        EXPECT_TRUE(created->get_table_names().empty());
        auto rs = static_cast<sql_database&>(*created).query_rs(L"SELECT DATABASE()");
        ASSERT_FALSE(rs->is_eof());
        EXPECT_EQ((*rs->get_item())[0].to_wstring(), wname);
    }
    EXPECT_TRUE(engine->is_db_exist(wname));
    EXPECT_EQ(admin->scalar("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA "
                            "WHERE SCHEMA_NAME = " +
                            quote_literal(name)),
              "utf8mb3");
    auto contents = engine->get_contents();
    EXPECT_NE(std::find(contents.begin(), contents.end(), wname), contents.end());
    EXPECT_NE(std::find(contents.begin(), contents.end(), wdb), contents.end());
    EXPECT_THROW(engine->create_db(wname), sql_exception);

    engine->db_delete(wname);
    EXPECT_FALSE(engine->is_db_exist(wname));
    // The session keeps foreign-key checks off after a delete as before it.
    auto database = open(udb_open_read | udb_open_no_views);
    auto rs = database->query_rs(L"SELECT @@session.foreign_key_checks");
    ASSERT_FALSE(rs->is_eof());
    EXPECT_EQ((*rs->get_item())[0].to_string(), "0");
    rs.reset();
    EXPECT_THROW(engine->db_delete(wname), sql_exception);
    EXPECT_THROW(engine->open_db(wname, 1, L""), sql_exception);
}

TEST_F(sql_engine_connection, deletes_only_the_database_it_is_given) {
    REQUIRE_TEST_SERVER();
    auto exists = [&](const std::string& name) {
        const std::string where = "SCHEMA_NAME = " + quote_literal(name);
        return admin->scalar("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE " + where) ==
               "1";
    };
    // 63 characters: a longer name cut to 63 or 64 would name it.
    const std::string base = make_database("cut");
    const std::string other = base + std::string(63 - base.size(), 'x');
    extra_databases.push_back(other);
    admin->exec("CREATE DATABASE " + quote_ident(other));
    // A name the server cannot hold is refused before anything is sent.
    auto sent = [&] {
        return session_value(L"SHOW SESSION STATUS LIKE 'Com_set_option'") + "/" +
               session_value(L"SHOW SESSION STATUS LIKE 'Com_drop_db'");
    };
    const std::string before = sent();
    // Empty, 70 characters beginning with the other's name, and 65.
    for (const std::string& name : {std::string(), other + "1234567", other + "xy"}) {
        try {
            engine->db_delete(pt::utf8_decode(name));
            ADD_FAILURE() << "refused: '" << name << "'";
        } catch (const sql_exception& e) {
            ADD_FAILURE() << "sent to the server: '" << name << "': " << e.what();
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.kind(), 0);
            EXPECT_NE(e.message().find("'" + name + "'"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(sent(), before);
    EXPECT_TRUE(exists(other));

    // A name that looks quoted is a database of its own.
    const std::string plain = make_database("audq");
    const std::string quoted = "`" + plain + "`";
    extra_databases.push_back(quoted);
    admin->exec("CREATE DATABASE " + quote_ident(plain));
    admin->exec("CREATE DATABASE " + quote_ident(quoted));
    engine->db_delete(pt::utf8_decode(quoted));
    EXPECT_FALSE(exists(quoted));
    EXPECT_TRUE(exists(plain));
}

TEST_F(sql_engine_connection, asks_for_the_largest_packet_once) {
    REQUIRE_TEST_SERVER();
    const std::string before = admin->scalar("SELECT @@global.max_allowed_packet");
    EXPECT_EQ(engine->get_max_allowed_packet(), std::stoul(before));
    auto database = open(udb_open_read | udb_open_no_views);
    auto count = [&] {
        auto rs = database->query_rs(L"SHOW SESSION STATUS LIKE 'Com_show_variables'");
        return rs->is_eof() ? std::string() : (*rs->get_item())[1].to_string();
    };
    const std::string asked = count();
    EXPECT_EQ(engine->get_max_allowed_packet(), std::stoul(before));
    EXPECT_EQ(count(), asked);

    sql_engine unconnected;
    EXPECT_EQ(unconnected.get_max_allowed_packet(), 0u);
}

TEST_F(sql_engine_connection, takes_only_plain_words_from_the_properties) {
    REQUIRE_TEST_SERVER();
    sql_properties p{{L"engine", L"MyISAM"}, {L"character set", L"latin1"}};
    engine->set_properties(&p);
    EXPECT_EQ(engine->get_table_type(), L"MyISAM");
    EXPECT_EQ(engine->get_charset(), L"latin1");
    sql_properties unsafe{{L"engine", L"InnoDB; DROP DATABASE x"}, {L"character set", L"x y"}};
    engine->set_properties(&unsafe);
    EXPECT_EQ(engine->get_table_type(), L"InnoDB");
    EXPECT_EQ(engine->get_charset(), L"latin1");
    engine->set_properties(nullptr);
    EXPECT_EQ(engine->get_table_type(), L"InnoDB");
}
