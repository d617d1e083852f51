#include "platform/text.hpp"

#include <gtest/gtest.h>

TEST(utf8, decodes_ill_formed_input_to_replacement_characters) {
    struct {
        std::string in;
        std::wstring out;
        bool ill_formed;
    } cases[] = {
        {"", L"", false},
        {"abc", L"abc", false},
        {"\xc3\xa4", L"\u00e4", false},
        {"\xe2\x82\xac", L"\u20ac", false},
        {"\xf0\x9f\x98\x80", L"\U0001F600", false},
        {"\x80", L"\uFFFD", true},                                // lone continuation byte
        {"\xc3", L"\uFFFD", true},                                // truncated at the end
        {"\xc3\x61", L"\uFFFDa", true},                           // truncated before ASCII
        {"\xc0\xaf", L"\uFFFD\uFFFD", true},                      // overlong
        {"\xed\xa0\x80", L"\uFFFD\uFFFD\uFFFD", true},            // surrogate
        {"\xf4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD", true},  // past U+10FFFF
        {"\xe2\x82", L"\uFFFD", true},  // maximal subpart: one replacement
        {"\xff\xfe", L"\uFFFD\uFFFD", true},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3), false},
        // Long runs of ASCII, read eight bytes at a time, around other characters.
        {"abcdefgh", L"abcdefgh", false},
        {"abcdefghi\xc3\xa4jklmnopqrstu", L"abcdefghi\u00e4jklmnopqrstu", false},
        {"abcdefg\xc3\xa4hijklmnop", L"abcdefg\u00e4hijklmnop", false},
        {"abcdefgh\xc3", L"abcdefgh\uFFFD", true},
        {std::string("0123456789abcdef\0", 17), std::wstring(L"0123456789abcdef\0", 17), false},
        {std::string(40, 'a') + "\xc3\xa4" + std::string(40, 'b'),
         std::wstring(40, L'a') + L"\u00e4" + std::wstring(40, L'b'), false},
        {std::string(31, 'a') + "\x80" + std::string(700, 'b'),
         std::wstring(31, L'a') + L"\uFFFD" + std::wstring(700, L'b'), true},
    };
    std::wstring reused = L"a longer text that the next decoding must replace entirely";
    for (const auto& c : cases) {
        bool ill_formed = !c.ill_formed;
        EXPECT_EQ(pt::utf8_decode(c.in, ill_formed), c.out) << c.in;
        EXPECT_EQ(ill_formed, c.ill_formed) << c.in;
        EXPECT_EQ(pt::utf8_decode_into(c.in, reused), c.ill_formed) << c.in;
        EXPECT_EQ(reused, c.out) << c.in;
    }
}

TEST(utf8, encodes_what_it_cannot_carry_as_replacement) {
    EXPECT_EQ(pt::utf8_encode(L"\u00e4\u20ac\U0001F600"), "\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(pt::utf8_encode(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
    EXPECT_EQ(pt::utf8_encode(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xef\xbf\xbd");
}

TEST(code_pages, known_characters_and_question_mark_for_missing_ones) {
    struct {
        int cp;
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {1252, "\x80\xe4", L"\u20ac\u00e4"}, {1251, "\xc0\xff", L"\u0410\u044f"},
        {1250, "\x8a\xb9", L"\u0160\u0105"}, {866, "\x80\xaf", L"\u0410\u043f"},
        {437, "\x84\xe1", L"\u00e4\u00df"},  {1253, "\xc1", L"\u0391"},
        {10000, "\x8a", L"\u00e4"},
    };
    for (const auto& c : cases) {
        std::wstring w;
        ASSERT_TRUE(pt::cp_decode(c.cp, c.bytes, w));
        EXPECT_EQ(w, c.text) << c.cp;
        std::string b;
        ASSERT_TRUE(pt::cp_encode(c.cp, c.text, b));
        EXPECT_EQ(b, c.bytes) << c.cp;
    }
    struct {
        int cp;
        std::wstring text;
        std::string bytes;
    } lossy[] = {
        {1252, L"a\u0410b", "a?b"}, {1251, L"\u00e4\u0410", "?\xc0"},   {437, L"\u20ac", "?"},
        {1252, L"\U0001F600", "?"}, {1255, L"T\u00fcrkiye", "T?rkiye"},  // 0xFC is no letter in
                                                                         // 1255
    };
    for (const auto& c : lossy) {
        std::string b;
        ASSERT_TRUE(pt::cp_encode(c.cp, c.text, b));
        EXPECT_EQ(b, c.bytes) << c.cp;
    }
}

TEST(code_pages, system_ids_are_utf8_and_unknown_ones_fail) {
    for (int cp : {0, -1, 3, 65001}) {
        std::wstring w;
        ASSERT_TRUE(pt::cp_decode(cp, "\xc3\xa4", w));
        EXPECT_EQ(w, L"\u00e4") << cp;
    }
    std::wstring w = L"unchanged";
    EXPECT_FALSE(pt::cp_decode(12345, "x", w));
    EXPECT_EQ(w, L"unchanged");
    std::string s;
    EXPECT_FALSE(pt::cp_encode(932, L"x", s));
}

TEST(code_pages, dbf_code_page_follows_the_locale_language) {
    struct {
        const char* locale;
        int cp;
    } cases[] = {
        {"ru_RU.UTF-8", 1251}, {"uk_UA", 1251}, {"pl_PL.UTF-8", 1250}, {"cs", 1250},
        {"el_GR.UTF-8", 1253}, {"tr_TR", 1254}, {"he_IL", 1255},       {"fa_IR", 1256},
        {"lt_LT", 1257},       {"vi_VN", 1258}, {"th_TH.UTF-8", 874},  {"de_DE.UTF-8", 1252},
        {"C", 1252},           {"POSIX", 1252}, {"C.UTF-8", 1252},     {"", 1252},
        {"sr_RS@latin", 1251},
    };
    for (const auto& c : cases) EXPECT_EQ(pt::dbf_code_page_for_locale(c.locale), c.cp) << c.locale;
}

TEST(code_pages, pages_without_table_fall_back_to_the_dbf_code_page) {
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    for (int cp : {895, 620, 10006}) {
        std::wstring w;
        ASSERT_TRUE(pt::cp_decode(cp, "\xc0", w));
        EXPECT_EQ(w, L"\u0410") << cp;
    }
    unsetenv("LC_ALL");
}

TEST(folding, compares_names_without_regard_to_case) {
    EXPECT_TRUE(pt::iequal(L"Orders", L"ORDERS"));
    EXPECT_TRUE(pt::iequal(L"\u00c4pfel", L"\u00e4PFEL"));
    EXPECT_TRUE(pt::iequal(L"\u0416\u0443\u043a", L"\u0436\u0423\u041a"));
    EXPECT_FALSE(pt::iequal(L"abc", L"abd"));
    EXPECT_FALSE(pt::iequal(L"abc", L"ab"));
    EXPECT_LT(pt::icompare(L"abc", L"ABD"), 0);
    EXPECT_TRUE(pt::is_alnum(L'\u00e4'));
    EXPECT_FALSE(pt::is_alnum(L'-'));
}
