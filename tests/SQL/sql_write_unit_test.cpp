// The write side's pure parts: literals, column types, defaults, the row-size rule,
// view text and foreign-key rules. The engine is not connected; the client library
// escapes as it does for a session without NO_BACKSLASH_ESCAPES.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_fk.hpp"
#include "SQL/sql_sch.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_val.hpp"
#include "SQL/sql_view.hpp"
#include "ole/ole_date.hpp"
#include "TK/tk_except.hpp"
#include "platform/text.hpp"

namespace {

t_ftd column(VARTYPE vt, int32_t size, int32_t reserved = 0, bool not_null = false,
             const ole_variant& def = ole_variant()) {
    return t_ftd(size, L"c", vt, not_null, false, def, reserved);
}

udb_field field(const ole_variant& v, uint32_t size = 10) {
    return udb_field(L"c", size, v);
}

constexpr uint32_t mariadb_10_11 = 0x0A0B13;

}  // namespace

TEST(sql_literals, only_well_formed_numbers_and_hex_stand_bare) {
    struct {
        const char* text;
        bool number, hex;
    } cases[] = {
        {"42", true, false},     {"-0.5", true, false},       {"+7", true, false},
        {"1e5", true, false},    {"1.5E-3", true, false},     {"1 OR 1=1", false, false},
        {"1),(2", false, false}, {".5", false, false},        {"5.", false, false},
        {"1e", false, false},    {"inf", false, false},       {"", false, false},
        {"0x1F", false, true},   {"0X1f2E", false, true},     {"0x", false, false},
        {"0xZZ", false, false},  {"0x1F OR 1", false, false}, {"--1", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sql_is_number_literal(c.text), c.number) << c.text;
        EXPECT_EQ(sql_is_hex_literal(c.text), c.hex) << c.text;
    }
}

TEST(sql_literals, every_value_becomes_a_literal_that_cannot_end_early) {
    sql_engine engine;
    struct {
        std::string text;
        VARTYPE vt;
        std::string literal;
    } cases[] = {
        {"42", VT_I4, "42"},
        {"1 OR 1=1", VT_I4, "'1 OR 1=1'"},  // the server converts or refuses it
        {"-1.5e3", VT_R8, "-1.5e3"},
        {"O'Neil", VT_BSTR, "'O\\'Neil'"},
        {"a\\b", VT_BSTR, "'a\\\\b'"},
        {"x' OR '1'='1", VT_BSTR, "'x\\' OR \\'1\\'=\\'1'"},
        {std::string("nul\0here", 8), VT_BSTR, "'nul\\0here'"},
        {"\r\n\x1A\"", VT_BSTR, "'\\r\\n\\Z\\\"'"},
        {"", VT_I4, "''"},
        {"anything", VT_NULL, "NULL"},
        {"0x1F2E", VT_UI1_ARRAY, "0x1F2E"},
        {"12345", VT_BLOB, "'12345'"},  // bare, the server would compare it as a number
        {"0xZZ", VT_BLOB, "'0xZZ'"},
        {"2024-02-29 10:20:30.5", VT_DATE, "'2024-02-29 10:20:30.500000'"},
        {"29.02.2024", VT_DATE, "'2024-02-29'"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_mysql_str(c.text, c.vt), c.literal) << c.text;

    EXPECT_EQ(to_mysql_str(ole_variant(std::vector<uint8_t>{0x00, 0xAB})), "0x00AB");
    EXPECT_EQ(to_mysql_str(ole_variant(std::wstring(L"é\0'", 3))), "'é\\0\\''");
    EXPECT_EQ(to_mysql_str(ole_variant()), "NULL");
    ole_variant::refill_storage spare;
    ole_variant no_bytes;
    no_bytes.refill_bytes(spare);
    EXPECT_EQ(to_mysql_str(no_bytes), "X''") << "empty bytes are a value, not NULL";
    // Enough digits to read back as the same float, or double.
    EXPECT_EQ(to_mysql_str(ole_variant(1.0f + std::ldexp(1.0f, -23))), "1.0000001e+00");
    EXPECT_EQ(to_mysql_str(ole_variant(0.1)), "1.0000000000000001e-01");
    EXPECT_EQ(to_mysql_wstr(L"it's", VT_BSTR), L"'it\\'s'");
    try {
        to_mysql_str("2024-13-45", VT_DATE);
        ADD_FAILURE() << "a text that is no date is refused";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.kind(), tk_kind_continue);
        EXPECT_NE(std::string(e.what()).find("'2024-13-45'"), std::string::npos) << e.what();
    }
    for (double d : {std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_THROW(to_mysql_str(ole_variant(d)), tk_exception);
}

TEST(sql_literals, a_field_for_its_column) {
    sql_engine engine;
    const std::wstring guid = L"3F2504E0-4F89-11D3-9A0C-0305E82C3301";
    const std::wstring big(0x100001, L'x');
    struct {
        const char* what;
        udb_field value;
        t_ftd col;
        bool placeholders;
        std::string literal;
    } cases[] = {
        {"NOT NULL number without a value", field(ole_variant()), column(VT_I4, 11, 0, true), false,
         "0"},
        {"NOT NULL number with a default", field(ole_variant()),
         column(VT_I4, 11, 0, true, ole_variant(int32_t{5})), false, "5"},
        {"nullable number", field(ole_variant()), column(VT_I4, 11), false, "NULL"},
        {"text for a number", field(ole_variant(L"12.50")), column(VT_DECIMAL, 10), false, "12.50"},
        {"words for a number", field(ole_variant(L"5 OR 1=1")), column(VT_I4, 11), false,
         "'5 OR 1=1'"},
        {"a number for a text", field(ole_variant(int32_t{12345})), column(VT_BSTR, 10), false,
         "'12345'"},
        {"a number for bytes", field(ole_variant(int32_t{12345})), column(VT_UI1_ARRAY, 10), false,
         "'12345'"},
        {"empty bytes, NOT NULL", field(ole_variant()), column(VT_UI1_ARRAY, 10, 0, true), false,
         "''"},
        {"empty bytes, nullable", field(ole_variant()), column(VT_UI1_ARRAY, 10), false, "NULL"},
        {"geometry", field(ole_variant(L"POINT(1 2)")), column(VT_BSTR, 0, 2), false,
         "ST_GeomFromText('POINT(1 2)')"},
        {"GUID that fits", field(ole_variant(L"{" + guid + L"}")), column(VT_BSTR, 38), false,
         "'{" + pt::utf8_encode(guid) + "}'"},
        {"GUID cut to its GUID column", field(ole_variant(L"{" + guid + L"}")), column(VT_BSTR, 36),
         false, "'" + pt::utf8_encode(guid) + "'"},
        {"GUID in a text column", field(ole_variant(L"{" + guid + L"}")), column(VT_BSTR, 37),
         false, "'{" + pt::utf8_encode(guid) + "}'"},
        {"midnight for a TIME column", field(ole_variant(ole_date("00:00:00"))),
         column(VT_DATE, 10, udb_time_only), false, "'00:00:00'"},
        {"a date-time for a TIME column", field(ole_variant(ole_date("2024-01-15 12:34:56.5"))),
         column(VT_DATE, 17, udb_time_only), false, "'12:34:56.500000'"},
        {"long value, placeholders", field(ole_variant(big), 0x100001), column(VT_BSTR, 0), true,
         "?"},
        {"long geometry, placeholders", field(ole_variant(big), 0x100001), column(VT_BSTR, 0, 2),
         true, "ST_GeomFromText(?)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(get_fld_append_str(c.value, c.col, c.placeholders).substr(0, 200), c.literal)
            << c.what;
    // A condition compares with the value itself, never the column's default.
    EXPECT_EQ(get_fld_condition_str(field(ole_variant()), column(VT_I4, 11, 0, true)), "NULL");
    EXPECT_EQ(
        get_fld_append_str(field(ole_variant(big), 0x100001), column(VT_BSTR, 0), false).size(),
        big.size() + 2);
}

TEST(sql_literals, column_defaults) {
    sql_engine engine;
    struct {
        const char* what;
        t_ftd col;
        std::wstring def;
    } cases[] = {
        {"int", column(VT_I4, 11, 0, false, ole_variant(L"5")), L"5"},
        {"int with a leading zero", column(VT_I4, 11, 0, false, ole_variant(L"007")), L""},
        {"int with more after it", column(VT_I4, 11, 0, false, ole_variant(L"5 COMMENT 'x'")), L""},
        {"unsigned 64 bits", column(VT_UI8, 20, 0, false, ole_variant(L"18446744073709551615")),
         L"18446744073709551615"},
        {"double", column(VT_R8, 22, 0, false, ole_variant(L"1.5e3")), L"1.5e3"},
        {"double with words", column(VT_R8, 22, 0, false, ole_variant(L"abc")), L""},
        {"float", column(VT_R4, 12, 0, false, ole_variant(16777216.0f)), L"1.6777216e+07"},
        {"decimal with a comma", column(VT_DECIMAL, 10, 0, false, ole_variant(L"0,0")), L""},
        {"text", column(VT_BSTR, 10, 0, false, ole_variant(L"a'b\\")), L"'a\\'b\\\\'"},
        {"empty text", column(VT_BSTR, 10, 0, true, ole_variant(L"")), L"''"},
        {"no default", column(VT_BSTR, 10), L""},
        {"newid()", column(VT_I4, 11, 0, false, ole_variant(L"NEWID()")), L""},
        {"current time", column(VT_DATE, 19, 9), L"CURRENT_TIMESTAMP"},
        {"current time with fractions", column(VT_DATE, 26, 9), L"CURRENT_TIMESTAMP(6)"},
        {"getdate()", column(VT_DATE, 19, 1, false, ole_variant(L"getdate()")),
         L"CURRENT_TIMESTAMP"},
        {"a date", column(VT_DATE, 10, 2, false, ole_variant(L"2024-02-29 00:00:00")),
         L"'2024-02-29'"},
        {"no date", column(VT_DATE, 10, 2, false, ole_variant(L"someday")), L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(make_mysql_def_val(c.col, mariadb_10_11), c.def) << c.what;
}

TEST(sql_column_types, every_descriptor_has_a_type_the_server_takes) {
    struct {
        VARTYPE vt;
        int32_t size, reserved;
        std::wstring type;
    } cases[] = {
        {VT_I1, 4, 0, L"TINYINT"},
        {VT_UI8, 20, 2, L"BIGINT UNSIGNED"},
        {VT_BOOL, 1, 0, L"TINYINT(1)"},
        {VT_CY, 21, 0, L"DECIMAL(19,4)"},
        {VT_BSTR, 255, 16, L"CHAR(255)"},
        {VT_BSTR, 256, 16, L"VARCHAR(256)"},
        {VT_BSTR, 21844, 0, L"VARCHAR(21844)"},  // 21845 utf8 characters are refused
        {VT_BSTR, 21845, 0, L"MEDIUMTEXT"},
        {VT_BSTR, 5592405, 0, L"MEDIUMTEXT"},
        {VT_BSTR, 5592406, 0, L"LONGTEXT"},
        {VT_BSTR, 0, 0, L"LONGTEXT"},
        {VT_LPWSTR, 10, 0, L"VARCHAR(10)"},
        {VT_BSTR, INT32_MAX, 2, L"geometry"},
        {VT_UI1_ARRAY, 255, 0, L"VARBINARY(255)"},
        {VT_UI1_ARRAY, 256, 0, L"BLOB"},
        {VT_UI1_ARRAY, 65536, 0, L"MEDIUMBLOB"},
        {VT_BLOB, 16777216, 0, L"LONGBLOB"},
        {VT_DATE, 26, 1, L"DATETIME(6)"},
        {VT_DATE, 19, 1, L"DATETIME"},
        {VT_DATE, 10, 2, L"DATE"},
        {VT_DATE, 10, 3, L"TIME"},
        {VT_DATE, 14, 3, L"TIME(3)"},
        {VT_DATE, 26, 9, L"TIMESTAMP(6)"},
        {VT_DATE, 19, 0, L"CHAR(19)"},
        {VT_DATE, 26, 0, L"CHAR(26)"},
    };
    for (const auto& c : cases) {
        t_ftd d = column(c.vt, c.size, c.reserved);
        EXPECT_EQ(get_sql_native_type2(d, mariadb_10_11), c.type) << c.vt << " " << c.size;
    }
    t_ftd decimal = column(VT_DECIMAL, 12);
    decimal.precision = 10;
    decimal.scale = 2;
    EXPECT_EQ(get_sql_native_type2(decimal, mariadb_10_11), L"DECIMAL(10,2)");
    EXPECT_EQ(get_sql_native_type2(column(VT_DATE, 26, 1), 0x050600), L"DATETIME")
        << "no fractions before 5.6.4";
    EXPECT_THROW(get_sql_native_type2(column(VT_VARIANT, 1), mariadb_10_11), tk_mail_assertion);
}

TEST(sql_schema_rule, long_text_columns_give_way_until_the_row_fits) {
    struct {
        const char* what;
        std::vector<std::pair<VARTYPE, int32_t>> columns;
        std::vector<int32_t> sizes;
    } cases[] = {
        {"two of 10000: the newest gives way", {{VT_BSTR, 10000}, {VT_BSTR, 10000}}, {10000, 0}},
        {"21844 alone is too much", {{VT_BSTR, 21844}}, {0}},
        {"21845 is a text type already", {{VT_BSTR, 21845}}, {21845}},
        {"text and BLOBs count as pointers",
         {{VT_BSTR, 20}, {VT_BSTR, 196605}, {VT_UI1_ARRAY, 65535}, {VT_UI1_ARRAY, 65535}},
         {20, 196605, 65535, 65535}},
        {"the largest first",
         {{VT_BSTR, 5000}, {VT_BSTR, 12000}, {VT_I4, 11}, {VT_BSTR, 9000}},
         {5000, 0, 11, 9000}},
    };
    for (const auto& c : cases) {
        sql_schema schema;
        for (const auto& [vt, size] : c.columns)
            schema.push_back(std::make_unique<t_ftd>(column(vt, size)));
        std::vector<int32_t> sizes;
        for (size_t i = 0; i < schema.size(); ++i) sizes.push_back(schema[i].size);
        EXPECT_EQ(sizes, c.sizes) << c.what;
        EXPECT_LE(schema.total_size(), 65535u) << c.what;
    }
}

TEST(sql_view_converter, rewrites_names_and_calls_outside_literals_only) {
    udb_names_map names;
    names.add_tn_mapping(L"v/1", L"v_1");
    names.add_fn_map(L"t", {{L"a+b", L"a_b"}});
    const sql_view_converter views(names);
    struct {
        std::wstring in, out;
    } cases[] = {
        {L"select  `a+b`\r\n from\t`t`", L"select `a_b` from `t`;"},
        {L"select * from [v/1] where [order] = 'order'",
         L"select * from `v_1` where `order` = 'order';"},
        {L"select 'a+b', \"[x]\", '  isnull(a, 0)  ' from t",
         L"select 'a+b', \"[x]\", '  isnull(a, 0)  ' from t;"},
        {L"select isnull(a, 0), isnull(a), isnull(f(a, b), 0)",
         L"select ifnull(a, 0), isnull(a), isnull(f(a, b), 0);"},
        {L"select isnull(a, 'x,y')", L"select ifnull(a, 'x,y');"},
        {L"select datediff(day, d1, d2), datediff(d1, d2)",
         L"select datediff( d1, d2), datediff(d1, d2);"},
        {L"select dateadd(day, 1, d), replicate('x', 3), len(s), getdate()",
         L"select dateadd(day, 1, d), repeat('x', 3), length(s), curdate();"},
        {L"select len from t", L"select len from t;"},  // a column, not a call
        {L"select `it``s` from t", L"select `it``s` from t;"},
    };
    for (const auto& c : cases) EXPECT_EQ(views.refine(c.in), c.out) << pt::utf8_encode(c.in);

    for (const wchar_t* yes :
         {L"SELECT 1", L"  /* c */ select 1", L"WITH x AS (SELECT 1) SELECT * FROM x"})
        EXPECT_TRUE(sql_view_converter::is_select(yes)) << pt::utf8_encode(yes);
    for (const wchar_t* no : {L"SHOW TABLES", L"selection", L"", L"'select'"})
        EXPECT_FALSE(sql_view_converter::is_select(no)) << pt::utf8_encode(no);
}

TEST(sql_fk_rule, only_the_referential_actions_are_written) {
    struct {
        std::wstring text;
        bool ok;
        std::wstring rule;
    } cases[] = {
        {L"", true, L""},
        {L"ON DELETE CASCADE", true, L"ON DELETE CASCADE"},
        {L"on delete set null  on update no action", true,
         L"ON DELETE SET NULL ON UPDATE NO ACTION"},
        {L"ON UPDATE SET DEFAULT ON DELETE RESTRICT", true,
         L"ON UPDATE SET DEFAULT ON DELETE RESTRICT"},
        {L"ON DELETE CASCADE ON DELETE CASCADE", false, L""},
        {L"ON DELETE CASCADE, ADD COLUMN x INT", false, L""},
        {L"ON DELETE SET", false, L""},
        {L"MATCH FULL", false, L""},
    };
    for (const auto& c : cases) {
        std::wstring rule = L"stale";
        EXPECT_EQ(sql_fk_rule(c.text, rule), c.ok) << pt::utf8_encode(c.text);
        if (c.ok) {
            EXPECT_EQ(rule, c.rule) << pt::utf8_encode(c.text);
        }
    }
}
