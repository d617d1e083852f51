// Code pages, field types and name rules.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TK/tk_except.hpp"
#include "TK/tk_fmt.hpp"
#include "dbf/dbf_cp.hpp"
#include "dbf/dbf_type.hpp"
#include "dbf/dbf_vali.hpp"
#include "tests/dbf/dbf_test_util.hpp"

TEST(dbf_code_pages, marks_name_windows_code_pages) {
    EXPECT_EQ(dbf_code_page_map().size(), 23u);
    struct {
        uint8_t mark;
        uint32_t cp;
    } cases[] = {{0x65, 866}, {0xCB, 1253}, {0x57, 1251}, {0x03, 1252}, {0x78, 0}, {0x00, 0}};
    for (const auto& c : cases) EXPECT_EQ(dbf_get_codepage(c.mark), c.cp) << int(c.mark);
}

TEST(dbf_code_pages, text_goes_through_the_dbf_code_page) {
    const dbf_codec& ansi = dbf_codec::get(0);  // the tests' locale gives 1252
    EXPECT_EQ(ansi.code_page(), 1252);
    EXPECT_EQ(ansi.encode(L"Zo\u00eb \u20ac\u0416"), "Zo\xEB \x80?");
    EXPECT_EQ(ansi.decode("\x80\xE9"), L"\u20ac\u00e9");
    const dbf_codec& cyr = dbf_codec::get(1251);
    EXPECT_EQ(cyr.encode(L"\u0416"), "\xC6");
    // Runs of ASCII go sixteen at a time: other characters at every place in and
    // around such a run, and values no code page has, are still encoded one by one.
    const std::wstring run = L"abcdefghijklmnopqrstuvwxyz0123456789";
    for (size_t at = 0; at <= run.size(); ++at) {
        for (wchar_t odd : {L'\u00e9', L'\u20ac', L'\u0416', static_cast<wchar_t>(0x110000),
                            static_cast<wchar_t>(-1)}) {
            std::wstring text = run;
            text.insert(at, 1, odd);
            std::string expected;
            for (wchar_t c : text)
                expected.push_back(static_cast<char>(ansi.encode_or_question(c)));
            ASSERT_EQ(ansi.encode(text), expected) << at;
        }
    }
    // Code pages without a table of their own read as the DBF code page.
    EXPECT_EQ(dbf_codec::get(895).code_page(), 1252);
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    EXPECT_EQ(dbf_codec::get(0).code_page(), 1251);
    setenv("LC_ALL", "en_US.UTF-8", 1);
}

TEST(dbf_field_types, columns_map_to_letters_lengths_and_decimals) {
    struct {
        col c;
        char letter;
        int length, decimals;
    } cases[] = {
        {{L"a", VT_I1}, 'N', 4, 0},
        {{L"a", VT_UI1}, 'N', 6, 0},
        {{L"a", VT_INT}, 'N', 11, 0},
        {{L"a", VT_UI4}, 'N', 19, 5},
        {{L"a", VT_R4}, 'N', 19, 5},
        {{L"a", VT_R8}, 'B', 8, 0},
        {{L"a", VT_DATE, 0, 2}, 'D', 8, 0},
        {{L"a", VT_DATE, 0, 1}, 'T', 8, 0},
        {{L"a", VT_DATE, 0, 3}, 'T', 8, 0},
        {{L"a", VT_DATE, 0, 0}, 'C', 19, 0},
        {{L"a", VT_BSTR, 254}, 'C', 255, 0},
        {{L"a", VT_BSTR, 255}, 'C', 255, 0},
        {{L"a", VT_BSTR, 256}, 'M', 10, 0},
        {{L"a", VT_BSTR, 0}, 'M', 10, 0},
        {{L"a", VT_UINT}, 'M', 10, 0},
        {{L"a", VT_BLOB}, 'M', 10, 0},
        {{L"a", VT_BOOL}, 'L', 1, 0},
        {{L"a", VT_DECIMAL, 0, 0, 10, 3}, 'N', 12, 3},
        // A precision near 255 must not wrap the length byte.
        {{L"a", VT_DECIMAL, 0, 0, 254, 30}, 'N', 255, 30},
        {{L"a", VT_DECIMAL, 0, 0, 255, 255}, 'N', 255, 253},
    };
    for (const auto& c : cases) {
        udb_schema s;
        fill_schema(s, {c.c});
        dbf_field_descriptor fd = dbf_create_field(s[0]);
        EXPECT_EQ(fd.letter(), c.letter) << c.c.vt << "/" << c.c.size;
        EXPECT_EQ(fd.length(), c.length) << c.c.vt << "/" << c.c.size;
        EXPECT_EQ(fd.decimals(), c.decimals) << c.c.vt << "/" << c.c.size;
    }
}

TEST(dbf_field_types, letters_read_back_as_types_and_sizes) {
    struct {
        char letter;
        uint8_t length, decimals;
        VARTYPE vt;
        uint32_t size;
    } cases[] = {
        {'N', 4, 0, VT_I2, 4},        {'N', 11, 0, VT_I8, 11},    {'N', 19, 5, VT_DECIMAL, 19},
        {'N', 20, 0, VT_R8, 20},      {'N', 2, 0, VT_I1, 2},      {'N', 9, 0, VT_I4, 9},
        {'C', 0x10, 1, VT_BSTR, 272}, {'M', 10, 0, VT_BSTR, 0},   {'G', 10, 0, VT_BLOB, 0},
        {'T', 8, 0, VT_DATE, 8},      {'@', 8, 0, VT_DATE, 8},    {'Y', 8, 4, VT_CY, 8},
        {'I', 4, 0, VT_I4, 4},        {'+', 4, 0, VT_I4, 4},      {'F', 10, 2, VT_R4, 10},
        {'L', 1, 0, VT_BOOL, 1},      {'0', 2, 0, VT_UNKNOWN, 2}, {'Q', 3, 1, VT_BSTR, 259},
    };
    for (const auto& c : cases) {
        dbf_read_descriptor fd;
        fd.letter = c.letter;
        fd.length = c.length;
        fd.decimals = c.decimals;
        EXPECT_EQ(dbf_get_vartype_2(fd), c.vt) << c.letter << int(c.length);
        EXPECT_EQ(dbf_get_size_2(fd), c.size) << c.letter << int(c.length);
    }
}

TEST(dbf_names, field_names) {
    udb_schema s;
    fill_schema(s, {{L"CUSTOMER_ID", VT_I4}});
    struct {
        std::vector<std::wstring> existing;
        std::wstring name, safe;
        bool acceptable;
    } cases[] = {
        {{}, L"CUSTOMER_ID", L"CUSTOMER_I", false},
        {{L"CUSTOMER_I"}, L"CUSTOMER_ID", L"CUSTOME000", false},
        {{L"customer_i", L"CUSTOME000"}, L"CUSTOMER_ID", L"CUSTOME001", false},
        {{}, L"1st", L"A1st", false},
        {{}, L"order date", L"order_date", false},
        {{}, L"", L"A", false},
        {{}, L"\u00c4rger-1", L"\u00c4rger-1", true},  // letters of any script, "-"
        {{}, L"_x", L"A_x", true},
    };
    for (const auto& c : cases) {
        dbf_fn_validator v(s);
        for (const auto& e : c.existing) v.add_existing_name(e);
        EXPECT_EQ(v.is_acceptable(c.name), c.acceptable) << c.safe.size();
        EXPECT_EQ(v.get_safe_name(c.name), c.safe);
    }
}

TEST(dbf_names, table_names_become_file_names) {
    dbf_tn_validator v({L"Orders"}, {L"items"});
    EXPECT_TRUE(v.is_acceptable(L"1st"));
    EXPECT_TRUE(v.is_acceptable(std::wstring(40, L'x')));  // no length limit of its own
    EXPECT_FALSE(v.is_acceptable(L""));
    EXPECT_FALSE(v.is_acceptable(L"../x"));
    EXPECT_EQ(v.get_safe_name(L"../x"), L"A___x");
    // Device names, whatever their case, never become files.
    for (const wchar_t* d : {L"con", L"NUL", L"Com1", L"lpt9", L"AUX", L"prn"}) {
        EXPECT_FALSE(v.is_acceptable(d)) << d;
        EXPECT_EQ(v.get_safe_name(d), std::wstring(d) + L"000");
    }
    EXPECT_TRUE(v.is_acceptable(L"COM10"));
    // A name the run has used already is reserved, so Orders and orders never share a file.
    v.reserved_words().push_back(L"Orders");
    EXPECT_FALSE(v.is_acceptable(L"orders"));
    EXPECT_EQ(v.get_safe_name(L"orders"), L"orders000");
    // The file name keeps within 255 bytes, cut at a character boundary.
    std::wstring long_name(64, L'\U0001F600');  // 4 bytes each in UTF-8
    EXPECT_FALSE(v.is_acceptable(long_name));
    std::wstring safe = v.get_safe_name(L"a" + long_name);
    EXPECT_LE(pt::utf8_encode(safe).size() + 4, 255u);
    EXPECT_EQ(safe.find(L'\uFFFD'), std::wstring::npos);
}

TEST(dbf_names, running_out_of_numbered_names_is_an_internal_error) {
    udb_schema s;
    dbf_fn_validator v(s);
    v.add_existing_name(L"ABCDEFGHIJ");
    for (int i = 0; i < 1000; ++i) v.add_existing_name(tk_wformat(L"ABCDEFG%03d", i));
    auto [kind, text] = error_of([&] { v.get_safe_name(L"ABCDEFGHIJK"); });
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(text, make_err_meggase("dbf_vali.cpp", 53));
}
