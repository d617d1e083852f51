// Foreign keys out of CREATE TABLE text, as the server writes it and as it must not be
// misread.
#include <gtest/gtest.h>

#include <random>

#include "SQL/sql_fk.hpp"
#include "platform/text.hpp"

namespace {

using names = std::vector<std::wstring>;

std::vector<udb_relationship> parse(const std::wstring& text) {
    std::vector<udb_relationship> list;
    sql_fk_parser(L"orders", text).do_parse(list);
    return list;
}

}  // namespace

TEST(sql_fk_parser, reads_the_constraint_lines_of_create_table_text) {
    struct {
        const char* what;
        std::wstring line;
        std::wstring name, pk_table, rule;
        names fk, pk;
    } cases[] = {
        {"the usual form",
         L"  CONSTRAINT `fk_ord_cust` FOREIGN KEY (`cust_id`, `shop`) REFERENCES `customers` "
         L"(`id`, `shop`) ON DELETE CASCADE,",
         L"fk_ord_cust",
         L"customers",
         L"ON DELETE CASCADE",
         {L"cust_id", L"shop"},
         {L"id", L"shop"}},
        {"no rules, last line",
         L"  CONSTRAINT `f` FOREIGN KEY (`a`) REFERENCES `p` (`x`)",
         L"f",
         L"p",
         L"",
         {L"a"},
         {L"x"}},
        {"both rules",
         L"  CONSTRAINT `f` FOREIGN KEY (`a`) REFERENCES `p` (`x`) ON DELETE SET NULL ON UPDATE "
         L"CASCADE,",
         L"f",
         L"p",
         L"ON DELETE SET NULL ON UPDATE CASCADE",
         {L"a"},
         {L"x"}},
        {"doubled backticks",
         L"  CONSTRAINT `f``k` FOREIGN KEY (`p``id`) REFERENCES `we``ird` (`i``d`)",
         L"f`k",
         L"we`ird",
         L"",
         {L"p`id"},
         {L"i`d"}},
        {"names outside ASCII",
         L"  CONSTRAINT `clé` FOREIGN KEY (`表`) REFERENCES `Straße` (`ключ`)",
         L"clé",
         L"Straße",
         L"",
         {L"表"},
         {L"ключ"}},
        {"blanks and parentheses inside names",
         L"  CONSTRAINT `a (b), c` FOREIGN KEY (`x y`) REFERENCES `p q` (`(z)`)",
         L"a (b), c",
         L"p q",
         L"",
         {L"x y"},
         {L"(z)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto list = parse(L"CREATE TABLE `orders` (\n  `a` int,\n" + c.line + L"\n) ENGINE=InnoDB");
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].name, c.name);
        EXPECT_EQ(list[0].fk_table, L"orders");
        EXPECT_EQ(list[0].pk_table, c.pk_table);
        EXPECT_EQ(list[0].rule, c.rule);
        EXPECT_EQ(list[0].fk_flds, c.fk);
        EXPECT_EQ(list[0].pk_flds, c.pk);
    }
}

TEST(sql_fk_parser, adds_nothing_for_lines_that_only_look_like_foreign_keys) {
    const std::wstring lines[] = {
        L"  CONSTRAINT `chk` CHECK (`a` > 0),",
        L"  `j` longtext CHECK (json_valid(`j`)),",
        L"  `c` int COMMENT 'CONSTRAINT `f` FOREIGN KEY (`c`) REFERENCES `p` (`x`)',",
        L"  KEY `fk` (`a`),",
        L"  CONSTRAINT `f` FOREIGN KEY (`a`) REFERENCES `p`",  // no column list after REFERENCES
        // Another database's table: a local one of the same name is not it.
        L"  CONSTRAINT `x` FOREIGN KEY (`a`) REFERENCES `other`.`p` (`id`) ON DELETE CASCADE",
        L"  CONSTRAINT `f` FOREIGN KEY (`a`) REFERENCES `p` (`x`",
        L"  CONSTRAINT `f FOREIGN KEY (`a`) REFERENCES `p` (`x`)",
        L"  CONSTRAINT",
        L"",
    };
    for (const auto& line : lines) EXPECT_TRUE(parse(line).empty()) << pt::utf8_encode(line);
}

TEST(sql_fk_parser, appends_in_text_order_to_the_list_it_is_given) {
    std::vector<udb_relationship> list;
    sql_fk_parser(L"a",
                  std::string_view("CREATE TABLE `a` (\n"
                                   "  CONSTRAINT `f1` FOREIGN KEY (`x`) REFERENCES `p` (`x`),\n"
                                   "  CONSTRAINT `f2` FOREIGN KEY (`y`) REFERENCES `q` (`y`)\n)"))
        .do_parse(list);
    sql_fk_parser(L"b", std::wstring(L"  CONSTRAINT `f3` FOREIGN KEY (`z`) REFERENCES `r` (`z`)"))
        .do_parse(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, L"f1");
    EXPECT_EQ(list[1].name, L"f2");
    EXPECT_EQ(list[2].name, L"f3");
    EXPECT_EQ(list[2].fk_table, L"b");
}

TEST(sql_fk_parser, survives_any_input) {
    // Every prefix of a real text, and random text built from the characters that matter.
    const std::wstring text =
        L"CREATE TABLE `t` (\n  CONSTRAINT `f``k` FOREIGN KEY (`a`, `b`) REFERENCES `d`.`p` "
        L"(`x`, `y`) ON DELETE CASCADE,\n  CONSTRAINT \"q\" FOREIGN KEY (c) REFERENCES p2 (z)\n)";
    for (size_t n = 0; n <= text.size(); ++n) parse(text.substr(0, n));
    const wchar_t alphabet[] = L"`\"(),. \nCONSTRAINTFOREIGNKEYREFERENCESab";
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 2);
    for (int round = 0; round < 2000; ++round) {
        std::wstring s;
        for (int i = 0; i < 60; ++i) s.push_back(alphabet[pick(random)]);
        parse(s);
    }
    auto whole = parse(text);
    ASSERT_EQ(whole.size(), 1u) << "the key into database d is left out";
    EXPECT_EQ(whole[0].name, L"q");
    EXPECT_EQ(whole[0].pk_table, L"p2");
}

TEST(sql_fk_parser, get_columns_reads_backtick_quoted_names) {
    names out;
    EXPECT_TRUE(sql_fk_parser::get_columns(L"(`a`, `b``c`, d, `é`)", out));
    EXPECT_EQ(out, (names{L"a", L"b`c", L"é"}));
}
