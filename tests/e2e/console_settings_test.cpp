// Server-wide settings that would cut what a run reads: each is set globally, on a
// server of this program's own (they reach every new session of the server), and a run
// still converts every current row of every table, value for value.
#include <gtest/gtest.h>
#include <mysql.h>

#include <map>
#include <sstream>

#include "tests/e2e/e2e_support.hpp"
#include "tests/support/server_db.hpp"
#include "tests/support/test_support.hpp"

namespace {

// A connection of the test account that holds rows it has written and not committed.
class uncommitted_rows {
  public:
    uncommitted_rows(const std::string& database, const std::string& insert) {
        const test_server& s = test_server::get();
        m_ = mysql_init(nullptr);
        if (!mysql_real_connect(m_, s.host.c_str(), s.user.c_str(), s.password.c_str(),
                                database.c_str(), s.port, nullptr, 0) ||
            mysql_query(m_, "START TRANSACTION") != 0 || mysql_query(m_, insert.c_str()) != 0)
            ADD_FAILURE() << mysql_error(m_);
    }
    ~uncommitted_rows() {
        mysql_query(m_, "ROLLBACK");
        mysql_close(m_);
    }
    uncommitted_rows(const uncommitted_rows&) = delete;
    uncommitted_rows& operator=(const uncommitted_rows&) = delete;

  private:
    MYSQL* m_;
};

// What a table holds as the reader gives it back: the listed columns of each row,
// joined with '|'.
std::vector<std::string> joined(const std::vector<sql_row>& rows) {
    std::vector<std::string> out;
    for (const sql_row& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) line += (i ? "|" : "") + row[i].value_or("NULL");
        out.push_back(line);
    }
    return out;
}

// The first `n` values of each record.
std::vector<std::string> first_values(const std::vector<std::string>& records, size_t n) {
    std::vector<std::string> out;
    for (const std::string& record : records) {
        size_t end = 0;
        for (size_t k = 0; k < n && end != std::string::npos; ++k)
            end = record.find('|', end + (k ? 1 : 0));
        out.push_back(record.substr(0, end));
    }
    return out;
}

}  // namespace

TEST(console_settings, no_server_wide_setting_cuts_a_table_or_the_table_list) {
    REQUIRE_TEST_SERVER();
    scratch_db db("e2e_globals");
    // More rows than the socket buffers hold: the server is still sending them when a
    // statement time limit runs out.
    db.exec(
        "CREATE TABLE big (id INT PRIMARY KEY, s VARCHAR(1000));"
        "INSERT INTO big SELECT seq, LPAD(seq, 1000, 'x') FROM seq_1_to_20000;"
        "CREATE TABLE pad (id INT PRIMARY KEY, s VARCHAR(20), c CHAR(100), k CHAR(5));"
        "INSERT INTO pad VALUES (1, 'a', 'memo', 'ab'), (2, 'b', 'c  d', 'x');"
        "CREATE TABLE vers (id INT PRIMARY KEY, s VARCHAR(20)) WITH SYSTEM VERSIONING;"
        "INSERT INTO vers VALUES (1, 'one'), (2, 'two'), (3, 'three');"
        "UPDATE vers SET s = 'TWO' WHERE id = 2; DELETE FROM vers WHERE id = 3");
    for (int i = 1; i <= 6; ++i)
        db.exec("CREATE TABLE t" + std::to_string(i) + " (id INT PRIMARY KEY, s VARCHAR(20));" +
                "INSERT INTO t" + std::to_string(i) + " VALUES (1, 'a'), (2, 'b')");
    // What every run must give, read before any setting changes: the table, its columns.
    const std::map<std::string, std::string> tables = {
        {"big", "id, s"}, {"pad", "id, s, c, k"}, {"t1", "id, s"},
        {"t2", "id, s"},  {"t3", "id, s"},        {"t4", "id, s"},
        {"t5", "id, s"},  {"t6", "id, s"},        {"vers", "id, s"}};
    std::map<std::string, std::vector<std::string>> expected;
    std::string lines = "Converting database " + db.name() + "(9 tables)\n";
    for (const auto& [table, columns] : tables) {
        expected[table] = joined(db.rows("SELECT " + columns + " FROM " + table + " ORDER BY id"));
        lines += "Converting table " + table + "(" + std::to_string(expected[table].size()) +
                 " records)\n";
    }
    ASSERT_EQ(expected["vers"], (std::vector<std::string>{"1|one", "2|TWO"}));
    ASSERT_EQ(expected["pad"][1], "2|b|c  d|x");

    struct {
        const char* set;
        const char* reset;
        bool uncommitted;  // another session holds rows of t1 it has not committed
    } cases[] = {
        // Cuts the table, the table list, and (0) the count taken aside for big.
        {"SET GLOBAL sql_select_limit = 1000", "SET GLOBAL sql_select_limit = DEFAULT", false},
        {"SET GLOBAL sql_select_limit = 3", "SET GLOBAL sql_select_limit = DEFAULT", false},
        {"SET GLOBAL sql_select_limit = 0", "SET GLOBAL sql_select_limit = DEFAULT", false},
        {"SET GLOBAL max_join_size = 1000", "SET GLOBAL max_join_size = DEFAULT", false},
        {"SET GLOBAL system_versioning_asof = '2000-01-01'",
         "SET GLOBAL system_versioning_asof = DEFAULT", false},
        {"SET GLOBAL max_statement_time = 0.05", "SET GLOBAL max_statement_time = DEFAULT", false},
        {"SET GLOBAL sql_mode = CONCAT(@@GLOBAL.sql_mode, ',PAD_CHAR_TO_FULL_LENGTH')",
         "SET GLOBAL sql_mode = DEFAULT", false},
        // Rows a transaction may still take back are none of the table's.
        {"SET GLOBAL TRANSACTION ISOLATION LEVEL READ UNCOMMITTED",
         "SET GLOBAL TRANSACTION ISOLATION LEVEL REPEATABLE READ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        db.exec(c.set);
        run_result r;
        {
            std::unique_ptr<uncommitted_rows> held;
            if (c.uncommitted)
                held = std::make_unique<uncommitted_rows>(
                    db.name(), "INSERT INTO t1 VALUES (3, 'c'), (4, 'd')");
            tmp_dir d;
            r = run_talvorin(with_server({"--src=" + db.name(), "--dest=" + d.file("out")}));
            for (const auto& [table, columns] : tables) {
                SCOPED_TRACE(table);
                const dbf_read t = read_dbf(d.file("out/" + table + ".dbf"));
                EXPECT_EQ(t.error, "");
                EXPECT_EQ(t.records, static_cast<long>(expected[table].size()));
                const size_t n =
                    static_cast<size_t>(std::count(columns.begin(), columns.end(), ',')) + 1;
                EXPECT_EQ(first_values(t.rows, n), expected[table]);
            }
        }
        db.exec(c.reset);
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(r.out, lines);
        EXPECT_EQ(r.err, "");
    }
}
