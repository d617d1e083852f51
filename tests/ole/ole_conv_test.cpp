// change_type, to_bool, to_double and to_long.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "ole/ole_var.hpp"

namespace {

DECIMAL dec(const char* text) {
    return ole_variant::from_string(text, VT_DECIMAL).get_variant().decimal();
}

struct conversion {
    const char* name;
    std::function<ole_variant()> make;
    VARTYPE to;
    bool throws;
    VARTYPE vt;        // the type afterwards
    const char* text;  // to_string afterwards
};

}  // namespace

TEST(ole_change_type, converts_by_its_steps_or_raises_a_cast_error) {
    const double nan = std::nan("");
    const conversion cases[] = {
        // Boolean words.
        {"TRUE", [] { return ole_variant(L"TRUE"); }, VT_BOOL, false, VT_BOOL, "1"},
        {"T", [] { return ole_variant(L"T"); }, VT_BOOL, false, VT_BOOL, "1"},
        {"Yes", [] { return ole_variant(L"Yes"); }, VT_BOOL, false, VT_BOOL, "1"},
        {"False", [] { return ole_variant(L"False"); }, VT_BOOL, false, VT_BOOL, "0"},
        {"no", [] { return ole_variant(L"no"); }, VT_BOOL, false, VT_BOOL, "0"},
        {"text 1", [] { return ole_variant(L"1"); }, VT_BOOL, true, 0, ""},
        {"maybe", [] { return ole_variant(L"maybe"); }, VT_BOOL, true, 0, ""},
        // From the 64-bit integers.
        {"I8->I4 low bits", [] { return ole_variant(int64_t{5000000000}); }, VT_I4, false, VT_I4,
         "705032704"},
        {"I8->BSTR", [] { return ole_variant(int64_t{5000000000}); }, VT_BSTR, false, VT_BSTR,
         "5000000000"},
        {"I8 1->BOOL", [] { return ole_variant(int64_t{1}); }, VT_BOOL, false, VT_BOOL, "1"},
        {"I8 65536->BOOL", [] { return ole_variant(int64_t{65536}); }, VT_BOOL, false, VT_BOOL,
         "1"},
        {"I8 0->BOOL", [] { return ole_variant(int64_t{0}); }, VT_BOOL, false, VT_BOOL, "0"},
        {"UI8 1->BOOL", [] { return ole_variant(uint64_t{1}); }, VT_BOOL, false, VT_BOOL, "1"},
        {"I8 7->CY", [] { return ole_variant(int64_t{7}); }, VT_CY, false, VT_CY, "7"},
        {"I8 max CY", [] { return ole_variant(int64_t{922337203685477}); }, VT_CY, false, VT_CY,
         "922337203685477"},
        {"I8 CY overflow", [] { return ole_variant(int64_t{922337203685478}); }, VT_CY, true, 0,
         ""},
        {"I8 CY overflow-", [] { return ole_variant(int64_t{-922337203685478}); }, VT_CY, true, 0,
         ""},
        {"UI8 CY overflow", [] { return ole_variant(uint64_t{UINT64_MAX}); }, VT_CY, true, 0, ""},
        {"UI8->DECIMAL", [] { return ole_variant(uint64_t{UINT64_MAX}); }, VT_DECIMAL, false,
         VT_DECIMAL, "18446744073709551615"},
        {"I8->DECIMAL", [] { return ole_variant(int64_t{INT64_MIN}); }, VT_DECIMAL, false,
         VT_DECIMAL, "-9223372036854775808"},
        {"UI8->BSTR", [] { return ole_variant(uint64_t{UINT64_MAX}); }, VT_BSTR, false, VT_BSTR,
         "18446744073709551615"},
        {"UI8->R8", [] { return ole_variant(uint64_t{UINT64_MAX}); }, VT_R8, false, VT_R8,
         "1.8446744073709552e+19"},
        {"I8->UI8 bits", [] { return ole_variant(int64_t{-1}); }, VT_UI8, false, VT_UI8,
         "18446744073709551615"},
        {"I8->I1 low bits", [] { return ole_variant(int64_t{511}); }, VT_I1, false, VT_I1, "-1"},
        {"I8->DATE", [] { return ole_variant(int64_t{1}); }, VT_DATE, true, 0, ""},
        // A date only becomes its text.
        {"DATE->BSTR",
         [] { return ole_variant::from_string("2024-02-29 13:05:09.000250", VT_DATE); }, VT_BSTR,
         false, VT_BSTR, "2024-02-29 13:05:09.000250"},
        {"DATE->I4", [] { return ole_variant::from_string("2024-02-29", VT_DATE); }, VT_I4, true, 0,
         ""},
        // To the 64-bit integers.
        {"I2->I8", [] { return ole_variant(int16_t{-5}); }, VT_I8, false, VT_I8, "-5"},
        {"BOOL->I8", [] { return ole_variant(true); }, VT_I8, false, VT_I8, "-1"},
        {"UI4->I8", [] { return ole_variant(uint32_t{4294967295u}); }, VT_I8, false, VT_I8,
         "4294967295"},
        {"R8 2.5->I8 even", [] { return ole_variant(2.5); }, VT_I8, false, VT_I8, "2"},
        {"R8 3.5->I8 even", [] { return ole_variant(3.5); }, VT_I8, false, VT_I8, "4"},
        {"R8 1e30->I8", [] { return ole_variant(1e30); }, VT_I8, true, 0, ""},
        {"R8 nan->I8", [nan] { return ole_variant(nan); }, VT_I8, true, 0, ""},
        {"R4 -1->UI8", [] { return ole_variant(-1.0f); }, VT_UI8, true, 0, ""},
        {"I2 -5->UI8", [] { return ole_variant(int16_t{-5}); }, VT_UI8, true, 0, ""},
        {"CY 12.5->I8", [] { return ole_variant(CY{125000}); }, VT_I8, false, VT_I8, "13"},
        {"CY 12.4999->I8", [] { return ole_variant(CY{124999}); }, VT_I8, false, VT_I8, "12"},
        {"CY -12.5->I8", [] { return ole_variant(CY{-125000}); }, VT_I8, false, VT_I8, "-12"},
        {"CY -12.6->I8", [] { return ole_variant(CY{-126000}); }, VT_I8, false, VT_I8, "-13"},
        {"CY -12.4->I8", [] { return ole_variant(CY{-124000}); }, VT_I8, false, VT_I8, "-12"},
        {"CY min->I8", [] { return ole_variant(CY{INT64_MIN}); }, VT_I8, false, VT_I8,
         "-922337203685478"},
        {"CY -0.4->UI8", [] { return ole_variant(CY{-4000}); }, VT_UI8, false, VT_UI8, "0"},
        {"CY -1->UI8", [] { return ole_variant(CY{-10000}); }, VT_UI8, true, 0, ""},
        {"DEC 2.5->I8", [] { return ole_variant(dec("2.5")); }, VT_I8, false, VT_I8, "2"},
        {"DEC big->I8", [] { return ole_variant(dec("9223372036854775808")); }, VT_I8, true, 0, ""},
        {"DEC->UI8", [] { return ole_variant(dec("18446744073709551615.4")); }, VT_UI8, false,
         VT_UI8, "18446744073709551615"},
        {"BSTR->I8", [] { return ole_variant(L"5"); }, VT_I8, true, 0, ""},
        // To the 32- and 16-bit integers: floats half away from zero, range-checked.
        {"R8 2.5->I4", [] { return ole_variant(2.5); }, VT_I4, false, VT_I4, "3"},
        {"R8 -2.5->I4", [] { return ole_variant(-2.5); }, VT_I4, false, VT_I4, "-3"},
        {"R8 2.4999->I4", [] { return ole_variant(2.4999); }, VT_I4, false, VT_I4, "2"},
        {"R8 3e9->I4", [] { return ole_variant(3e9); }, VT_I4, true, 0, ""},
        {"R8 3e9->UI4", [] { return ole_variant(3e9); }, VT_UI4, false, VT_UI4, "3000000000"},
        {"R8 -1->UI2", [] { return ole_variant(-1.0); }, VT_UI2, true, 0, ""},
        {"R8 nan->I4", [nan] { return ole_variant(nan); }, VT_I4, true, 0, ""},
        {"R4 32767.4->I2", [] { return ole_variant(32767.4f); }, VT_I2, false, VT_I2, "32767"},
        {"R4 32767.5->I2", [] { return ole_variant(32767.5f); }, VT_I2, true, 0, ""},
        {"R8 max->I4", [] { return ole_variant(2147483647.4); }, VT_I4, false, VT_I4, "2147483647"},
        {"DEC 2.5->I4 even", [] { return ole_variant(dec("2.5")); }, VT_I4, false, VT_I4, "2"},
        {"DEC 5e9->I4", [] { return ole_variant(dec("5000000000")); }, VT_I4, true, 0, ""},
        {"DEC 65535.5->UI2", [] { return ole_variant(dec("65535.5")); }, VT_UI2, true, 0, ""},
        {"DEC 1.5->I1", [] { return ole_variant(dec("1.5")); }, VT_I1, false, VT_I1, "2"},
        {"DEC 128->I1", [] { return ole_variant(dec("128")); }, VT_I1, true, 0, ""},
        // Integer and text sources convert too, with a range check.
        {"I2->I4", [] { return ole_variant(int16_t{-7}); }, VT_I4, false, VT_I4, "-7"},
        {"I4 70000->I2", [] { return ole_variant(70000); }, VT_I2, true, 0, ""},
        {"I4 -1->UI4", [] { return ole_variant(-1); }, VT_UI4, true, 0, ""},
        {"UI1->I1", [] { return ole_variant(uint8_t{200}); }, VT_I1, true, 0, ""},
        {"BSTR 42->I4", [] { return ole_variant(L"42"); }, VT_I4, false, VT_I4, "42"},
        {"BSTR x->I4", [] { return ole_variant(L"x"); }, VT_I4, true, 0, ""},
        {"BSTR->R8", [] { return ole_variant(L" 12.5 "); }, VT_R8, false, VT_R8,
         "1.2500000000000000e+01"},
        {"BSTR->DECIMAL", [] { return ole_variant(L"-1.50"); }, VT_DECIMAL, false, VT_DECIMAL,
         "-1.5"},
        {"BSTR->CY", [] { return ole_variant(L"1.23455"); }, VT_CY, false, VT_CY, "1.2346"},
        // Text to a date.
        {"BSTR->DATE", [] { return ole_variant(L"2024-01-05 10:20:30"); }, VT_DATE, false, VT_DATE,
         "2024-01-05 10:20:30"},
        {"bad BSTR->DATE", [] { return ole_variant(L"2023-02-29"); }, VT_DATE, true, 0, ""},
        {"I4->DATE", [] { return ole_variant(5); }, VT_DATE, true, 0, ""},
        // Byte arrays: relabelled, read as text, nothing else.
        {"array->BLOB",
         [] {
             return ole_variant(std::vector<uint8_t>{1, 2});
         },
         VT_BLOB, false, VT_BLOB, "0x0102"},
        {"BLOB->array", [] { return ole_variant::from_string("0102", VT_BLOB); }, VT_UI1_ARRAY,
         false, VT_UI1_ARRAY, "0x0102"},
        {"array->BLOB_OBJECT", [] { return ole_variant(std::vector<uint8_t>{1}); }, VT_BLOB_OBJECT,
         false, VT_UI1_ARRAY, "0x01"},
        {"array->BSTR no NUL",
         [] {
             return ole_variant(std::vector<uint8_t>{'a', 'b', 'c'});
         },
         VT_BSTR, false, VT_BSTR, "abc"},
        {"array->BSTR NUL",
         [] {
             return ole_variant(std::vector<uint8_t>{'a', 0, 'c'});
         },
         VT_BSTR, false, VT_BSTR, "a"},
        {"array->BSTR UTF-8", [] { return ole_variant(std::vector<uint8_t>{0xc3, 0xa9}); }, VT_BSTR,
         false, VT_BSTR, "\xc3\xa9"},
        {"array->I4", [] { return ole_variant(std::vector<uint8_t>{1, 0, 0, 0}); }, VT_I4, true, 0,
         ""},
        // A value's own bytes, little-endian.
        {"I2->array", [] { return ole_variant(int16_t{0x1234}); }, VT_UI1_ARRAY, false,
         VT_UI1_ARRAY, "0x3412"},
        {"BOOL->BLOB", [] { return ole_variant(true); }, VT_BLOB, false, VT_UI1_ARRAY, "0xFFFF"},
        {"I4->array", [] { return ole_variant(1); }, VT_UI1_ARRAY, false, VT_UI1_ARRAY,
         "0x01000000"},
        {"R8->array", [] { return ole_variant(1.0); }, VT_UI1_ARRAY, false, VT_UI1_ARRAY,
         "0x000000000000F03F"},
        {"CY->array", [] { return ole_variant(CY{1}); }, VT_UI1_ARRAY, false, VT_UI1_ARRAY,
         "0x0100000000000000"},
        {"DEC->array", [] { return ole_variant(dec("-1.5")); }, VT_UI1_ARRAY, false, VT_UI1_ARRAY,
         "0x0E00018000000000"
         "0F00000000000000"},
        {"UI1->array", [] { return ole_variant(uint8_t{0xAB}); }, VT_UI1_ARRAY, false, VT_UI1_ARRAY,
         "0xAB"},
        {"BSTR->array", [] { return ole_variant(L"\u00e9"); }, VT_UI1_ARRAY, false, VT_UI1_ARRAY,
         "0xC3A9"},
        {"empty BSTR->array", [] { return ole_variant(L""); }, VT_UI1_ARRAY, false, VT_BSTR, ""},
        {"I8->array", [] { return ole_variant(int64_t{1}); }, VT_UI1_ARRAY, true, 0, ""},
        // Nothing to do.
        {"EMPTY->I4", [] { return ole_variant(); }, VT_I4, false, VT_EMPTY, ""},
        {"same", [] { return ole_variant(5); }, VT_I4, false, VT_I4, "5"},
        // The rest: numbers to text by their own text forms, numbers between types.
        {"I4->BSTR", [] { return ole_variant(42); }, VT_BSTR, false, VT_BSTR, "42"},
        {"BOOL->BSTR", [] { return ole_variant(true); }, VT_BSTR, false, VT_BSTR, "1"},
        {"CY->BSTR", [] { return ole_variant(CY{-5}); }, VT_BSTR, false, VT_BSTR, "-0.0005"},
        {"R8->R4", [] { return ole_variant(1.5); }, VT_R4, false, VT_R4, "1.500000e+00"},
        {"R8 1e300->R4", [] { return ole_variant(1e300); }, VT_R4, true, 0, ""},
        {"I4->DECIMAL", [] { return ole_variant(-3); }, VT_DECIMAL, false, VT_DECIMAL, "-3"},
        {"R8->CY", [] { return ole_variant(2.5); }, VT_CY, false, VT_CY, "2.5"},
        {"DEC->CY", [] { return ole_variant(dec("1.00005")); }, VT_CY, false, VT_CY, "1"},
        {"BSTR->ERROR", [] { return ole_variant(L"x"); }, VT_ERROR, true, 0, ""},
    };
    for (const auto& c : cases) {
        ole_variant v = c.make();
        if (c.throws) {
            EXPECT_THROW(v.change_type(c.to), ole_cast_exception) << c.name;
            continue;
        }
        ASSERT_NO_THROW(v.change_type(c.to)) << c.name;
        EXPECT_EQ(v.get_type(), c.vt) << c.name;
        EXPECT_EQ(v.to_string(), c.text) << c.name;
    }
}

TEST(ole_change_type, cast_error_is_a_kind_0_exception) {
    ole_variant v(L"maybe");
    try {
        v.change_type(VT_BOOL);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.kind(), tk_kind_continue);
        EXPECT_EQ(e.code(), 0u);
        EXPECT_STREQ(e.what(), "Cannot cast from source type to destination type");
    }
}

TEST(ole_read_as, bool_double_and_long_by_type) {
    const double nan = std::nan("");
    struct {
        const char* name;
        ole_variant v;
        bool b;
        double d;
        int32_t l;
    } cases[] = {
        {"I2", ole_variant(int16_t{-2}), true, -2, -2},
        {"UI2", ole_variant(uint16_t{0}), false, 0, 0},
        {"I4", ole_variant(7), true, 7, 7},
        {"UI4 max", ole_variant(uint32_t{4294967295u}), true, 4294967295.0, INT32_MAX},
        {"R4", ole_variant(-2.75f), true, -2.75, -2},
        {"R8 big", ole_variant(3e9), true, 3e9, INT32_MAX},
        {"R8 -big", ole_variant(-3e9), true, -3e9, INT32_MIN},
        {"R8 0", ole_variant(0.0), false, 0, 0},
        {"CY 2.5", ole_variant(CY{25000}), true, 2.5, 2},
        {"CY 0.4", ole_variant(CY{4000}), true, 0.4, 0},
        {"CY big", ole_variant(CY{INT64_MAX}), true, 922337203685477.5807, INT32_MAX},
        {"DEC 3.5", ole_variant(dec("3.5")), true, 3.5, 4},
        {"DEC 5e9", ole_variant(dec("5000000000")), true, 5e9, INT32_MAX},
        {"DEC -5e9", ole_variant(dec("-5000000000")), true, -5e9, INT32_MIN},
        {"DEC 0", ole_variant(dec("0.000")), false, 0, 0},
        {"BOOL true", ole_variant(true), true, 1, 1},
        {"BOOL false", ole_variant(false), false, 0, 0},
        {"I1", ole_variant(int8_t{-1}), true, -1, -1},
        {"UI1", ole_variant(uint8_t{255}), true, 255, 255},
        {"I8", ole_variant(int64_t{5000000000}), true, 5e9, INT32_MAX},
        {"I8 -", ole_variant(int64_t{-5}), true, -5, -5},
        {"UI8", ole_variant(uint64_t{UINT64_MAX}), true, 18446744073709551615.0, INT32_MAX},
        {"EMPTY", ole_variant(), false, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.v.to_bool(), c.b) << c.name;
        EXPECT_EQ(c.v.to_double(), c.d) << c.name;
        EXPECT_EQ(c.v.to_long(), c.l) << c.name;
    }
    ole_variant n(nan);
    EXPECT_TRUE(n.to_bool());
    EXPECT_EQ(n.to_long(), 0);
    // Texts, dates and byte arrays are no numbers: false and 0, and an internal error
    // for to_double.
    ole_variant others[] = {ole_variant(L"1"), ole_variant::from_string("2024-01-05", VT_DATE),
                            ole_variant(std::vector<uint8_t>{1})};
    for (const auto& o : others) {
        EXPECT_FALSE(o.to_bool());
        EXPECT_EQ(o.to_long(), 0);
        try {
            o.to_double();
            FAIL() << o.get_type();
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.message(), make_err_meggase("ole_var.cpp", 940));
        }
    }
}
