// The write side against the server: a database read through the read side is written
// into another through the write side and compared on the server, column by column.
#include <string>
#include <vector>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_write_support.hpp"

namespace {

using sql_write = sql_write_test;

// A value as text for comparing what the read side gives on both ends: texts whole,
// bytes as hexadecimal, everything else as it prints.
std::string text_of(const udb_field& f) {
    if (const std::wstring* s = f.get_bstr()) return pt::utf8_encode(*s);
    return f.to_string();
}

}  // namespace

TEST_F(sql_write, two_databases_on_one_connection_never_mix) {
    REQUIRE_TEST_SERVER();
    in_src("CREATE TABLE only_src (a INT)");
    in_src("CREATE TABLE both_dbs (a INT)");
    in_src("INSERT INTO both_dbs VALUES (1), (2), (3)");
    admin->exec("CREATE TABLE " + quote_ident(dst) + ".both_dbs (a INT)");
    src = open();
    auto other = engine->open_db(wdst, 1, L"");
    EXPECT_EQ(read_table(*src, L"only_src").size(), 0u);
    EXPECT_EQ(read_table(*src, L"both_dbs").size(), 3u);
    EXPECT_EQ(read_table(static_cast<sql_database&>(*other), L"both_dbs").size(), 0u);
    EXPECT_EQ(src->get_table(L"both_dbs", 1)->get_rec_count(), 3u);
}

TEST_F(sql_write, every_column_type_comes_back) {
    REQUIRE_TEST_SERVER();
    in_src(all_types_table);
    for (const char* row : all_types_rows) in_src(row);
    // Values that only just survive: a float that seven digits would not tell from 1,
    // midnight, and empty bytes.
    in_src(
        "INSERT INTO all_types (f, tm, tm6, vbn, bl, lbl) VALUES (1.00000012, '00:00:00', "
        "'00:00:00', '', '', '')");
    src = open();
    // Characters of four bytes need utf8mb4 columns: utf8 ones refuse them.
    sql_properties utf8mb4{{L"character set", L"utf8mb4"}};
    engine->set_properties(&utf8mb4);
    const auto source = copy_table(*src, L"all_types");
    ASSERT_EQ(source.size(), 5u);

    // What the server made of each column.
    const std::vector<std::pair<std::string, std::string>> types = {
        {"id", "int(11)"},
        {"u8", "tinyint(3) unsigned"},
        {"u24", "int(11)"},
        {"u64", "bigint(20) unsigned"},
        {"d65_30", "decimal(65,30)"},
        {"f10_2", "decimal(10,2)"},
        {"b1", "tinyint(1)"},
        {"b16", "int(10) unsigned"},
        {"c10", "varchar(30)"},
        {"vc", "varchar(100)"},
        {"tx", "mediumtext"},
        {"bn4", "varbinary(4)"},
        {"bl", "blob"},
        {"lbl", "longblob"},
        {"dtm", "datetime(6)"},
        {"tm6", "time(6)"},
        {"ts", "char(19)"},
        {"tsc", "timestamp"},
        {"tsc6", "timestamp(6)"},
        {"yr", "smallint(5) unsigned"},
        {"geo", "geometry"},
    };
    for (const auto& [column, type] : types)
        EXPECT_EQ(admin->scalar("SELECT COLUMN_TYPE FROM information_schema.COLUMNS WHERE "
                                "TABLE_SCHEMA = " +
                                quote_literal(dst) +
                                " AND TABLE_NAME = 'all_types' AND "
                                "COLUMN_NAME = " +
                                quote_literal(column)),
                  type)
            << column;
    EXPECT_EQ(scalar_in_dst("SELECT CONCAT(COLUMN_KEY, ' ', EXTRA) FROM information_schema.COLUMNS "
                            "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'all_types' AND "
                            "COLUMN_NAME = 'id'"),
              "PRI auto_increment");
    EXPECT_EQ(scalar_in_dst("SELECT COLUMN_DEFAULT FROM information_schema.COLUMNS WHERE "
                            "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'all_types' AND "
                            "COLUMN_NAME = 'tsc6'"),
              "current_timestamp(6)");

    const std::string same = "$", text = "HEX(CONVERT($ USING utf8mb4))", bytes = "HEX($)",
                      chars = "CAST($ AS CHAR)", number = "CAST($ AS UNSIGNED)";
    EXPECT_EQ(differing_rows("all_types", "id",
                             {{"i8", same},
                              {"u8", same},
                              {"i16", same},
                              {"u16", same},
                              {"i24", same},
                              {"u24", same},
                              {"i32", same},
                              {"u32", same},
                              {"i64", same},
                              {"u64", same},
                              {"d10_2", same},
                              {"d10_2u", same},
                              {"d10_0", same},
                              {"d65_30", same},
                              {"f", same},
                              {"dbl", same},
                              {"f10_2", "CAST($ AS DECIMAL(10,2))"},
                              {"b1", number},
                              {"b16", number},
                              {"b64", number},
                              {"c10", text},
                              {"vc", text},
                              {"tx", text},
                              {"vcbin", text},
                              {"txbin", text},
                              {"bn4", bytes},
                              {"vbn", bytes},
                              {"bl", bytes},
                              {"lbl", "SHA2($, 256)"},
                              {"ts", chars},
                              {"tsc", chars},
                              {"tsc6", chars},
                              {"yr", number},
                              {"en", chars},
                              {"st", chars},
                              {"js", chars},
                              {"uu", chars},
                              {"ip", chars},
                              {"geo", "ST_AsText($)"}}),
              0);
    EXPECT_EQ(scalar_in_dst("SELECT HEX(vc) FROM all_types WHERE id = 4"), "61F09F988062");
    // The read side's own losses, and nothing else: times beyond a day and zero dates
    // arrive empty.
    EXPECT_EQ(differing_rows("all_types", "id", {{"tm", chars}}), 1);
    EXPECT_EQ(differing_rows("all_types", "id", {{"tm6", chars}}), 1);
    EXPECT_EQ(differing_rows("all_types", "id", {{"dt", chars}}), 2);
    EXPECT_EQ(differing_rows("all_types", "id", {{"dtm", chars}}), 1);

    // And the read side reads back what it read.
    const auto back = read_table(*dest, L"all_types");
    ASSERT_EQ(back.size(), source.size());
    for (size_t r = 0; r < back.size(); ++r) {
        ASSERT_EQ(back[r]->size(), source[r]->size());
        for (size_t c = 0; c < back[r]->size(); ++c)
            EXPECT_EQ(text_of((*back[r])[c]), text_of((*source[r])[c]))
                << "row " << r + 1 << ", " << pt::utf8_encode((*source[r])[c].get_name());
    }
}

namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

// Values that end literals, statements or comments, or that the client library or the
// server might read as something else.
std::vector<std::string> hostile_values() {
    std::vector<std::string> v = {"'",
                                  "''",
                                  "\\",
                                  "\\'",
                                  "a\\",
                                  std::string("mid\0dle", 7),
                                  std::string("end\0", 4),
                                  "\r\n\x1A\t",
                                  "?",
                                  "%s",
                                  "NULL",
                                  "",
                                  "0x41",
                                  "1); DROP TABLE t; --",
                                  "' OR '1'='1",
                                  "x' OR '1'='1",
                                  "\xEF\xBF\xBD\xC3\xBF\xE4\xB8\x96",
                                  "3F2504E0-4F89-11D3-9A0C-0305E82C3301",
                                  "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}",
                                  "guid={3F2504E0-4F89-11D3-9A0C-0305E82C3301}",
                                  std::string(1048575, 'm'),
                                  std::string(1048577, 'M')};
    return v;
}

}  // namespace

TEST_F(sql_write, hostile_names_and_values_come_back_byte_exact) {
    REQUIRE_TEST_SERVER();
    const std::string table = "o'b`\xC3\xA9 t";
    in_src("CREATE TABLE " + quote_ident(table) +
           " (id INT PRIMARY KEY, `a``b` MEDIUMTEXT, `a'b` LONGBLOB, `a\"b` VARCHAR(200), "
           "`a+b` VARBINARY(300), `select` INT, `\xC3\x9C name` VARCHAR(10), `a\\b` VARCHAR(10)) "
           "CHARACTER SET utf8mb4");
    const auto values = hostile_values();
    int id = 0;
    for (const auto& v : values) {
        const std::string text = "CONVERT(X'" + hex(v) + "' USING utf8mb4)";
        const std::string small = v.size() <= 200 ? text : "NULL";
        const std::string number = std::to_string(++id);
        in_src("INSERT INTO " + quote_ident(table) + " VALUES (" + number + ", " + text + ", X'" +
               hex(v) + "', " + small + ", " + (v.size() <= 300 ? "X'" + hex(v) + "'" : "NULL") +
               ", " + number + ", 'x', " + (v.size() <= 10 ? text : "NULL") + ")");
    }
    std::string all_bytes;
    for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
    in_src("INSERT INTO " + quote_ident(table) + " VALUES (" + std::to_string(++id) + ", NULL, X'" +
           hex(all_bytes) + "', NULL, X'" + hex(all_bytes) + "', NULL, NULL, NULL)");
    const std::string long_name(64, 'n');
    for (const std::string& other : {std::string("x;y"), std::string("\xC3\x84\xC3\x96"), long_name,
                                     std::string("T"), std::string("t")}) {
        in_src("CREATE TABLE " + quote_ident(other) + " (id INT PRIMARY KEY, v VARCHAR(10))");
        in_src("INSERT INTO " + quote_ident(other) + " VALUES (1, " +
               quote_literal(other.substr(0, 10)) + ")");
    }

    src = open();
    for (const auto& name : src->get_table_names()) copy_table(*src, name);
    EXPECT_TRUE(reported_errors().empty()) << reported_errors()[0].message;

    // Columns with characters the server's rules forbid have safe names; they pair by
    // position.
    const auto src_columns = columns_of(db, table), dst_columns = columns_of(dst, table);
    ASSERT_EQ(dst_columns.size(), src_columns.size());
    EXPECT_EQ(dst_columns[1], "a_b");
    EXPECT_EQ(dst_columns[5], "select");
    std::vector<column_check> checks;
    for (size_t i = 0; i < src_columns.size(); ++i)
        checks.push_back({src_columns[i], dst_columns[i], "HEX($)"});
    // The empty value stays empty in the binary columns too, never NULL.
    EXPECT_EQ(differing_rows(table, table, {"id", "id", ""}, checks), 0);
    for (const std::string& other : {std::string("x;y"), std::string("\xC3\x84\xC3\x96"), long_name,
                                     std::string("T"), std::string("t")})
        EXPECT_EQ(differing_rows(other, "id", {{"v", "HEX($)"}}), 0) << other;
}
