// Rows on the write side: batched inserts and what happens to the rows the server
// refuses, long values, updates and deletes, and key texts that try to change the
// statement.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_write_support.hpp"

namespace {

using sql_write_rows = sql_write_test;

ole_variant i4(int32_t v) {
    return ole_variant(v);
}
ole_variant text(const std::wstring& v) {
    return ole_variant(v);
}
// A float's exact value as a literal the server reads as that double.
std::string exact(float v) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, double{v}, std::chars_format::scientific, 16);
    return std::string(buf, r.ptr);
}

}  // namespace

TEST_F(sql_write_rows, rows_gather_into_one_statement_until_flushed) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table("CREATE TABLE p (id INT PRIMARY KEY, name VARCHAR(700))", L"p");
    const long long before = session_status(*dest, L"Com_insert");
    for (int i = 1; i <= 3; ++i)
        t->append_record(
            *make_record({{L"id", i4(i)}, {L"name", text(L"n" + std::to_wstring(i))}}));
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM p"), "0") << "nothing is sent before the flush";
    t->flush();
    EXPECT_EQ(session_status(*dest, L"Com_insert"), before + 1);
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(name ORDER BY id) FROM p"), "n1,n2,n3");

    // A record of the same field count but other fields starts a statement of its own
    // and lands in its own columns.
    t->append_record(*make_record({{L"name", text(L"four")}, {L"id", i4(4)}}));
    t->append_record(*make_record({{L"id", i4(5)}}));
    t.reset();  // the destructor sends what is pending
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(CONCAT(id, '=', IFNULL(name, '-')) ORDER BY id) "
                            "FROM p WHERE id > 3"),
              "4=four,5=-");

    // Thousands of rows of 700 bytes travel in several statements of at most a megabyte.
    auto big = dest->get_sql_table(L"p", 2);
    const long long statements = session_status(*dest, L"Com_insert");
    for (int i = 0; i < 3000; ++i)
        big->append_record(*make_record(
            {{L"id", i4(1000 + i)}, {L"name", text(std::wstring(700, L'a' + i % 26))}}));
    big.reset();
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM p WHERE id >= 1000"), "3000");
    EXPECT_GE(session_status(*dest, L"Com_insert") - statements, 3);
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM p WHERE id >= 1000 AND name = REPEAT(CHAR(97 + "
                            "(id - 1000) % 26), 700)"),
              "3000");
    EXPECT_TRUE(reported_errors().empty());
}

TEST_F(sql_write_rows, a_refused_row_is_reported_and_the_others_land) {
    REQUIRE_TEST_SERVER();
    struct {
        const char* what;
        std::string engine;
    } cases[] = {{"transactional", "InnoDB"}, {"without transactions", "MyISAM"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reported_errors().clear();
        admin->exec("DROP TABLE IF EXISTS " + quote_ident(dst) + ".r");
        auto t = dest_table("CREATE TABLE r (id INT PRIMARY KEY, v VARCHAR(3)) ENGINE=" + c.engine,
                            L"r");
        // Without transactions each row is its own statement and fails at once; in a
        // batch the failure shows when the batch is sent.
        std::string message;
        for (int i = 1; i <= 5; ++i) {
            try {
                t->append_record(
                    *make_record({{L"id", i4(i)}, {L"v", text(i == 3 ? L"abcdef" : L"ok")}}));
            } catch (const sql_exception& e) {
                message = e.what();
            }
        }
        try {
            t->flush();
        } catch (const sql_exception& e) {
            message = e.what();
        }
        EXPECT_NE(message.find("Record #3"), std::string::npos) << message;
        EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(id ORDER BY id) FROM r"), "1,2,4,5")
            << "strict: never 'abc'";
        ASSERT_EQ(reported_errors().size(), 1u);
        EXPECT_NE(reported_errors()[0].message.find("r, record #3"), std::string::npos)
            << reported_errors()[0].message;
    }

    // A character of four bytes lands whole in a utf8mb4 column; a utf8 one refuses it,
    // never stores '?'.
    reported_errors().clear();
    auto t = dest_table(
        "CREATE TABLE r4 (id INT PRIMARY KEY, v VARCHAR(3), w VARCHAR(3) CHARACTER SET utf8mb4)",
        L"r4");
    t->append_record(*make_record({{L"id", i4(8)}, {L"w", text(L"a\U0001F600b")}}));
    t->flush();
    EXPECT_EQ(scalar_in_dst("SELECT HEX(w) FROM r4"), "61F09F988062");
    t->append_record(*make_record({{L"id", i4(9)}, {L"v", text(L"\U0001F600")}}));
    EXPECT_THROW(t->flush(), sql_exception);
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM r4"), "1");

    // The destructor cannot raise: it reports.
    reported_errors().clear();
    t->append_record(*make_record({{L"id", i4(10)}, {L"v", text(L"toolong")}}));
    t.reset();
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_EQ(reported_errors()[0].kind, 0);
}

TEST_F(sql_write_rows, a_row_whose_key_exists_is_skipped_or_replaced) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table("CREATE TABLE k (id INT PRIMARY KEY, v VARCHAR(10))", L"k");
    for (const wchar_t* v : {L"first", L"second"})
        t->append_record(*make_record({{L"id", i4(1)}, {L"v", text(v)}}));
    t->append_record(*make_record({{L"id", i4(2)}, {L"v", text(L"other")}}));
    t->flush();
    EXPECT_EQ(as_table(*t).skipped_rows(), 1u);
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(v ORDER BY id) FROM k"), "first,other");

    auto replacing = engine->open_db(wdst, 0x102, L"");
    auto r = replacing->get_table(L"k", 2);
    r->append_record(*make_record({{L"id", i4(1)}, {L"v", text(L"replaced")}}));
    r->flush();
    EXPECT_EQ(scalar_in_dst("SELECT v FROM k WHERE id = 1"), "replaced");
}

TEST_F(sql_write_rows, long_values_travel_as_their_bytes) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table(
        "CREATE TABLE l (id INT PRIMARY KEY, note VARCHAR(10), bytes LONGBLOB, "
        "body LONGTEXT)",
        L"l");
    t->append_record(*make_record({{L"id", i4(1)}, {L"note", text(L"before")}}));
    std::wstring body;
    while (body.size() < 2 * 1024 * 1024) body += std::wstring(L"é世\0'\\\"x", 7);
    std::vector<uint8_t> bytes;
    while (bytes.size() < 2 * 1024 * 1024) bytes.push_back(static_cast<uint8_t>(bytes.size()));
    // The record holds the long values in the order opposite to the table's.
    t->append_record(*make_record(
        {{L"body", ole_variant(body)}, {L"bytes", ole_variant(bytes)}, {L"id", i4(2)}}));
    EXPECT_FALSE(engine->is_fast_insert()) << "a row too big for a batch turns the engine";
    t->append_record(*make_record({{L"id", i4(3)}, {L"note", text(L"after")}}));
    t.reset();
    // The body is one piece of seven characters over and over: the server builds it too.
    const std::string sha_body =
        admin->scalar("SELECT SHA2(REPEAT(CONVERT(X'C3A9E4B89600275C2278' USING utf8mb4), " +
                      std::to_string(body.size() / 7) + "), 256)");
    EXPECT_EQ(scalar_in_dst("SELECT SHA2(CONVERT(body USING utf8mb4), 256) FROM l WHERE id = 2"),
              sha_body);
    EXPECT_EQ(scalar_in_dst("SELECT LENGTH(bytes) FROM l WHERE id = 2"),
              std::to_string(bytes.size()));
    EXPECT_EQ(scalar_in_dst("SELECT HEX(SUBSTRING(bytes, 255, 4)) FROM l WHERE id = 2"),
              "FEFF0001");
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(note ORDER BY id) FROM l"), "before,after");

    // Later rows of another table still arrive, one statement each.
    auto other = dest_table("CREATE TABLE o (id INT)", L"o");
    other->append_record(*make_record({{L"id", i4(7)}}));
    EXPECT_EQ(scalar_in_dst("SELECT id FROM o"), "7");

    // A prepared statement the server refuses raises with its text.
    auto narrow = dest_table("CREATE TABLE n (id INT, v VARCHAR(5))", L"n");
    try {
        narrow->append_record(*make_record({{L"id", i4(1)}, {L"v", ole_variant(body)}}));
        ADD_FAILURE() << "a value too long for its column is refused";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.kind(), 0);
        EXPECT_NE(std::string(e.what()).find("Data too long"), std::string::npos) << e.what();
    }
}

TEST_F(sql_write_rows, updates_and_deletes_by_record) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table(
        "CREATE TABLE u (id INT PRIMARY KEY, a INT, b INT, name VARCHAR(5), body "
        "TEXT, g GEOMETRY, UNIQUE KEY ab (a, b))",
        L"u");
    in_dst("INSERT INTO u VALUES (1, 1, NULL, 'one', 'x', NULL), (5, 5, 5, 'five', 'y', NULL)");
    t->update(
        *make_record({{L"id", i4(5)}, {L"name", text(L"FIVE")}, {L"g", text(L"POINT(1 2)")}}));
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(CONCAT(name, ST_AsText(IFNULL(g, POINT(0,0)))) "
                            "ORDER BY id) FROM u"),
              "onePOINT(0 0),FIVEPOINT(1 2)");

    // A text field of declared size 0 was not read whole: it is not assigned.
    auto lob = std::make_unique<udb_record>();
    lob->push_back(std::make_unique<udb_field>(L"id", 11, i4(1)));
    lob->push_back(std::make_unique<udb_field>(L"body", 0, text(L"lost")));
    lob->push_back(std::make_unique<udb_field>(L"name", 5, text(L"uno")));
    t->update(*lob);
    EXPECT_EQ(scalar_in_dst("SELECT CONCAT(name, body) FROM u WHERE id = 1"), "unox");

    // A value the column cannot take raises; the table object goes on working.
    EXPECT_THROW(t->update(*make_record({{L"id", i4(1)}, {L"name", text(L"toolong")}})),
                 sql_exception);
    t->delete_key(*make_record({{L"a", i4(1)}, {L"b", ole_variant()}}));
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(id) FROM u"), "5") << "a NULL key part matches";

    auto keyless = dest_table("CREATE TABLE nk (a INT)", L"nk");
    const long long updates = session_status(*dest, L"Com_update");
    EXPECT_THROW(keyless->update(*make_record({{L"a", i4(1)}})), tk_exception);
    EXPECT_EQ(session_status(*dest, L"Com_update"), updates);
}

TEST_F(sql_write_rows, a_record_finds_the_row_it_came_from) {
    REQUIRE_TEST_SERVER();
    // Every kind of column, each row deleted by the record the read side made of it.
    auto every = dest_table(
        "CREATE TABLE e (id INT PRIMARY KEY, f FLOAT, dbl DOUBLE, d DECIMAL(10,2), dt DATE, "
        "dtm DATETIME(6), tm TIME(6), ts TIMESTAMP(6) NULL DEFAULT NULL, c CHAR(5), "
        "vc VARCHAR(10), tx TEXT, vb VARBINARY(10), bl BLOB, b1 BIT(1), b16 BIT(16), yr YEAR, "
        "en ENUM('a','b'), st SET('x','y'), g GEOMETRY, js JSON) CHARACTER SET utf8mb4",
        L"e");
    in_dst(
        "INSERT INTO e VALUES (1, 0.1, 0.1, 12.50, '2024-02-29', '2024-01-15 00:00:00', "
        "'00:00:00', '2024-01-15 10:20:30.123456', 'ab', 'it''s', 'long', '', X'00FF', b'1', "
        "b'1000000000000000', 2024, 'b', 'x,y', POINT(1, 2), '{\"k\": 1}'), "
        "(2, 16777217, -1.2345678901234567e300, -0.01, '1999-12-31', "
        "'2024-01-15 10:20:30.5', '12:34:56.000001', NULL, '', '', '', X'3132333435', '', "
        "b'0', b'0', 1999, 'a', '', NULL, NULL), "
        "(3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
        "NULL, NULL, NULL, NULL, NULL, NULL)");
    const auto rows = read_table(*dest, L"e");
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& r : rows) EXPECT_NO_THROW(every->delete_key(*r));
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM e"), "0");

    // A FLOAT appended, updated and deleted by the same record, also where seven
    // digits would not tell it from 1, and at the ends of the float's range, normal
    // and subnormal, of both signs.
    auto f = dest_table("CREATE TABLE f (f FLOAT PRIMARY KEY, n INT)", L"f");
    using limits = std::numeric_limits<float>;
    std::vector<float> floats = {0.1f, 1.0f + std::ldexp(1.0f, -23)};
    for (const float end :
         {limits::max(), limits::min(), limits::denorm_min(), std::nextafter(limits::min(), 0.0f)})
        floats.insert(floats.end(), {end, -end});
    for (const float v : floats) {
        SCOPED_TRACE(v);
        auto record = [&](int n) { return make_record({{L"f", ole_variant(v)}, {L"n", i4(n)}}); };
        f->append_record(*record(1));
        f->flush();
        EXPECT_EQ(scalar_in_dst("SELECT f + 0e0 = " + exact(v) + " FROM f"), "1");
        f->update(*record(2));
        f->update(*record(2));  // found, though nothing changes
        EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(n) FROM f"), "2");
        f->delete_key(*record(2));
        EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM f"), "0");
        // Gone: neither finds its row, and both say so.
        for (const bool update : {true, false}) {
            try {
                if (update)
                    f->update(*record(3));
                else
                    f->delete_key(*record(3));
                ADD_FAILURE() << (update ? "update" : "delete") << " of a missing row";
            } catch (const tk_exception& e) {
                EXPECT_EQ(e.kind(), 0) << e.what();
            }
        }
    }
    // A key text that finds nothing is no error, as in SQL.
    f->delete_key(L"<f>5</f>");
    f->update(L"<f>5</f>", *make_record({{L"n", i4(4)}}));
    // One that names a FLOAT finds it as the column stores it.
    f->append_record(*make_record({{L"f", ole_variant(0.1f)}, {L"n", i4(5)}}));
    f->flush();
    f->update(L"<f>0.1</f>", *make_record({{L"n", i4(6)}}));
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(n) FROM f"), "6");
    f->delete_key(L"<f>0.1</f>");
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM f"), "0");
}

TEST_F(sql_write_rows, key_texts_cannot_change_the_statement) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table("CREATE TABLE s (id INT PRIMARY KEY, name VARCHAR(20))", L"s");
    in_dst("INSERT INTO s VALUES (1, 'a&b'), (2, 'x'), (3, 'y'), (5, 'z')");
    struct {
        std::wstring key;
        bool raises;
        const char* left;
    } cases[] = {
        {L"<id>5 OR 1=1</id>", true, "1,2,3,5"},   {L"<name>x' OR '1'='1</name>", false, "1,2,3,5"},
        {L"<id>5</id>", false, "1,2,3"},           {L"<name>a&amp;b</name>", false, "2,3"},
        {L"<id>2</id><name>x</name>", false, "3"},
    };
    const size_t relationships = dest->get_relationships().size();
    for (const auto& c : cases) {
        if (c.raises)
            EXPECT_THROW(t->delete_key(c.key), tk_exception) << pt::utf8_encode(c.key);
        else
            t->delete_key(c.key);
        EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(id ORDER BY id) FROM s"), c.left)
            << pt::utf8_encode(c.key);
    }
    t->update(L"<id>3</id>", *make_record({{L"name", text(L"it's")}}));
    EXPECT_EQ(scalar_in_dst("SELECT name FROM s WHERE id = 3"), "it's");
    EXPECT_EQ(dest->get_relationships().size(), relationships);

    // A binary key compares byte for byte: never as a number, never as a column.
    auto b =
        dest_table("CREATE TABLE bk (k VARBINARY(10) PRIMARY KEY, a VARBINARY(10), n INT)", L"bk");
    in_dst(
        "INSERT INTO bk VALUES ('12345', 'x', 1), ('012345', 'x', 2), ('12345.0', 'x', 3), "
        "('a', 'zz', 4), ('q', 'q', 5), ('', 'e', 6), (X'00FF', 'h', 7)");
    // The neutral layer's filter names columns in double quotes.
    admin->exec("SET SESSION sql_mode = 'ANSI_QUOTES'");
    const std::pair<std::wstring, const char*> filters[] = {
        {L"<k>a</k>", "4"}, {L"<k>12345</k>", "1"},          {L"<k>0x00FF</k>", "7"},
        {L"<k></k>", "6"},  {L"<n>2</n><k>012345</k>", "2"},
    };
    for (const auto& [key, matched] : filters)
        EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(n ORDER BY n) FROM bk WHERE " +
                                pt::utf8_encode(b->get_filter_subquery(key))),
                  matched)
            << pt::utf8_encode(key);
    admin->exec("SET SESSION sql_mode = ''");
    b->update(L"<k>012345</k>", *make_record({{L"n", i4(20)}}));
    b->delete_key(*make_record({{L"k", i4(12345)}}));
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(n ORDER BY n) FROM bk"), "3,4,5,6,7,20");
    const std::pair<std::wstring, const char*> deletes[] = {
        {L"<k>12345.0</k>", "4,5,6,7,20"},
        {L"<k>0x00FF</k>", "4,5,6,20"},
        {L"<k></k>", "4,5,20"},
        {L"<k>a</k>", "5,20"},
    };
    for (const auto& [key, left] : deletes) {
        b->delete_key(key);
        EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(n ORDER BY n) FROM bk"), left)
            << pt::utf8_encode(key);
    }
}

TEST_F(sql_write_rows, rows_are_committed_when_the_session_would_not_commit_them) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table("CREATE TABLE c (id INT PRIMARY KEY, v VARCHAR(5)) ENGINE=InnoDB", L"c");
    // As a server whose init_connect turns autocommit off leaves the session.
    ASSERT_TRUE(dest->query(L"SET SESSION autocommit = 0", udb_no_result));
    for (int i = 1; i <= 3; ++i) t->append_record(*make_record({{L"id", i4(i)}}));
    t->flush();
    t->update(L"<id>1</id>", *make_record({{L"v", text(L"one")}}));
    t->delete_key(L"<id>2</id>");
    t.reset();
    // A new connection ends the session: what it had not committed would be rolled back.
    const auto& s = test_server::get();
    engine->connect(s.host, s.user, s.password, static_cast<int>(s.port));
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(CONCAT(id, IFNULL(v, '')) ORDER BY id) FROM c"),
              "1one,3");
}

TEST_F(sql_write_rows, a_guid_is_cut_to_fit_a_guid_column_only) {
    REQUIRE_TEST_SERVER();
    auto t = dest_table("CREATE TABLE g (id INT PRIMARY KEY, g VARCHAR(36), v VARCHAR(40))", L"g");
    const std::wstring guid = L"3F2504E0-4F89-11D3-9A0C-0305E82C3301";
    struct {
        const wchar_t* column;
        std::wstring value;
        const char* stored;  // null: refused
        bool reported;
    } cases[] = {
        {L"v", L"GUID {" + guid + L"} x", nullptr, false},
        {L"v", L"{" + guid + L"}", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", false},
        {L"g", guid, "3F2504E0-4F89-11D3-9A0C-0305E82C3301", false},
        {L"g", L"guid={" + guid + L"}", "3F2504E0-4F89-11D3-9A0C-0305E82C3301", true},
    };
    int id = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(pt::utf8_encode(c.value));
        reported_errors().clear();
        ++id;
        bool refused = false;
        try {
            t->append_record(*make_record({{L"id", i4(id)}, {c.column, text(c.value)}}));
            t->flush();
        } catch (const sql_exception& e) {
            refused = true;
            EXPECT_NE(std::string(e.what()).find("Data too long"), std::string::npos) << e.what();
        }
        EXPECT_EQ(refused, c.stored == nullptr);
        EXPECT_EQ(scalar_in_dst("SELECT IFNULL(g, v) FROM g WHERE id = " + std::to_string(id)),
                  c.stored ? c.stored : "");
        if (!c.reported) {
            EXPECT_EQ(reported_errors().size(), refused ? 1u : 0u);
            continue;
        }
        ASSERT_EQ(reported_errors().size(), 1u);
        EXPECT_EQ(reported_errors()[0].kind, 0);
        const std::string& message = reported_errors()[0].message;
        EXPECT_NE(message.find("g, record #" + std::to_string(id)), std::string::npos) << message;
        EXPECT_NE(message.find("'g'"), std::string::npos) << message;
        EXPECT_NE(message.find(pt::utf8_encode(c.value)), std::string::npos) << message;
    }
}
