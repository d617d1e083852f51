// Databases, their table and view lists, keys, foreign keys and defaults, with names
// that break careless quoting, and users whose privileges stop halfway.
#include <algorithm>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_tab.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_test_support.hpp"

namespace {

class sql_listing : public sql_server_test {
  protected:
    void use_db() { admin->exec("USE " + quote_ident(db)); }

    static bool contains(const std::vector<std::wstring>& list, const std::wstring& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    }
    // The rows of a table, each field as text.
    static std::vector<std::vector<std::wstring>> texts(udb_recordset& t) {
        std::vector<std::vector<std::wstring>> rows;
        for (t.reset(); !t.is_eof(); t.next()) {
            std::vector<std::wstring> row;
            const udb_record& r = *t.get_item();
            for (size_t i = 0; i < r.size(); ++i) row.push_back(r[i].to_wstring());
            rows.push_back(std::move(row));
        }
        return rows;
    }
};

const char* const awkward_tables[] = {"we`ird", "it's", "with space", "naïve é", "表格",
                                      "select", "T",    "t",          "Orders"};

}  // namespace

TEST_F(sql_listing, awkward_table_and_column_names_are_listed_read_and_quoted) {
    REQUIRE_TEST_SERVER();
    use_db();
    for (const char* name : awkward_tables) {
        admin->exec("CREATE TABLE " + quote_ident(name) +
                    " (`id` INT PRIMARY KEY, `a``b` VARCHAR(20), `it's` INT, `with space` INT, "
                    "`ç` INT, `order` INT, KEY `k``1` (`a``b`))");
        admin->exec("INSERT INTO " + quote_ident(name) + " VALUES (1, " + quote_literal(name) +
                    ", 2, 3, 4, 5)");
    }
    admin->exec("CREATE VIEW v_orders AS SELECT * FROM `Orders`");
    admin->exec("CREATE SEQUENCE seq1");
    admin->exec("CREATE TABLE hist (id INT) WITH SYSTEM VERSIONING");
    admin->exec("INSERT INTO hist VALUES (1), (2)");
    admin->exec("DELETE FROM hist WHERE id = 1");

    auto database = open();
    auto& names = database->get_table_names();
    for (const char* name : awkward_tables)
        EXPECT_TRUE(contains(names, pt::utf8_decode(name))) << name;
    EXPECT_TRUE(contains(names, L"hist"));
    EXPECT_FALSE(contains(names, L"v_orders")) << "views are not tables";
    EXPECT_FALSE(contains(names, L"seq1")) << "sequences are not tables";
    EXPECT_EQ(names.size(), std::size(awkward_tables) + 1);

    for (const char* name : awkward_tables) {
        SCOPED_TRACE(name);
        auto table = database->get_table(pt::utf8_decode(name), 1);
        const udb_schema& schema = table->get_schema();
        ASSERT_EQ(schema.size(), 6u);
        EXPECT_EQ(schema[1].name, L"a`b");
        EXPECT_EQ(schema[1].vartype, VT_BSTR);
        EXPECT_EQ(schema[1].size, 20) << "refined from varchar(20)";
        EXPECT_EQ(schema[2].name, L"it's");
        EXPECT_EQ(schema[4].name, L"ç");
        ASSERT_EQ(table->get_indexes().size(), 2u);
        EXPECT_EQ(table->get_indexes()[1].name, L"k`1");
        EXPECT_EQ(table->get_indexes()[1].fields, std::vector<std::wstring>{L"a`b"});
        auto rows = texts(*table);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][1], pt::utf8_decode(name)) << "the table of that very name was read";
    }
    // A name that differs only in case finds the listed table.
    auto orders = database->get_table(L"ORDERS", 1);
    EXPECT_EQ(orders->get_name(), L"Orders");
    EXPECT_EQ(texts(*orders)[0][1], L"Orders");
    // System-versioned tables give their current rows.
    auto hist = database->get_table(L"hist", 1);
    EXPECT_EQ(texts(*hist), (std::vector<std::vector<std::wstring>>{{L"2"}}));
    ASSERT_EQ(database->get_views().size(), 1u);
    EXPECT_EQ(database->get_views()[0].first, L"v_orders");
}

TEST_F(sql_listing, a_database_name_with_quotes_lists_its_views) {
    REQUIRE_TEST_SERVER();
    const std::string name = make_database("o'brien`s");
    admin->exec("CREATE DATABASE " + quote_ident(name));
    admin->exec("CREATE TABLE " + quote_ident(name) + ".t1 (id INT)");
    admin->exec("CREATE VIEW " + quote_ident(name) + ".v1 AS /* kept out */ SELECT id FROM " +
                quote_ident(name) + ".t1");
    auto base = engine->open_db(pt::utf8_decode(name), 1, L"");
    auto& database = static_cast<sql_database&>(*base);
    EXPECT_EQ(database.get_table_names(), std::vector<std::wstring>{L"t1"});
    ASSERT_EQ(database.get_views().size(), 1u);
    EXPECT_EQ(database.get_views()[0].first, L"v1");
    const std::wstring& text = database.get_views()[0].second;
    EXPECT_NE(text.find(L"`t1`"), std::wstring::npos) << pt::utf8_encode(text);
    EXPECT_EQ(text.find(L"brien"), std::wstring::npos) << "qualifiers naming the database go";

    // The view text rules on their own.
    EXPECT_EQ(database.refine_view_out(L"/* x */ select `A`.`t`.`c` from `a`.`t`"),
              L" select `A`.`t`.`c` from `a`.`t`");
    const std::wstring q = sql_engine::get_safe_name(pt::utf8_decode(name)) + L".";
    EXPECT_EQ(database.refine_view_out(L"select " + q + L"`t`.`c` from " + q + L"`t`"),
              L"select `t`.`c` from `t`");
    EXPECT_EQ(database.refine_view_out(L"a */ b /* c"), L"a */ b ");

    // Mode bit 0x80 reads no views.
    auto without = engine->open_db(pt::utf8_decode(name), 0xA1, L"");
    EXPECT_TRUE(without->get_views().empty());
}

TEST_F(sql_listing, a_refused_table_listing_is_an_error_not_an_empty_database) {
    REQUIRE_TEST_SERVER();
    ASSERT_TRUE(engine->is_db_exist(wdb));  // selected on the engine's connection
    admin->exec("DROP DATABASE " + quote_ident(db));
    try {
        sql_database database(wdb, engine->get_connection(), 1);
        ADD_FAILURE() << "an empty database was made";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.error_number(), 1049u) << e.what();
    }
}

TEST_F(sql_listing, a_user_with_column_privileges_gets_an_error_for_the_table) {
    REQUIRE_TEST_SERVER();
    use_db();
    admin->exec("CREATE TABLE secret (a INT, b INT)");
    admin->exec("INSERT INTO secret VALUES (1, 2)");
    admin->exec("CREATE VIEW v AS SELECT a FROM secret");
    const std::string user = unique_name("u");
    const std::string account = quote_literal(user) + "@'127.0.0.1'";
    admin->exec("CREATE USER " + account + " IDENTIFIED BY 'Pw-4711'");
    admin->exec("GRANT SELECT (a) ON " + quote_ident(db) + ".secret TO " + account);
    admin->exec("GRANT SELECT ON " + quote_ident(db) + ".v TO " + account);

    const auto& s = test_server::get();
    engine->connect(s.host, user, "Pw-4711", static_cast<int>(s.port));
    {
        auto database = open();
        EXPECT_EQ(database->get_table_names(), std::vector<std::wstring>{L"secret"});
        // Without SHOW VIEW the view's text is not given; that is no error.
        for (const auto& view : database->get_views()) EXPECT_TRUE(view.second.empty());
        try {
            database->get_table(L"secret", 1);
            ADD_FAILURE() << "the table was read";
        } catch (const sql_exception& e) {
            EXPECT_EQ(e.error_number(), 1142u) << e.what();
        }
        // The connection goes on.
        auto rs = database->query_rs(L"SELECT a FROM secret");
        ASSERT_FALSE(rs->is_eof());
        EXPECT_EQ((*rs->get_item())[0].to_string(), "1");
    }
    engine.reset();
    admin->exec("DROP USER " + account);
}

TEST_F(sql_listing, statements_with_and_without_rows) {
    REQUIRE_TEST_SERVER();
    use_db();
    admin->exec("CREATE TABLE e (a INT)");
    auto database = open();
    auto rows = database->query(L"SELECT * FROM e");
    ASSERT_NE(rows, nullptr);
    EXPECT_TRUE(rows->is_eof());
    rows.reset();
    EXPECT_EQ(database->query(L"UPDATE e SET a = 1"), nullptr);
    try {
        database->query(L"SELEKT 1");
        ADD_FAILURE() << "accepted";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.error_number(), 1064u);
    }
    EXPECT_TRUE(database->query(L"INSERT INTO e VALUES (1)", udb_no_result));
    EXPECT_TRUE(database->query(L"SELECT * FROM e", udb_no_result));
    EXPECT_FALSE(database->query(L"SELEKT 1", udb_no_result));
    EXPECT_TRUE(database->is_table_exist(L"E"));
    try {
        database->get_table(L"missing", 1);
        ADD_FAILURE() << "a table that is not listed was opened";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(), make_err_meggase("sql_db.cpp", 75));
    }
}

TEST_F(sql_listing, keys_foreign_keys_and_the_open_modes) {
    REQUIRE_TEST_SERVER();
    const std::string other = make_database("other");
    admin->exec("CREATE DATABASE " + quote_ident(other));
    admin->exec("CREATE TABLE " + quote_ident(other) + ".p (id INT PRIMARY KEY)");
    use_db();
    admin->exec("CREATE TABLE parent (id INT, shop INT, PRIMARY KEY (id, shop))");
    admin->exec(R"(CREATE TABLE child (
        id INT NOT NULL, u1 INT, u2 INT, pid INT, pshop INT, x INT,
        c INT COMMENT 'CONSTRAINT `f` FOREIGN KEY (`c`) REFERENCES `p` (`x`)',
        UNIQUE KEY uq (u1, u2), KEY plain (x), PRIMARY KEY (id),
        CONSTRAINT fk_parent FOREIGN KEY (pid, pshop) REFERENCES parent (id, shop)
          ON DELETE CASCADE ON UPDATE SET NULL,
        CONSTRAINT fk_other FOREIGN KEY (x) REFERENCES )" +
                quote_ident(other) + R"(.p (id),
        CONSTRAINT chk CHECK (x > 0)))");

    auto database = open();
    auto child = database->get_table(L"child", 1);
    const udb_indexes& keys = child->get_indexes();
    ASSERT_GE(keys.size(), 3u);
    ASSERT_GE(child->get_key_index(), 0);
    EXPECT_TRUE(keys[static_cast<size_t>(child->get_key_index())].primary);
    int uq = keys.find(L"uq");
    ASSERT_GE(uq, 0);
    EXPECT_TRUE(keys[static_cast<size_t>(uq)].unique);
    EXPECT_EQ(keys[static_cast<size_t>(uq)].fields, (std::vector<std::wstring>{L"u1", L"u2"}));
    int plain = keys.find(L"plain");
    ASSERT_GE(plain, 0);
    EXPECT_FALSE(keys[static_cast<size_t>(plain)].unique);

    // The key into the other database is left out: it would bind to a local "p".
    const auto& relationships = database->get_relationships();
    ASSERT_EQ(relationships.size(), 1u);
    const udb_relationship& fp = relationships[0];
    EXPECT_EQ(fp.name, L"fk_parent");
    EXPECT_EQ(fp.fk_table, L"child");
    EXPECT_EQ(fp.pk_table, L"parent");
    EXPECT_EQ(fp.fk_flds, (std::vector<std::wstring>{L"pid", L"pshop"}));
    EXPECT_EQ(fp.pk_flds, (std::vector<std::wstring>{L"id", L"shop"}));
    EXPECT_EQ(fp.rule, L"ON DELETE CASCADE ON UPDATE SET NULL");

    // Modes without keys read the columns only.
    for (int32_t mode : {0, 0x20, 0x40, 0x60}) {
        auto columns_only = database->get_table(L"child", mode);
        EXPECT_TRUE(columns_only->get_indexes().empty()) << mode;
        EXPECT_EQ(columns_only->get_key_index(), -1);
        EXPECT_EQ(columns_only->get_schema().size(), 7u);
    }
    // Opening the table again lists its keys once.
    auto again = database->get_table(L"child", 1);
    EXPECT_EQ(database->get_relationships().size(), 1u);
}

TEST_F(sql_listing, column_defaults) {
    REQUIRE_TEST_SERVER();
    use_db();
    admin->exec(R"(CREATE TABLE defs (
        s VARCHAR(10) DEFAULT 'a''b', n INT NOT NULL DEFAULT 5, b BIT(1) DEFAULT b'1',
        b0 BIT(1) DEFAULT b'0', bits BIT(8) DEFAULT b'101', zd DATE NOT NULL DEFAULT '0000-00-00',
        dn DATETIME DEFAULT now(), d DECIMAL(10,2) DEFAULT 1.50,
        wide DECIMAL(40,35) DEFAULT 0.00000000000000000000000000000000001, nodef INT))");
    auto database = open();
    auto t = database->get_table(L"defs", 1);
    const udb_schema& s = t->get_schema();
    EXPECT_EQ(s.get_field1(L"s").default_value.to_wstring(), L"a'b");
    EXPECT_EQ(s.get_field1(L"n").default_value.to_string(), "5");
    EXPECT_EQ(s.get_field1(L"b").default_value.get_type(), VT_BOOL);
    EXPECT_TRUE(s.get_field1(L"b").default_value.to_bool());
    EXPECT_EQ(s.get_field1(L"b0").default_value.get_type(), VT_BOOL);
    EXPECT_FALSE(s.get_field1(L"b0").default_value.to_bool());
    EXPECT_EQ(s.get_field1(L"bits").default_value.to_string(), "5");
    EXPECT_FALSE(s.get_field1(L"zd").b_not_null) << "the zero date is no default";
    EXPECT_EQ(s.get_field1(L"dn").reserved, 9);
    EXPECT_EQ(s.get_field1(L"d").default_value.to_string(), "1.5");
    EXPECT_EQ(s.get_field1(L"wide").default_value.to_wstring(),
              L"0.00000000000000000000000000000000001");
    EXPECT_EQ(s.get_field1(L"nodef").default_value.get_type(), VT_EMPTY);
}
