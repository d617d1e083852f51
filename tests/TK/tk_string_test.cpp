#include "TK/tk_string.hpp"

#include <gtest/gtest.h>

#include "TK/tk_except.hpp"

TEST(tk_string, trimming_removes_spaces_only) {
    struct {
        std::string in, right, left, both;
    } cases[] = {
        {"   ", "", "", ""},
        {"", "", "", ""},
        {"\tab ", "\tab", "\tab ", "\tab"},
        {"  a b  ", "  a b", "a b  ", "a b"},
        {"x\n ", "x\n", "x\n ", "x\n"},
    };
    for (const auto& c : cases) {
        tk_string s(c.in);
        EXPECT_EQ(s.trim_right(), c.right);
        EXPECT_EQ(s.trim_left(), c.left);
        EXPECT_EQ(s.trim(), c.both);
        EXPECT_EQ(tk_wstring(std::wstring(c.in.begin(), c.in.end())).trim(),
                  std::wstring(c.both.begin(), c.both.end()));
    }
}

TEST(tk_string, padding_changes_in_place_and_returns_a_copy) {
    tk_string s("abc");
    EXPECT_EQ(s.pad_left(5, '0'), "00abc");
    EXPECT_EQ(s, "00abc");
    tk_string t("abc");
    EXPECT_EQ(t.pad_left(2, '0'), "abc");
    EXPECT_EQ(t.pad_right(6, '.'), "abc...");
}

TEST(tk_string, replace_all_resumes_after_the_replacement) {
    struct {
        std::string in, search, repl, out;
    } cases[] = {
        {"banana", "a", "aa", "baanaanaa"},
        {"banana", "", "x", "banana"},  // an empty search text
                                        // changes nothing
        {"aaa", "aa", "b", "ba"},
        {"it's", "'", "''", "it''s"},
        {"", "a", "b", ""},
    };
    for (const auto& c : cases) {
        tk_string s(c.in);
        EXPECT_EQ(s.replace_all(c.search, c.repl), c.out);
        EXPECT_EQ(s, c.out);
    }
    tk_wstring w(L"a\u00e4a");
    EXPECT_EQ(w.replace_all(L"\u00e4", L"ae"), L"aaea");
    EXPECT_EQ(tk_wstring(L"x").replace_all(L"", L"y"), L"x");
}

TEST(tk_string, split_keeps_empty_pieces_and_stops_at_nul) {
    using v = std::vector<std::string>;
    EXPECT_EQ(tk_string("a,,b").split(','), (v{"a", "", "b"}));
    EXPECT_EQ(tk_string("a,").split(','), (v{"a", ""}));
    EXPECT_EQ(tk_string("").split(','), v{});
    EXPECT_EQ(tk_string(std::string("a,b\0,c", 6)).split(','), (v{"a", "b"}));
}

TEST(tk_wstring, to_lower_is_ascii_only_and_stops_at_nul) {
    tk_wstring s(L"ABC \u00c4pfel");
    EXPECT_EQ(s.to_lower(), L"abc \u00c4pfel");
    tk_wstring n(std::wstring(L"AB\0CD", 5));
    EXPECT_EQ(n.to_lower(), std::wstring(L"ab\0CD", 5));
}

TEST(tk_wstring, ends_with_exact_and_ignoring_case) {
    struct {
        std::wstring s, suffix;
        bool exact, want;
    } cases[] = {
        {L"", L"", true, true},
        {L"abc", L"", false, true},
        {L"a", L"abc", false, false},
        {L"SHOP.DBF", L".dbf", false, true},
        {L"SHOP.DBF", L".dbf", true, false},
        {L"shop.dbf", L".dbf", true, true},
        {L"\u00c4.DBF", L"\u00e4.dbf", false, true},
    };
    for (const auto& c : cases) EXPECT_EQ(tk_wstring::ends_with(c.s, c.suffix, c.exact), c.want);
}

TEST(tk_grouped, groups_digits_by_threes) {
    struct {
        uint64_t n;
        const wchar_t* text;
    } cases[] = {{0, L"0"},
                 {999, L"999"},
                 {1000, L"1,000"},
                 {82432, L"82,432"},
                 {200000, L"200,000"},
                 {1234567, L"1,234,567"},
                 {UINT64_MAX, L"18,446,744,073,709,551,615"}};
    for (const auto& c : cases) EXPECT_EQ(tk_grouped(c.n), c.text) << c.n;
}

TEST(code_page_conversion, system_code_page_is_utf8_and_dbf_pages_use_tables) {
    EXPECT_EQ(tk_unicode_to_ansi(L"\u00e4\u20ac"), "\xc3\xa4\xe2\x82\xac");
    EXPECT_EQ(tk_unicode_to_ansi(L"\u00e4\u20ac", -1), "\xc3\xa4\xe2\x82\xac");
    EXPECT_EQ(tk_unicode_to_ansi(L"\u00e4\u20ac\u0416", 1252), "\xe4\x80?");
    EXPECT_EQ(tk_ansi_to_unicode("\xe4\x80", 1252), L"\u00e4\u20ac");
    EXPECT_EQ(tk_utf8_to_unicode("a\xffz"), L"a\uFFFDz");
    EXPECT_EQ(tk_unicode_to_utf8(L"\u0416"), "\xd0\x96");
    // Conversions stop at the first NUL.
    EXPECT_EQ(tk_ansi_to_unicode(std::string("ab\0cd", 5), 1252), L"ab");
    EXPECT_EQ(tk_unicode_to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
}

TEST(code_page_conversion, an_unsupported_code_page_is_a_kind_0_error) {
    try {
        tk_ansi_to_unicode("x", 54321);
        FAIL();
    } catch (const tk_exception_ex& e) {
        EXPECT_EQ(e.kind(), 0);
        EXPECT_NE(std::string(e.what()).find("Cannot convert to UNICODE string: "),
                  std::string::npos);
    }
    try {
        tk_unicode_to_ansi(L"x", 54321);
        FAIL();
    } catch (const tk_exception_ex& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot convert to ANSI string: "), std::string::npos);
    }
}

TEST(code_page_conversion, boolean_forms_refuse_null_text) {
    std::wstring w;
    std::string s;
    EXPECT_FALSE(tk_to_wide(nullptr, w));
    EXPECT_FALSE(tk_unicode_to_ansi1(nullptr, s));
    EXPECT_FALSE(tk_unicode_to_ansi2(nullptr, s));
    EXPECT_TRUE(tk_to_wide("\xc3\xa4", w));
    EXPECT_EQ(w, L"\u00e4");
    EXPECT_TRUE(tk_unicode_to_ansi3(L"\u00e4", s));
    EXPECT_EQ(s, "\xc3\xa4");
}
