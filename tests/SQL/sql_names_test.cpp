// Identifier quoting, the server version text and MySQL's name rules.
#include <gtest/gtest.h>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_fk.hpp"
#include "SQL/sql_vali.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

TEST(sql_engine_get_safe_name, quotes_every_name_so_that_it_cannot_end_the_identifier) {
    struct {
        std::wstring name, quoted;
    } cases[] = {
        {L"orders", L"`orders`"},
        {L"we`ird", L"`we``ird`"},  // a backtick inside is doubled
        {L"`", L"````"},            // a lone backtick is a name too
        {L"``", L"``````"},         // what looks quoted is a name like any other
        {L"`a``b`", L"```a````b```"},
        {L"`abc", L"```abc`"},
        {L"a`; DROP TABLE x; `", L"`a``; DROP TABLE x; ```"},
        {L"", L"``"},
        {L"o'brien \"x\"", L"`o'brien \"x\"`"},
        {L"表 é", L"`表 é`"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_engine::get_safe_name(c.name), c.quoted) << pt::utf8_encode(c.name);

    // Never cut: a cut name would name another table (callers refuse what is too long).
    EXPECT_EQ(sql_engine::get_safe_name(std::wstring(70, L'x')),
              L"`" + std::wstring(70, L'x') + L"`");
}

TEST(sql_engine_parse_version, reads_major_minor_and_patch) {
    struct {
        const char* text;
        bool ok;
        uint32_t version;
    } cases[] = {
        {"10.11.19-MariaDB-0+deb12u1", true, 0x0A0B13},
        {"5.7.44-log", true, 0x05072C},
        {"8.0.36", true, 0x080024},
        {"4.1.0", true, 0x040100},
        {"5.5.5-10.11.19-MariaDB", true, 0x0A0B13},  // the replication prefix
        {"5.5.5-log", true, 0x050505},
        {"abc", false, 0},
        {"5.7", false, 0},
        {"5..7", false, 0},
        {"", false, 0},
        {"300.1.1", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t v = 0;
        EXPECT_EQ(sql_engine::parse_version(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.version) << c.text;
        }
    }
    uint32_t v = 0;
    EXPECT_FALSE(sql_engine::parse_version(nullptr, v));
}

TEST(sql_validators, new_rules) {
    udb_record none;
    sql_new_fn_validator fields(none);
    sql_new_tn_validator tables({}, {});
    struct {
        std::wstring name;
        bool field_ok, table_ok;
    } cases[] = {
        {std::wstring(64, L'a'), true, true},
        {std::wstring(65, L'a'), false, false},
        {L"", false, false},
        {L" a", false, false},
        {L"a ", false, false},
        {L"a/b?", true, false},  // table names become file names
        {L"a`b", false, false},
        {L"a:b", true, false},
        {L"select", true, true},  // no reserved words from 4.1 on
        {L"表", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fields.is_acceptable(c.name), c.field_ok) << pt::utf8_encode(c.name);
        EXPECT_EQ(tables.is_acceptable(c.name), c.table_ok) << pt::utf8_encode(c.name);
    }
    EXPECT_EQ(tables.get_safe_name(L"a/b"), L"a_b");
    EXPECT_EQ(tables.get_safe_name(L"  Spaced  "), L"spaced");
}

TEST(sql_validators, old_rules) {
    udb_record none;
    sql_old_fn_validator v(none);
    struct {
        std::wstring name;
        bool ok;
        std::wstring safe;
    } cases[] = {
        {L"select", false, L"select00000"},
        {L"SeLeCt", false, L"select00000"},
        {L"a-b", false, L"a_b"},
        {L"123", false, L"_23"},
        {L"a_b$1", true, L"a_b$1"},
        {L"é1", true, L"é1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(v.is_acceptable(c.name), c.ok) << pt::utf8_encode(c.name);
        EXPECT_EQ(v.get_safe_name(c.name), c.safe) << pt::utf8_encode(c.name);
    }
}

TEST(sql_field_finder, gives_each_name_that_differs_only_in_case_a_name_of_its_own) {
    sql_engine engine;  // not connected: the rules of old servers
    udb_record r;
    r.push_back(std::make_unique<udb_field>(L"ID", 0, ole_variant(1)));
    r.push_back(std::make_unique<udb_field>(L"id", 0, ole_variant(2)));
    r.push_back(std::make_unique<udb_field>(L"a-b", 0, ole_variant(3)));
    sql_field_finder finder(r);
    ASSERT_EQ(finder.names().size(), 3u);
    EXPECT_EQ(finder.names()[0], L"ID");
    EXPECT_NE(finder.names()[1], L"id");
    EXPECT_FALSE(tk_iequal(finder.names()[1], L"ID"));
    EXPECT_EQ(finder.names()[2], L"a_b");
    EXPECT_EQ(finder.get_field_idx(L"id"), 0);
    EXPECT_EQ(finder.get_field_idx(finder.names()[1]), 1);
    EXPECT_EQ(finder.get_field_idx(L"a-b"), -1);  // found by its safe name only
    EXPECT_EQ(finder.get_field_idx(L"a_b"), 2);
}
