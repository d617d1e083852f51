// Tables, keys, defaults, foreign keys and views on the write side, read back from
// information_schema: never from CREATE TABLE text, whose spelling varies.
#include <map>
#include <string>
#include <vector>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_write_support.hpp"

namespace {

using sql_write_tables = sql_write_test;

std::unique_ptr<t_ftd> col(const std::wstring& name, VARTYPE vt, int32_t size,
                           bool auto_num = false) {
    return std::make_unique<t_ftd>(size, name, vt, false, auto_num);
}

std::vector<std::wstring> names(std::initializer_list<const wchar_t*> list) {
    return std::vector<std::wstring>(list.begin(), list.end());
}

}  // namespace

TEST_F(sql_write_tables, tables_are_created_dropped_and_emptied) {
    REQUIRE_TEST_SERVER();
    udb_schema schema;
    schema.push_back(col(L"id", VT_I4, 11));
    const long long creates = session_status(*dest, L"Com_create_table");
    // Longer than the server allows: cut, it would name another table.
    for (const std::wstring& name : {std::wstring(65, L't'), std::wstring()})
        EXPECT_THROW(dest->create_table(name, schema, udb_indexes()), tk_exception);
    EXPECT_EQ(session_status(*dest, L"Com_create_table"), creates);

    const std::wstring odd = L"a `b` c";
    dest->create_table(odd, schema, udb_indexes())->append_record(*make_record({{L"id", 1}}));
    EXPECT_EQ(session_status(*dest, L"Com_create_table"), creates + 1);
    // The same name again: nothing is created, and the table takes more rows.
    dest->create_table(odd, schema, udb_indexes())->append_record(*make_record({{L"id", 2}}));
    EXPECT_EQ(session_status(*dest, L"Com_create_table"), creates + 1);
    dest->create_table(L"keep", schema, udb_indexes())->append_record(*make_record({{L"id", 3}}));
    // A name that looks quoted is a table of its own.
    dest->create_table(L"`keep`", schema, udb_indexes())->append_record(*make_record({{L"id", 4}}));
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM `a ``b`` c`"), "2");
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(id) FROM ```keep```"), "4");

    dest->empty_table(odd);
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM `a ``b`` c`"), "0");
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM keep"), "1");
    EXPECT_TRUE(dest->delete_tab(odd));
    EXPECT_FALSE(dest->is_table_exist(odd));
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                            "DATABASE() AND TABLE_NAME = 'a `b` c'"),
              "0");
    EXPECT_THROW(dest->delete_tab(odd), tk_mail_assertion);

    // A source is never written.
    auto source = engine->open_db(wdst, 1, L"");
    EXPECT_THROW(source->empty_table(L"keep"), tk_mail_assertion);
    EXPECT_THROW(source->create_table(L"new", schema, udb_indexes()), tk_mail_assertion);
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM keep"), "1");

    // Per-table settings: a storage engine, and a value that could not stand bare.
    sql_tables_properties properties;
    properties[L"mine"].table[L"engine"] = L"MyISAM";
    properties[L"bad"].table[L"engine"] = L"InnoDB; DROP TABLE keep";
    engine->set_table_properties(&properties);
    dest = std::unique_ptr<sql_database>(
        static_cast<sql_database*>(engine->open_db(wdst, 2, L"").release()));
    dest->create_table(L"mine", schema, udb_indexes());
    dest->create_table(L"bad", schema, udb_indexes());
    engine->set_table_properties(nullptr);
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(CONCAT(TABLE_NAME, '=', ENGINE) ORDER BY "
                            "TABLE_NAME) FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                            "DATABASE() AND TABLE_NAME IN ('mine', 'bad')"),
              "bad=InnoDB,mine=MyISAM");
}

TEST_F(sql_write_tables, keys_that_the_server_would_refuse_are_left_out_not_the_table) {
    REQUIRE_TEST_SERVER();
    udb_schema schema;
    schema.push_back(col(L"id", VT_I4, 11, true));
    schema.push_back(col(L"a*b", VT_BSTR, 10));
    schema.push_back(col(L"v768", VT_BSTR, 768));
    schema.push_back(col(L"v769", VT_BSTR, 769));
    schema.push_back(col(L"w1", VT_BSTR, 600));
    schema.push_back(col(L"w2", VT_BSTR, 600));
    schema.push_back(col(L"bin", VT_UI1_ARRAY, 16));
    schema[1].description = L"it's a\\";
    for (int i = 0; i < 17; ++i) schema.push_back(col(L"p" + std::to_wstring(i), VT_I4, 11));
    udb_indexes keys;
    keys.push_back(udb_index(L"k`1", false, false, names({L"a*b"})));
    keys.push_back(udb_index(L"f\"k", true, false, names({L"v768"})));
    keys.push_back(udb_index(L"lob", false, false, names({L"v769"})));
    keys.push_back(udb_index(L"wide", false, false, names({L"w1", L"w2"})));
    keys.push_back(udb_index(L"ключ", true, false, names({L"bin"})));
    std::vector<std::wstring> seventeen;
    for (int i = 0; i < 17; ++i) seventeen.push_back(L"p" + std::to_wstring(i));
    keys.push_back(udb_index(L"many", false, false, seventeen));
    // The auto-number column is not the first of its key: an index of its own is added.
    keys.push_back(udb_index(L"second", false, false, names({L"a*b", L"id"})));
    for (int i = 0; i < 70; ++i)
        keys.push_back(udb_index(L"x" + std::to_wstring(i), false, false, names({L"p1"})));
    dest->create_table(L"keys", schema, keys);

    const auto key_columns = admin->rows(
        "SELECT INDEX_NAME, GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX) FROM "
        "information_schema.STATISTICS WHERE TABLE_SCHEMA = " +
        quote_literal(dst) + " AND TABLE_NAME = 'keys' GROUP BY INDEX_NAME");
    std::map<std::string, std::string> found;
    for (const auto& row : key_columns) found[row[0]] = row[1];
    // Key names with characters the rules forbid get safe names too.
    EXPECT_EQ(found["k_1"], "a_b") << "the key follows the column's safe name";
    EXPECT_EQ(found["f_k"], "v768");
    EXPECT_EQ(found["\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87"], "bin");
    EXPECT_EQ(found["second"], "a_b,id");
    EXPECT_EQ(found["id"], "id");
    for (const char* absent : {"lob", "wide", "many"}) EXPECT_EQ(found.count(absent), 0u) << absent;
    // 63 keys are taken at most (those left out count too), beside the auto-number
    // column's own index: x57 and later are not written.
    EXPECT_EQ(found.size(), 62u);
    EXPECT_EQ(found.count("x56"), 1u);
    EXPECT_EQ(found.count("x57"), 0u);
    EXPECT_EQ(scalar_in_dst("SELECT COLUMN_COMMENT FROM information_schema.COLUMNS WHERE "
                            "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'keys' AND COLUMN_NAME = "
                            "'a_b'"),
              "it's a\\");
}

TEST_F(sql_write_tables, columns_keep_their_defaults_keys_and_row_size) {
    REQUIRE_TEST_SERVER();
    in_src(R"(CREATE TABLE defs (
        n INT NOT NULL DEFAULT 5, s VARCHAR(10) DEFAULT 'a''b', b BIT(1) DEFAULT b'1',
        dn DATETIME DEFAULT now(), d DECIMAL(10,2) DEFAULT 1.50,
        wide DECIMAL(40,35) DEFAULT 1e-35, dflt VARCHAR(5) NOT NULL DEFAULT '',
        expr INT DEFAULT (1 + 1), fn VARCHAR(40) DEFAULT (uuid()), lit VARCHAR(40) DEFAULT 'uuid()'))");
    in_src("CREATE TABLE doc (code VARCHAR(20) PRIMARY KEY, body TEXT, b1 BLOB, b2 BLOB)");
    in_src(
        "CREATE TABLE wide4 (a VARCHAR(10000), b VARCHAR(10000), c VARCHAR(10000), d "
        "VARCHAR(10000)) CHARACTER SET latin1");
    in_src("INSERT INTO wide4 VALUES (REPEAT('a', 10000), 'b', REPEAT('c', 9999), 'd')");
    in_src("CREATE TABLE auto0 (id INT AUTO_INCREMENT PRIMARY KEY, v INT)");
    in_src("SET SESSION sql_mode = 'NO_AUTO_VALUE_ON_ZERO'");
    in_src("INSERT INTO auto0 VALUES (0, 0), (7, 7)");
    src = open();
    for (const wchar_t* t : {L"defs", L"doc", L"wide4", L"auto0"}) copy_table(*src, t);

    const auto columns = admin->rows(
        "SELECT CONCAT(TABLE_NAME, '.', COLUMN_NAME), IFNULL(COLUMN_DEFAULT, '-'), IS_NULLABLE, "
        "COLUMN_TYPE, COLUMN_KEY FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " +
        quote_literal(dst));
    std::map<std::string, std::string> seen;
    for (const auto& r : columns) seen[r[0]] = r[1] + " " + r[2] + " " + r[3] + " " + r[4];
    const std::pair<const char*, const char*> expected[] = {
        {"defs.n", "5 NO int(11) "},
        {"defs.s", "'a''b' YES varchar(10) "},
        {"defs.b", "1 YES tinyint(1) "},
        {"defs.dn", "current_timestamp() YES timestamp "},
        {"defs.d", "1.50 YES decimal(10,2) "},
        {"defs.wide", "0.00000000000000000000000000000000001 YES decimal(40,35) "},
        {"defs.dflt", "'' NO varchar(5) "},
        {"defs.expr", "NULL YES int(11) "},  // an expression is no value to keep
        {"defs.fn", "NULL YES varchar(40) "},
        {"defs.lit", "'uuid()' YES varchar(40) "},
        {"doc.code", "- NO varchar(20) PRI"},  // a TEXT column and two BLOBs cost no key
        {"doc.body", "NULL YES mediumtext "},
        {"wide4.a", "NULL YES varchar(10000) "},
        {"auto0.id", "- NO int(11) PRI"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(seen[name], value) << name;
    // Three of the four wide columns give way; every value survives.
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                            "DATABASE() AND TABLE_NAME = 'wide4' AND DATA_TYPE = 'longtext'"),
              "3");
    EXPECT_EQ(differing_rows("wide4", "a", {{"b", "$"}, {"c", "$"}, {"d", "$"}}), 0);
    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(id ORDER BY id) FROM auto0"), "0,7")
        << "a zero stays a zero";
}

TEST_F(sql_write_tables, foreign_keys_are_created_and_reported) {
    REQUIRE_TEST_SERVER();
    in_src("CREATE TABLE parent (id INT, shop INT, PRIMARY KEY (id, shop))");
    in_src(
        "CREATE TABLE child (id INT PRIMARY KEY, pid INT, pshop INT, `a+b` INT UNIQUE, "
        "KEY lead (pid, pshop, id), CONSTRAINT fk_parent FOREIGN KEY (pid, pshop) REFERENCES "
        "parent (id, shop) ON DELETE CASCADE ON UPDATE SET NULL)");
    in_src(
        "CREATE TABLE emp (id INT PRIMARY KEY, boss INT, CONSTRAINT fk_boss FOREIGN KEY "
        "(boss) REFERENCES emp (id))");
    in_src(
        "CREATE TABLE grand (id INT PRIMARY KEY, ab INT, CONSTRAINT fk_ab FOREIGN KEY (ab) "
        "REFERENCES child (`a+b`))");
    in_src("CREATE TABLE third (id INT)");
    src = open();
    for (const auto& t : src->get_table_names()) copy_table(*src, t);
    std::vector<udb_relationship> relationships = src->get_relationships();
    ASSERT_EQ(relationships.size(), 3u);
    relationships.insert(relationships.begin() + 1,
                         udb_relationship(L"fk_missing", L"", L"child", L"nowhere", names({L"pid"}),
                                          names({L"id"}), L""));
    relationships.emplace_back(L"fk_boss", L"", L"child", L"emp", names({L"pid"}), names({L"id"}),
                               L"");
    relationships.emplace_back(L"fk_rule", L"", L"child", L"emp", names({L"id"}), names({L"id"}),
                               L"ON DELETE CASCADE, DROP TABLE third");
    dest->create_relationships(relationships);

    const auto rows = admin->rows(
        "SELECT k.CONSTRAINT_NAME, k.TABLE_NAME, GROUP_CONCAT(k.COLUMN_NAME ORDER BY "
        "k.ORDINAL_POSITION), k.REFERENCED_TABLE_NAME, GROUP_CONCAT(k.REFERENCED_COLUMN_NAME "
        "ORDER BY k.ORDINAL_POSITION), r.DELETE_RULE, r.UPDATE_RULE FROM "
        "information_schema.KEY_COLUMN_USAGE k JOIN information_schema.REFERENTIAL_CONSTRAINTS r "
        "ON r.CONSTRAINT_SCHEMA = k.CONSTRAINT_SCHEMA AND r.CONSTRAINT_NAME = k.CONSTRAINT_NAME "
        "WHERE k.TABLE_SCHEMA = " +
        quote_literal(dst) + " GROUP BY k.CONSTRAINT_NAME, k.TABLE_NAME ORDER BY 1");
    std::vector<std::string> got;
    for (const auto& r : rows) {
        std::string line;
        for (const auto& cell : r) line += cell + "|";
        got.push_back(line);
    }
    EXPECT_EQ(got, (std::vector<std::string>{
                       "fk_ab|grand|ab|child|a_b|RESTRICT|RESTRICT|",
                       "fk_boss|emp|boss|emp|id|RESTRICT|RESTRICT|",
                       "fk_boss00000|child|pid|emp|id|RESTRICT|RESTRICT|",
                       "fk_parent|child|pid,pshop|parent|id,shop|CASCADE|SET NULL|",
                   }));
    // The key's columns already lead an index: no other is added.
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(DISTINCT INDEX_NAME) FROM information_schema.STATISTICS "
                            "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'child'"),
              "3");
    ASSERT_EQ(reported_errors().size(), 2u);
    EXPECT_NE(reported_errors()[0].message.find("Table 'nowhere' not exists"), std::string::npos)
        << reported_errors()[0].message;
    EXPECT_NE(reported_errors()[1].message.find("fk_rule"), std::string::npos);
    // No table is left locked, and the checks are as they were.
    dest->get_table(L"third", 2)->append_record(*make_record({{L"id", 1}}));
    EXPECT_EQ(scalar_in_dst("SELECT COUNT(*) FROM third"), "1");
    auto rs = dest->query_rs(L"SELECT @@SESSION.foreign_key_checks");
    EXPECT_EQ((*rs->get_item())[0].to_string(), "0");
}

TEST_F(sql_write_tables, views_are_rewritten_and_created_in_any_order) {
    REQUIRE_TEST_SERVER();
    in_src("CREATE TABLE t (id INT PRIMARY KEY, `a+b` INT, d1 DATE, d2 DATE)");
    in_src("INSERT INTO t VALUES (1, 10, '2024-01-01', '2024-01-31'), (2, NULL, NULL, NULL)");
    in_src("CREATE VIEW z_last AS SELECT id, `a+b` FROM t");
    in_src("CREATE VIEW a_first AS SELECT id FROM z_last WHERE id > 1");
    in_src(
        "CREATE VIEW `v/1` AS SELECT id, DATEDIFF(d2, d1) AS days, '[x] isnull( ''order''' AS "
        "s, `a+b` FROM t");
    in_src("CREATE VIEW w AS WITH c AS (SELECT id FROM t) SELECT id FROM c");
    src = open();
    copy_table(*src, L"t");
    udb_view_list views = src->get_views();
    ASSERT_EQ(views.size(), 4u);
    views.emplace_back(L"not_a_view", L"SHOW TABLES");
    dest->create_views(views);

    EXPECT_EQ(scalar_in_dst("SELECT GROUP_CONCAT(TABLE_NAME ORDER BY TABLE_NAME) FROM "
                            "information_schema.VIEWS WHERE TABLE_SCHEMA = DATABASE()"),
              "a_first,v_1,w,z_last");
    struct {
        std::string src, dst;
    } pairs[] = {{"z_last", "z_last"}, {"a_first", "a_first"}, {"v/1", "v_1"}, {"w", "w"}};
    for (const auto& p : pairs)
        EXPECT_EQ(admin->scalar("SELECT COUNT(*) FROM (SELECT * FROM " + quote_ident(db) + "." +
                                quote_ident(p.src) + " EXCEPT SELECT * FROM " + quote_ident(dst) +
                                "." + quote_ident(p.dst) + ") x"),
                  "0")
            << p.src;
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_NE(reported_errors()[0].message.find("View 'not_a_view'"), std::string::npos)
        << reported_errors()[0].message;
}
