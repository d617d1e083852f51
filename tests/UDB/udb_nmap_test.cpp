#include "UDB/udb_nmap.hpp"

#include <gtest/gtest.h>

TEST(udb_names_map, replaces_whole_words_only_and_wraps_the_new_name) {
    using map = udb_names_map::name_map;
    struct {
        map renames;
        std::wstring prefix, suffix, text, result;
    } cases[] = {
        {{{L"order", L"order_"}},
         L"`",
         L"`",
         L"select * from order o where o.orderid > 0",
         L"select * from `order_` o where o.orderid > 0"},
        // At the very start and end of the text.
        {{{L"order", L"order_"}}, L"`", L"`", L"order", L"`order_`"},
        {{{L"t", L"u"}}, L"", L"", L"t+t", L"u+u"},
        // An underscore is no letter or digit.
        {{{L"order", L"o2"}}, L"", L"", L"order_id", L"o2_id"},
        // Case is ignored in the search, and letters outside ASCII count as letters.
        {{{L"\u00c4pfel", L"apples"}},
         L"",
         L"",
         L"x \u00e4PFEL y \u00e4pfel\u00f6",
         L"x apples y \u00e4pfel\u00f6"},
        // A new name that already carries the prefix and suffix gets them only once.
        {{{L"a b", L"`a_b`"}}, L"`", L"`", L"select a b", L"select `a_b`"},
        {{{L"a", L"`a1"}}, L"`", L"`", L"a", L"`a1`"},
        // The scan goes on after the inserted text, so a name inside its own
        // replacement is not replaced again.
        {{{L"x", L"x x"}}, L"", L"", L"x-x", L"x x-x x"},
        // Each entry works on the text the previous one left.
        {{{L"a", L"b"}, {L"b", L"c"}}, L"", L"", L"a b", L"c c"},
        {{{L"", L"never"}}, L"", L"", L"text", L"text"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(udb_names_map::do_global_replace2(c.text, c.renames, c.prefix, c.suffix),
                  c.result);
}

TEST(udb_names_map, global_replace_applies_table_then_field_renames) {
    udb_names_map m;
    m.add_tn_mapping(L"order", L"order_");
    m.add_fn_map(L"order", {{L"desc", L"desc_"}});
    m.add_fn_map(L"lines", {{L"order_", L"order_ref"}});
    // The table rename makes order_, which the field map of another table then renames.
    EXPECT_EQ(m.do_global_replace1(L"select desc from order", L"", L""),
              L"select desc_ from order_ref");
}

TEST(udb_names_map, mapped_names_fall_back_to_the_name_itself) {
    udb_names_map m;
    m.add_tn_mapping(L"order", L"order_");
    m.add_fn_map(L"order", {{L"Desc", L"desc_"}});
    EXPECT_EQ(m.get_tn_mapped_name(L"order", true), L"order_");
    EXPECT_EQ(m.get_tn_mapped_name(L"ORDER", true), L"ORDER");
    EXPECT_EQ(m.get_tn_mapped_name(L"ORDER", false), L"order_");
    EXPECT_EQ(m.get_tn_mapped_name(L"other", false), L"other");
    EXPECT_EQ(m.get_fn_mapped_name(L"order", L"Desc"), L"desc_");
    EXPECT_EQ(m.get_fn_mapped_name(L"order", L"desc"), L"desc");  // exact
    EXPECT_EQ(m.get_fn_mapped_name(L"ORDER", L"Desc"), L"Desc");
}
