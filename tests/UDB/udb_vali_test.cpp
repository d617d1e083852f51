#include "UDB/udb_vali.hpp"

#include <gtest/gtest.h>

#include "TK/tk_except.hpp"

namespace {

// A rule of its own, to show that get_safe_name asks the derived is_acceptable.
struct no_digits_validator : udb_validator {
    no_digits_validator() : udb_validator(0) {}
    bool is_acceptable(const std::wstring& name) override {
        return name.find_first_of(L"0123456789") == std::wstring::npos &&
               udb_validator::is_acceptable(name);
    }
};

}  // namespace

TEST(udb_validator, is_acceptable_checks_length_reserved_words_and_characters) {
    udb_validator v(10);
    v.reserved_words() = {L"select", L"T\u00c4BLE"};
    v.forbidden_chars() = {L'-', L'`'};
    struct {
        std::wstring name;
        bool ok;
    } cases[] = {
        {L"abcdefghij", true},    // exactly the maximum
        {L"abcdefghijk", false},  // one more
        {L"SELECT", false},       // reserved words ignore case
        {L"t\u00e4ble", false},   // also outside ASCII
        {L"selects", true},      {L"a-b", false}, {L"a`b", false}, {L"", true},
    };
    for (const auto& c : cases) EXPECT_EQ(v.is_acceptable(c.name), c.ok) << c.name.size();
    EXPECT_TRUE(udb_validator(0).is_acceptable(std::wstring(500, L'x')));  // 0: no limit
}

TEST(udb_validator, safe_names_follow_the_documented_examples) {
    struct {
        uint32_t max;
        std::vector<std::wstring> existing;
        std::vector<wchar_t> forbidden;
        std::wstring name, safe;
    } cases[] = {
        {10, {}, {}, L"ABCDEFGHIJKL", L"abcdefghi"},
        {10, {L"abcdefghi"}, {}, L"ABCDEFGHIJKL", L"abcd00000"},
        {10, {L"abcdefghi", L"ABCD00000"}, {}, L"ABCDEFGHIJKL", L"abcd00001"},
        {0, {}, {L'-'}, L"a-b", L"a_b"},
        {0, {L"Orders"}, {}, L"Orders", L"orders00000"},
        {0, {L"orders", L"orders00000", L"orders00001"}, {}, L"ORDERS", L"orders00002"},
        // Lower-casing is pinned to A-Z, whatever the environment says.
        {0, {}, {}, L"\u00c4RGER", L"\u00c4rger"},
        // A short name is not cut before the number.
        {10, {L"ab"}, {}, L"AB", L"ab00000"},
    };
    for (const auto& c : cases) {
        udb_validator v(c.max);
        for (const auto& n : c.existing) v.add_existing_name(n);
        v.forbidden_chars() = c.forbidden;
        EXPECT_EQ(v.get_safe_name(c.name), c.safe) << c.safe.size();
        // The answer is not taken by the validator itself.
        EXPECT_EQ(v.existing_names(), c.existing);
    }
}

TEST(udb_validator, duplicates_ignore_case) {
    udb_validator v(0);
    v.add_existing_name(L"Orders");
    v.add_existing_name(L"\u00c4mter");
    EXPECT_TRUE(v.is_duplicated(L"ORDERS"));
    EXPECT_TRUE(v.is_duplicated(L"\u00e4MTER"));
    EXPECT_FALSE(v.is_duplicated(L"Order"));
}

TEST(udb_validator, safe_name_uses_the_derived_rule_and_gives_up_with_an_internal_error) {
    no_digits_validator v;
    v.add_existing_name(L"x");
    // Every numbered candidate holds digits, so the derived rule refuses them all.
    try {
        v.get_safe_name(L"x");
        ADD_FAILURE();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(), make_err_meggase("udb_vali.cpp", 55));
    }
}

TEST(udb_validator, mapped_pairs_keep_the_latest_name_for_a_source) {
    udb_validator v(64);
    v.add_mapped_pair(L"a b", L"a_b");
    v.add_mapped_pair(L"a b", L"a_b00000");
    EXPECT_EQ(v.mapped_pairs().at(L"a b"), L"a_b00000");
}
