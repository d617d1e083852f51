// from_string, from_wstring, to_string and to_wstring.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ole/ole_var.hpp"
#include "platform/text.hpp"

namespace {

struct parse_case {
    const char* text;
    VARTYPE type;
    VARTYPE vt;       // the value's type
    const char* out;  // its to_string
};

}  // namespace

TEST(ole_from_string, reads_every_type_by_its_rule) {
    const parse_case cases[] = {
        // Empty text: an empty value, except for text.
        {"", VT_I4, VT_EMPTY, ""},
        {"", VT_DATE, VT_EMPTY, ""},
        {"", VT_UI1_ARRAY, VT_EMPTY, ""},
        {"", VT_BSTR, VT_BSTR, ""},
        // Integers: as far as they go, 64-bit saturation, then the type's width.
        {"42", VT_I4, VT_I4, "42"},
        {"  -17xyz", VT_I4, VT_I4, "-17"},
        {"abc", VT_I4, VT_I4, "0"},
        {"2147483647", VT_I4, VT_I4, "2147483647"},
        {"2147483648", VT_I4, VT_I4, "2147483647"},
        {"99999999999", VT_I4, VT_I4, "2147483647"},
        {"-99999999999", VT_I4, VT_I4, "-2147483648"},
        {"99999", VT_I2, VT_I2, "-31073"},
        {"-32768", VT_I2, VT_I2, "-32768"},
        {"32767", VT_I2, VT_I2, "32767"},
        {"-128", VT_I1, VT_I1, "-128"},
        {"-129", VT_I1, VT_I1, "127"},
        {"255", VT_UI1, VT_UI1, "255"},
        {"300", VT_UI1, VT_UI1, "44"},
        {"-1", VT_UI1, VT_UI1, "255"},
        {"65535", VT_UI2, VT_UI2, "65535"},
        {"70000", VT_UI2, VT_UI2, "4464"},
        {"4294967295", VT_UI4, VT_UI4, "4294967295"},
        {"4294967296", VT_UI4, VT_UI4, "4294967295"},
        {"-1", VT_UI4, VT_UI4, "4294967295"},
        {"x", VT_UI4, VT_UI4, "0"},
        {"-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
        {"9223372036854775807", VT_I8, VT_I8, "9223372036854775807"},
        {"9223372036854775808", VT_I8, VT_I8, "9223372036854775807"},
        {"18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
        {"18446744073709551616", VT_UI8, VT_UI8, "18446744073709551615"},
        // Floats: commas are points, as far as they go.
        {"12,5", VT_R8, VT_R8, "1.2500000000000000e+01"},
        {"1.5", VT_R4, VT_R4, "1.500000e+00"},
        {"-0.1", VT_R8, VT_R8, "-1.0000000000000001e-01"},
        {"1e400", VT_R8, VT_R8, "inf"},
        {"1e39", VT_R4, VT_R4, "inf"},
        {"-1e39", VT_R4, VT_R4, "-inf"},
        {"nan", VT_R8, VT_R8, "0"},
        {"abc", VT_R8, VT_R8, "0.0000000000000000e+00"},
        // Currency: four decimals, a point; unreadable gives an empty value.
        {"1.23455", VT_CY, VT_CY, "1.2346"},
        {"12,5", VT_CY, VT_CY, "12.5"},
        {"-0.0001", VT_CY, VT_CY, "-0.0001"},
        {"922337203685477.5808", VT_CY, VT_EMPTY, ""},
        {"abc", VT_CY, VT_EMPTY, ""},
        // Decimal: a failure falls back to a double.
        {"12,5", VT_DECIMAL, VT_DECIMAL, "12.5"},
        {"-123.4500", VT_DECIMAL, VT_DECIMAL, "-123.45"},
        {"abc", VT_DECIMAL, VT_R8, "0.0000000000000000e+00"},
        {"123456789012345678901234567890", VT_DECIMAL, VT_R8, "1.2345678901234568e+29"},
        {"1.5.5", VT_DECIMAL, VT_R8, "1.5000000000000000e+00"},
        // Boolean words, else the integer.
        {"YES", VT_BOOL, VT_BOOL, "1"},
        {"T", VT_BOOL, VT_BOOL, "1"},
        {"true", VT_BOOL, VT_BOOL, "1"},
        {"1", VT_BOOL, VT_BOOL, "1"},
        {"2", VT_BOOL, VT_BOOL, "1"},
        {"-1", VT_BOOL, VT_BOOL, "1"},
        {"0", VT_BOOL, VT_BOOL, "0"},
        {"No", VT_BOOL, VT_BOOL, "0"},
        {"f", VT_BOOL, VT_BOOL, "0"},
        {"abc", VT_BOOL, VT_BOOL, "0"},
        // Dates.
        {"2024-02-29 13:05:09.000250", VT_DATE, VT_DATE, "2024-02-29 13:05:09.000250"},
        {"2023-02-29", VT_DATE, VT_EMPTY, ""},
        // Text.
        {"h\xc3\xa9llo", VT_BSTR, VT_BSTR, "h\xc3\xa9llo"},
        // Types without a rule of their own go through the checked conversions.
        {"42", VT_INT, VT_INT, "42"},
        {"42", VT_UINT, VT_UINT, "42"},
        {"x", VT_NULL, VT_NULL, ""},
    };
    for (const auto& c : cases) {
        ole_variant v = ole_variant::from_string(c.text, c.type);
        EXPECT_EQ(v.get_type(), c.vt) << c.text << " as " << c.type;
        EXPECT_EQ(v.to_string(), c.out) << c.text << " as " << c.type;
    }
}

TEST(ole_from_string, refusals_of_types_without_a_rule_raise_a_type_error) {
    for (auto [text, type] : {std::pair{"abc", VT_INT}, std::pair{"-1", VT_UINT},
                              std::pair{"x", VT_ERROR}, std::pair{"x", VT_DISPATCH}}) {
        try {
            ole_variant::from_string(text, type);
            FAIL() << text;
        } catch (const ole_type_exception& e) {
            EXPECT_EQ(e.kind(), tk_kind_error);
            EXPECT_STREQ(e.what(), "The operating type is not supported yet");
        }
    }
}

TEST(ole_from_string, reads_hexadecimal_byte_text) {
    struct {
        const char* text;
        VARTYPE type;
        VARTYPE vt;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"0x0A1b", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x0A, 0x1B}},
        {"\\x0A1b", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x0A, 0x1B}},
        {"0X0A1b", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x0A, 0x1B}},
        {"0A1b", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x0A, 0x1B}},
        {"0A1b", VT_BLOB, VT_BLOB, {0x0A, 0x1B}},
        {"0x0A1", VT_UI1_ARRAY, VT_EMPTY, {}},
        {"ABC", VT_BLOB, VT_EMPTY, {}},
        {"0x", VT_UI1_ARRAY, VT_UI1_ARRAY, {}},
        // No digit ever fails: the first table digit not less than the character.
        {"zz", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x10}},
        {":G", VT_UI1_ARRAY, VT_UI1_ARRAY, {0xAA}},
        {" !", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x00}},
        {"00ff10", VT_UI1_ARRAY, VT_UI1_ARRAY, {0x00, 0xFF, 0x10}},
    };
    for (const auto& c : cases) {
        ole_variant v = ole_variant::from_string(c.text, c.type);
        EXPECT_EQ(v.get_type(), c.vt) << c.text;
        const auto* b = v.get_byte_array();
        EXPECT_EQ(b ? *b : std::vector<uint8_t>(), c.bytes) << c.text;

        // The wide reader reads the same.
        std::string n(c.text);
        ole_variant w = ole_variant::from_wstring(std::wstring(n.begin(), n.end()), c.type);
        EXPECT_EQ(w.get_type(), c.vt) << c.text;
        EXPECT_EQ(w.to_string(), v.to_string()) << c.text;
    }
    // A wide character above every table digit counts as 16.
    ole_variant w = ole_variant::from_wstring(L"\u20ac0", VT_UI1_ARRAY);
    EXPECT_EQ(*w.get_byte_array(), std::vector<uint8_t>{0x00});
}

TEST(ole_from_wstring, text_stops_at_nul_and_other_types_read_the_narrow_text) {
    ole_variant t = ole_variant::from_wstring(std::wstring(L"ab\0cd", 5), VT_BSTR);
    EXPECT_EQ(*t.get_bstr(), L"ab");
    EXPECT_EQ(ole_variant::from_wstring(L"12,5", VT_DECIMAL).to_string(), "12.5");
    EXPECT_EQ(ole_variant::from_wstring(L"2024-01-05", VT_DATE).to_wstring(), L"2024-01-05");
    EXPECT_EQ(ole_variant::from_wstring(L"", VT_I4).get_type(), VT_EMPTY);
    EXPECT_EQ(ole_variant::from_wstring(L"\u65e5\u672c", VT_I4).to_string(), "0");
}

TEST(ole_to_string, writes_each_type_in_its_form) {
    struct {
        ole_variant v;
        const char* out;
    } cases[] = {
        {ole_variant(1.5), "1.5000000000000000e+00"},
        {ole_variant(1.5f), "1.500000e+00"},
        {ole_variant(std::nan("")), "0"},
        {ole_variant(std::nanf("")), "0"},
        {ole_variant(-std::numeric_limits<double>::infinity()), "-inf"},
        {ole_variant(1e-310), "9.9999999999999694e-311"},
        {ole_variant(std::vector<uint8_t>{0x00, 0xFF, 0x10}), "0x00FF10"},
        {ole_variant(false), "0"},
        {ole_variant(true), "1"},
        {ole_variant(), ""},
        {ole_variant(CY{INT64_MIN}), "-922337203685477.5808"},
        {ole_variant(int8_t{-5}), "-5"},
        {ole_variant(L"\u00e9\u20ac"), "\xc3\xa9\xe2\x82\xac"},
        {ole_variant(std::wstring(L"a\0b", 3)), "a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.v.to_string(), c.out);
        std::string n(c.out);
        EXPECT_EQ(c.v.to_wstring(), pt::utf8_decode(n)) << c.out;
    }
}
