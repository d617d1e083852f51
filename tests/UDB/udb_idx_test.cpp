#include "UDB/udb_idx.hpp"

#include <gtest/gtest.h>

namespace {

using names = std::vector<std::wstring>;

udb_index make(const std::wstring& name, bool unique, bool primary, bool constraint, names fields) {
    udb_index i(name, unique, primary, fields);
    i.unique_constraint = constraint;
    return i;
}

}  // namespace

TEST(udb_indexes, same_name_definitions_merge_by_strength) {
    enum kind { plain, uniq, prim, cons, cons_uniq };
    auto build = [](kind k, const std::wstring& name, const std::wstring& field) {
        switch (k) {
            case plain:
                return make(name, false, false, false, {field});
            case uniq:
                return make(name, true, false, false, {field});
            case prim:
                return make(name, true, true, false, {field});
            case cons:
                return make(name, false, false, true, {field});
            default:
                return make(name, true, false, true, {field});
        }
    };
    // The listed index is built on column "old", the new one on "new"; which one survives
    // shows whether the new definition replaced the listed one.
    struct {
        kind listed, added;
        bool replaced;
    } cases[] = {
        {prim, plain, false},    {prim, prim, false},      {prim, cons_uniq, false},
        {plain, prim, true},     {uniq, prim, true},       {cons, prim, true},
        {cons, uniq, false},     {cons, cons_uniq, false}, {plain, cons, true},
        {uniq, cons_uniq, true}, {uniq, plain, false},     {uniq, uniq, false},
        {plain, plain, false},   {plain, uniq, true},
    };
    for (const auto& c : cases) {
        udb_indexes list;
        list.push_back(make(L"first", false, false, false, {L"a"}));
        list.push_back(build(c.listed, L"Key1", L"old"));
        list.push_back(make(L"last", false, false, false, {L"z"}));
        udb_index added = build(c.added, L"KEY1", L"new");
        list.push_back(added);
        ASSERT_EQ(list.size(), 3u);
        const udb_index& got = list[1];  // the position stays
        EXPECT_EQ(got.fields, names{c.replaced ? L"new" : L"old"}) << c.listed << "/" << c.added;
        if (c.replaced) {
            EXPECT_EQ(got.name, L"KEY1");
            EXPECT_EQ(got.unique, added.unique);
            EXPECT_EQ(got.primary, added.primary);
            EXPECT_EQ(got.unique_constraint, added.unique_constraint);
        }
    }
}

TEST(udb_indexes, new_names_are_appended_in_order_and_found_without_regard_to_case) {
    udb_indexes list;
    list.push_back(make(L"PRIMARY", true, true, false, {L"id"}));
    list.push_back(make(L"by_name", false, false, false, {L"Name", L"First"}));
    list.push_back(make(L"primary", false, false, false, {L"x"}));  // same name: merged away
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.find(L"By_Name"), 1);
    EXPECT_EQ(list.find(L"other"), -1);
    EXPECT_EQ(list[0].fields, names{L"id"});
}

TEST(udb_indexes, is_idx_field_compares_column_names_exactly) {
    udb_indexes list;
    list.push_back(make(L"PRIMARY", true, true, false, {L"id"}));
    list.push_back(make(L"by_name", false, false, false, {L"Name"}));
    struct {
        std::wstring column;
        bool primary_only, found;
    } cases[] = {
        {L"id", false, true},   {L"id", true, true},    {L"ID", false, false},
        {L"Name", false, true}, {L"Name", true, false}, {L"name", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(list.is_idx_field(c.column, c.primary_only), c.found) << c.primary_only;
}

TEST(udb_index, starts_with_fields_compares_the_leading_columns) {
    udb_index i(L"k", false, false, {L"Last", L"First", L"Born"});
    struct {
        names columns;
        bool result;
    } cases[] = {
        {{}, true},
        {{L"last"}, true},
        {{L"LAST", L"first"}, true},
        {{L"Last", L"First", L"Born"}, true},
        {{L"Last", L"First", L"Born", L"X"}, false},
        {{L"First"}, false},
        {{L"Last", L"Born"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(i.starts_with_fields(c.columns), c.result) << c.columns.size();
    EXPECT_TRUE(udb_index(L"e", false, false, {}).starts_with_fields({}));
}

TEST(udb_relationship, a_copy_drops_the_second_text_only) {
    udb_relationship r(L"fk_order", L"extra", L"order_lines", L"orders", {L"order_id", L"shop"},
                       {L"id", L"shop"}, L"ON DELETE CASCADE");
    for (const udb_relationship& c : {udb_relationship(r), [&] {
                                          udb_relationship other(L"x", L"y", L"", L"", {}, {}, L"");
                                          other = r;
                                          return other;
                                      }()}) {
        EXPECT_EQ(c.name, r.name);
        EXPECT_EQ(c.text2, L"");
        EXPECT_EQ(c.fk_table, r.fk_table);
        EXPECT_EQ(c.pk_table, r.pk_table);
        EXPECT_EQ(c.rule, r.rule);
        EXPECT_EQ(c.fk_flds, r.fk_flds);
        EXPECT_EQ(c.pk_flds, r.pk_flds);
    }
}
