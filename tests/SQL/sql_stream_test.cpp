// Reading rows: every row once, to the end of the stream and not to a count taken
// before, and a broken stream never passed off as the end of a table.
#include <mysql.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_limq.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_tab.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_test_support.hpp"

namespace {

class sql_stream : public sql_server_test {
  protected:
    void use_db() { admin->exec("USE " + quote_ident(db)); }
    // A table of n rows: id 1..n and a text of `width` characters.
    void make_table(const std::string& name, int n, int width = 10) {
        admin->exec("CREATE TABLE " + name + " (id INT PRIMARY KEY, s VARCHAR(2000))");
        if (n > 0)
            admin->exec("INSERT INTO " + name + " SELECT seq, REPEAT('x', " +
                        std::to_string(width) + ") FROM seq_1_to_" + std::to_string(n));
    }
    // The ids of every record up to the end, checking that none is missing.
    static std::vector<int> ids(udb_recordset& t) {
        std::vector<int> out;
        for (t.reset(); !t.is_eof(); t.next()) {
            udb_record* r = t.get_item();
            EXPECT_NE(r, nullptr);
            if (!r) break;
            out.push_back((*r)[0].to_long());
        }
        return out;
    }
    uint64_t bytes_sent(sql_database& database) {
        auto rs = database.query_rs(L"SHOW SESSION STATUS LIKE 'Bytes_sent'");
        return std::stoull((*rs->get_item())[1].to_string());
    }
};

// The threads of this process as the kernel lists them.
size_t threads_now() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

std::vector<int> one_to(int n) {
    std::vector<int> v;
    for (int i = 1; i <= n; ++i) v.push_back(i);
    return v;
}

}  // namespace

TEST_F(sql_stream, every_row_is_read_once_whatever_the_count) {
    REQUIRE_TEST_SERVER();
    use_db();
    const int sizes[] = {0, 1, 255, 256, 257, 512, 600};
    for (int n : sizes) make_table("t" + std::to_string(n), n);
    auto database = open();
    for (int n : sizes) {
        SCOPED_TRACE(n);
        auto t = database->get_table(pt::utf8_decode("t" + std::to_string(n)), 1);
        EXPECT_EQ(t->get_rec_count(), static_cast<uint64_t>(n));
        EXPECT_EQ(ids(*t), one_to(n));
        EXPECT_TRUE(t->is_eof());
        EXPECT_EQ(t->get_item(), nullptr);
        t->next();  // past the end: nothing happens
        EXPECT_TRUE(t->is_eof());
        // A second pass reads the table again from its first row.
        EXPECT_EQ(ids(*t), one_to(n));
        if (n >= 2) {
            // prev stays inside the block it is in.
            t->reset();
            t->prev();
            EXPECT_EQ((*t->get_item())[0].to_long(), 1);
            t->next();
            t->prev();
            EXPECT_EQ((*t->get_item())[0].to_long(), 1);
        }
    }
}

// Read ahead by the reader thread, in blocks of 256 rows or fewer when large rows fill
// them early: every row once, in order, with its own values, never one of an earlier
// row that the reused record held.
TEST_F(sql_stream, rows_of_many_blocks_arrive_complete_and_in_order) {
    REQUIRE_TEST_SERVER();
    use_db();
    admin->exec("CREATE TABLE many (id INT PRIMARY KEY, s MEDIUMTEXT, n BIGINT)");
    admin->exec(
        "INSERT INTO many SELECT seq, IF(seq % 7 = 0, NULL, REPEAT(CHAR(65 + seq % 26), "
        "IF(seq BETWEEN 1000 AND 1100, 300000, seq % 50))), IF(seq % 5 = 0, NULL, seq * 3) "
        "FROM seq_1_to_3000");
    auto database = open();
    auto t = database->get_table(L"many", 1);
    int id = 0;
    for (t->reset(); !t->is_eof(); t->next()) {
        ++id;
        udb_record* r = t->get_item();
        ASSERT_NE(r, nullptr);
        ASSERT_EQ((*r)[0].to_long(), id);
        const size_t width = id >= 1000 && id <= 1100 ? 300000 : id % 50;
        if (id % 7 == 0) {
            ASSERT_EQ((*r)[1].get_type(), VT_EMPTY) << id;
        } else {
            ASSERT_EQ((*r)[1].get_type(), VT_BSTR) << id;
            ASSERT_EQ(*(*r)[1].get_bstr(), std::wstring(width, L'A' + id % 26)) << id;
        }
        if (id % 5 == 0)
            ASSERT_EQ((*r)[2].get_type(), VT_EMPTY) << id;
        else
            ASSERT_EQ((*r)[2].to_string(), std::to_string(id * 3)) << id;
    }
    EXPECT_EQ(id, 3000);
}

TEST(sql_stream_threads, reader_and_decode_helpers_by_the_cpus_the_process_may_run_on) {
    const struct {
        size_t cpus;
        bool reader;
        size_t helpers;
    } cases[] = {{1, false, 0}, {2, true, 1},  {3, true, 2},
                 {4, true, 3},  {64, true, 3}, {0, true, 3}};  // 0: not known
    for (const auto& c : cases) {
        EXPECT_EQ(sql_reads_ahead(c.cpus), c.reader) << c.cpus;
        EXPECT_EQ(sql_decode_helpers(c.cpus), c.helpers) << c.cpus;
    }
}

// A long stream starts its reader and as many decode helpers as its CPUs can run beside
// the caller: on one CPU none of them. Every row arrives, in order, whichever thread
// decoded it.
TEST_F(sql_stream, a_long_stream_starts_the_threads_its_cpus_can_run) {
    REQUIRE_TEST_SERVER();
    use_db();
    make_table("lengthy", 3000);
    auto database = open();
    const size_t idle = threads_now();
    for (size_t cpus : {size_t{1}, size_t{2}, on_cpus::available()}) {
        if (cpus > on_cpus::available()) continue;
        SCOPED_TRACE(cpus);
        on_cpus pinned(cpus);
        // The threads of the last stream may take a moment to leave the kernel's list.
        for (int i = 0; i < 500 && threads_now() != idle; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(threads_now(), idle);
        sql_limited_query q(*database, L"lengthy", false);
        sql_block block;
        std::vector<int> ids;
        for (size_t n, k = 1; (n = q.store_to(block, nullptr)) > 0; ++k) {
            for (size_t i = 0; i < n; ++i) ids.push_back((*block[i])[0].to_long());
            // From the third block on, the helpers decode.
            if (k == 3) {
                EXPECT_EQ(threads_now() - idle,
                          (sql_reads_ahead(cpus) ? 1 : 0) + sql_decode_helpers(cpus));
            }
        }
        EXPECT_EQ(ids, one_to(3000));
    }
}

// A stop ends the table object in the middle of its rows: the reader is joined, the rest
// of the stream read off, and the connection serves the next statement.
TEST_F(sql_stream, a_table_left_in_the_middle_frees_its_connection) {
    REQUIRE_TEST_SERVER();
    use_db();
    make_table("halfway", 20000, 1000);
    make_table("next", 3);
    auto database = open();
    for (int rows : {0, 1, 1000}) {
        SCOPED_TRACE(rows);
        auto t = database->get_table(L"halfway", 1);
        t->reset();
        for (int i = 0; i < rows && !t->is_eof(); ++i) t->next();
        t.reset();
        EXPECT_EQ(ids(*database->get_table(L"next", 1)), one_to(3));
    }
}

// The count of a table longer than one block is taken on the side connection while the
// rows stream: it arrives whole; a count nobody waits for, one that does not come, or
// one whose query or connection is killed, never hangs, never costs a row, and never
// keeps the next table from being counted; a lost stream is an error of the rows alone.
TEST_F(sql_stream, rows_counted_aside_while_they_stream) {
    REQUIRE_TEST_SERVER();
    use_db();
    make_table("big", 3000, 200);  // a dozen blocks
    make_table("small", 3);
    engine->set_count_aside(true);
    auto database = open();
    const std::string main_id = std::to_string(mysql_thread_id(engine->get_connection()));
    // The side connection: the one of this database that is neither the engine's nor
    // the test's own, doing what `what` says; waits for it to be alone.
    auto side_id = [&](const std::string& what) {
        for (int i = 0; i < 500; ++i) {
            const auto rows = admin->rows(
                "SELECT id FROM information_schema.processlist WHERE db = " + quote_literal(db) +
                " AND id NOT IN (" + main_id + ", CONNECTION_ID()) AND " + what);
            if (rows.size() == 1) return rows[0][0];
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "no side connection doing " << what;
        return std::string("0");
    };
    // Slow to count on the side only: there each row takes 5 seconds.
    const std::wstring slow = L"SELECT id FROM big WHERE CONNECTION_ID() = " +
                              pt::utf8_decode(main_id) + L" OR SLEEP(5) = 0";
    enum way {
        waited,
        read_first,
        left_behind,
        idle_killed,
        query_killed,
        silent,
        killed,
        rows_lost
    };
    struct row {
        way w;
        const char* kill;  // what meets the side connection, if anything
        bool count_fails;
    };
    const row rows[] = {
        {waited, nullptr, false},
        {read_first, nullptr, false},
        {idle_killed, "KILL ", false},  // the connection that counted for read_first
        {left_behind, nullptr, false},
        {query_killed, "KILL QUERY ", true},
        {silent, nullptr, true},  // still counting when waited for
        {killed, "KILL ", true},
        {rows_lost, nullptr, false},  // last: the engine's connection is gone after it
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.w);
        if (r.w == idle_killed) admin->exec(r.kill + side_id("command = 'Sleep'"));
        const bool slowly = r.w == query_killed || r.w == silent || r.w == killed;
        auto t = slowly ? database->get_query(L"slow", slow) : database->get_table(L"big", 1);
        EXPECT_FALSE(t->is_rec_count_known());
        if (r.w == rows_lost) {
            admin->exec("KILL " + main_id);
            try {
                ids(*t);
                ADD_FAILURE() << "the rows of a killed connection were read";
            } catch (const sql_exception& e) {
                EXPECT_TRUE(e.connection_lost()) << e.what();
                EXPECT_FALSE(e.on_side_connection()) << e.what();
            }
            EXPECT_TRUE(t->wait_rec_count(std::chrono::seconds(30)));
            EXPECT_EQ(t->get_rec_count(), 3000u);
            break;
        }
        if (r.w == waited) {
            // Before the rows: counted on the engine's connection, however long it takes.
            EXPECT_TRUE(t->wait_rec_count(std::chrono::milliseconds(0)));
            EXPECT_EQ(t->get_rec_count(), 3000u);
        } else {
            t->is_eof();  // the first block: the count goes aside
        }
        if (r.w == left_behind) {
            t.reset();
        } else {
            if (r.kill && slowly) admin->exec(r.kill + side_id("info LIKE 'SELECT COUNT(*)%'"));
            EXPECT_EQ(ids(*t), one_to(3000));
            const auto patience =
                r.w == silent ? std::chrono::milliseconds(200) : std::chrono::seconds(30);
            const auto asked = std::chrono::steady_clock::now();
            EXPECT_EQ(t->wait_rec_count(patience), !r.count_fails);
            EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(20));
            if (!r.count_fails) {
                EXPECT_EQ(t->get_rec_count(), 3000u);
            }
            // The server would go on counting for hours.
            if (r.w == silent) admin->exec("KILL " + side_id("info LIKE 'SELECT COUNT(*)%'"));
        }
        // One block: counted on the engine's connection once its rows are in.
        auto next = database->get_table(L"small", 1);
        EXPECT_EQ(ids(*next), one_to(3));
        EXPECT_TRUE(next->is_rec_count_known());
        EXPECT_EQ(next->get_rec_count(), 3u);
    }
}

TEST_F(sql_stream, rows_added_or_deleted_after_the_count_are_read_as_they_are) {
    REQUIRE_TEST_SERVER();
    use_db();
    make_table("moving", 300);
    auto database = open();
    auto t = database->get_table(L"moving", 1);
    EXPECT_EQ(t->get_rec_count(), 300u);
    admin->exec("DELETE FROM moving WHERE id BETWEEN 11 AND 20");
    admin->exec("INSERT INTO moving SELECT seq, 'new' FROM seq_301_to_320");
    std::vector<int> expected;
    for (int i = 1; i <= 320; ++i)
        if (i < 11 || i > 20) expected.push_back(i);
    EXPECT_EQ(ids(*t), expected);
}

TEST_F(sql_stream, a_statement_and_a_long_listing) {
    REQUIRE_TEST_SERVER();
    auto database = open();
    auto q = database->get_query(L"doubles", L"SELECT seq * 2 AS x FROM seq_1_to_10");
    EXPECT_TRUE(q->is_query());
    EXPECT_EQ(q->get_rec_count(), 10u);
    std::vector<int> expected;
    for (int i = 1; i <= 10; ++i) expected.push_back(2 * i);
    EXPECT_EQ(ids(*q), expected);

    // A finished result walks in blocks of 1000; reset returns to the block's start.
    auto rs = database->query_rs(L"SELECT seq FROM seq_1_to_2500");
    rs->reset();
    int n = 0;
    bool went_back = false;
    while (!rs->is_eof()) {
        ++n;
        EXPECT_EQ((*rs->get_item())[0].to_long(), n);
        rs->next();
        if (n == 1200 && !went_back) {
            went_back = true;
            rs->reset();
            ASSERT_FALSE(rs->is_eof());
            EXPECT_EQ((*rs->get_item())[0].to_long(), 1001);
            n = 1000;
        }
    }
    EXPECT_EQ(n, 2500);
    EXPECT_TRUE(rs->is_eof());
}

TEST_F(sql_stream, a_killed_connection_is_an_error_never_a_short_table) {
    REQUIRE_TEST_SERVER();
    use_db();
    // Far more than the socket buffers hold, so the server is still sending.
    make_table("big", 20000, 1000);
    auto database = open();
    auto t = database->get_table(L"big", 1);
    t->reset();
    int read = 0;
    for (; read < 300 && !t->is_eof(); ++read) t->next();
    admin->exec("KILL " + std::to_string(mysql_thread_id(engine->get_connection())));
    bool failed = false;
    try {
        while (!t->is_eof()) {
            t->next();
            ++read;
        }
    } catch (const sql_exception& e) {
        failed = true;
        EXPECT_NE(e.error_number(), 0u) << e.what();
    }
    EXPECT_TRUE(failed) << "the table ended after " << read << " rows";
    EXPECT_LT(read, 20000);
    // It stays broken.
    EXPECT_THROW(t->is_eof(), sql_exception);
}

TEST_F(sql_stream, a_stream_the_server_gave_up_on_is_an_error) {
    REQUIRE_TEST_SERVER();
    use_db();
    make_table("slow", 20000, 1000);
    auto database = open();
    // What a pause (a dialog on screen) would meet with the server's short default,
    // which the engine raises at connect.
    ASSERT_TRUE(database->query(L"SET SESSION net_write_timeout = 1", udb_no_result));
    auto t = database->get_table(L"slow", 1);
    t->reset();
    t->next();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    size_t read = 1;
    try {
        while (!t->is_eof()) {
            t->next();
            ++read;
        }
        ADD_FAILURE() << "the table ended after " << read << " rows";
    } catch (const sql_exception& e) {
        EXPECT_LT(read, 20000u);
        EXPECT_NE(e.error_number(), 0u);
    }
}

TEST_F(sql_stream, a_table_travels_once) {
    REQUIRE_TEST_SERVER();
    use_db();
    make_table("once", 2000, 1000);
    auto database = open();
    const uint64_t before = bytes_sent(*database);
    auto t = database->get_table(L"once", 1);
    // Looking at the first row before reset starts the pass that reset then keeps.
    ASSERT_FALSE(t->is_eof());
    EXPECT_EQ((*t->get_item())[0].to_long(), 1);
    EXPECT_EQ(ids(*t).size(), 2000u);
    t.reset();
    const uint64_t sent = bytes_sent(*database) - before;
    const uint64_t table = 2000u * 1000u;
    EXPECT_GT(sent, table);
    EXPECT_LT(sent, table + table / 4) << "about one table's worth, not two";
}

TEST_F(sql_stream, the_last_auto_number_and_geometry_through_text) {
    REQUIRE_TEST_SERVER();
    use_db();
    admin->exec("CREATE TABLE big_auto (id BIGINT UNSIGNED AUTO_INCREMENT PRIMARY KEY, a INT)");
    admin->exec("INSERT INTO big_auto VALUES (5000000000, 1)");
    admin->exec("CREATE TABLE empty_auto (id INT AUTO_INCREMENT PRIMARY KEY)");
    admin->exec("CREATE TABLE `geo``t` (a INT, g GEOMETRY)");
    admin->exec("INSERT INTO `geo``t` VALUES (1, ST_GeomFromText('LINESTRING(0 0,1 1)'))");
    auto database = open();
    EXPECT_EQ(database->get_table(L"big_auto", 1)->get_schema().auto_num_value, 5000000000);
    EXPECT_EQ(database->get_table(L"empty_auto", 1)->get_schema().auto_num_value, 0);

    auto geo = database->get_table(L"geo`t", 1);
    EXPECT_TRUE(geo->is_query());
    EXPECT_EQ(geo->get_query_text(), L"SELECT `a`,ST_AsText(`g`) as `g` FROM `geo``t`");
    EXPECT_EQ(geo->get_rec_count(), 1u);
    geo->reset();
    ASSERT_FALSE(geo->is_eof());
    EXPECT_EQ((*geo->get_item())[1].to_wstring(), L"LINESTRING(0 0,1 1)");
    EXPECT_EQ((*geo->get_item())[1].get_name(), L"g");
}

TEST_F(sql_stream,
       a_table_altered_before_its_rows_are_read_is_an_error_not_values_in_other_fields) {
    REQUIRE_TEST_SERVER();
    use_db();
    struct {
        const char* columns;  // of the table, with one row (a date, an integer and text)
        const char* alter;    // between the schema's reading and the rows'
        const char* error;    // what the table's error says; null: the rows read well
    } cases[] = {
        {"a DATE, b INT, s VARCHAR(5)", "MODIFY a DATE AFTER b", "column 1 is 'b' now, 'a' before"},
        {"a DATE, b INT, s VARCHAR(5)", "MODIFY b VARCHAR(20)", "column 'b' has another type now"},
        {"a DATE, b INT, s VARCHAR(5)", "MODIFY b INT UNSIGNED", "column 'b' has another type now"},
        {"a DATE, b INT, s VARCHAR(5)", "MODIFY s VARCHAR(9)", "column 's' has another type now"},
        // As long as VARCHAR(5) in utf8mb4, but bytes.
        {"a DATE, b INT, s VARCHAR(5)", "MODIFY s VARBINARY(20)",
         "column 's' has another type now"},
        {"a DATE, b INT, s VARCHAR(5)", "ADD c INT", "its column count is 4 now, 3 before"},
        {"a DATE, b INT, s VARCHAR(5)", "DROP b", "its column count is 2 now, 3 before"},
        // Nothing the rows' columns show.
        {"a DATE, b INT, s VARCHAR(5)", "ADD INDEX (b)", nullptr},
        // Columns the rows' statement names keep their places (a FLOAT is named).
        {"a DATE, b INT, s VARCHAR(5), f FLOAT", "MODIFY a DATE AFTER s", nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.columns) + " / " + c.alter);
        const std::string table = "altered" + std::to_string(n++);
        const bool with_float = std::string(c.columns).find(" f ") != std::string::npos;
        admin->exec("CREATE TABLE " + table + " (" + c.columns + ")");
        admin->exec("INSERT INTO " + table + " (a, b, s) VALUES ('2024-05-06', 42, 'abc')");
        auto database = open();
        auto t = database->get_table(pt::utf8_decode(table), 1);
        admin->exec("ALTER TABLE " + table + " " + c.alter);
        if (c.error) {
            try {
                t->reset();
                ADD_FAILURE() << "the rows were read";
            } catch (const sql_exception& e) {
                EXPECT_EQ(std::string(e.what()), "The columns of table '" + table +
                                                     "' changed while it was read: " + c.error);
                EXPECT_EQ(e.kind(), 0);
            }
            // No row ever comes of it.
            EXPECT_THROW(t->is_eof(), sql_exception);
            EXPECT_THROW(t->get_item(), sql_exception);
            continue;
        }
        t->reset();
        ASSERT_FALSE(t->is_eof());
        const udb_record& r = *t->get_item();
        ASSERT_EQ(r.size(), with_float ? 4u : 3u);
        EXPECT_EQ(r[0].get_name(), L"a");
        EXPECT_EQ(r[0].get_type(), VT_DATE);
        EXPECT_EQ(r[1].to_long(), 42);
        EXPECT_EQ(r[2].to_wstring(), L"abc");
        t->next();
        EXPECT_TRUE(t->is_eof());
    }
}
