// The value core: decimal, currency, integer and float text, rounding, DATE and the
// checked conversions between numeric types.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/oa/oa_date.hpp"
#include "platform/oa/oa_dec.hpp"
#include "platform/oa/oa_num.hpp"
#include "platform/oa/oa_var.hpp"

using oa::status;

namespace {

std::string dec_text(std::string_view in, status* st = nullptr) {
    DECIMAL d;
    status s = oa::decimal_from_string(in, d);
    if (st) *st = s;
    return s == status::ok ? oa::decimal_to_string(d) : std::string("<fail>");
}

}  // namespace

TEST(oa_decimal, parses_and_prints_across_scales_signs_and_limits) {
    struct {
        const char* in;
        const char* out;  // "<fail>" with the status below
        status st;
    } cases[] = {
        {"-123.4500", "-123.45", status::ok},
        {"1.50", "1.5", status::ok},
        {"150", "150", status::ok},
        {"0", "0", status::ok},
        {"-0", "0", status::ok},
        {"-0.000", "0", status::ok},
        {"  12.5  ", "12.5", status::ok},
        {"+7", "7", status::ok},
        {".5", "0.5", status::ok},
        {"5.", "5", status::ok},
        {"1e3", "1000", status::ok},
        {"1.5E-3", "0.0015", status::ok},
        {"0.0000000001", "0.0000000001", status::ok},
        {"-1.5", "-1.5", status::ok},
        // 28 decimals are kept; a 29th is rounded half to even.
        {"0.0000000000000000000000000001", "0.0000000000000000000000000001", status::ok},
        {"0.00000000000000000000000000005", "0", status::ok},
        {"0.00000000000000000000000000015", "0.0000000000000000000000000002", status::ok},
        {"0.00000000000000000000000000025", "0.0000000000000000000000000002", status::ok},
        {"0.000000000000000000000000000051", "0.0000000000000000000000000001", status::ok},
        {"1e-40", "0", status::ok},
        // 29 significant digits up to 2^96 - 1.
        {"79228162514264337593543950335", "79228162514264337593543950335", status::ok},
        {"-79228162514264337593543950335", "-79228162514264337593543950335", status::ok},
        {"7922816251426433759354395033.5", "7922816251426433759354395033.5", status::ok},
        {"1.2345678901234567890123456789", "1.2345678901234567890123456789", status::ok},
        {"12345678901234567890.123456789", "12345678901234567890.123456789", status::ok},
        // Surplus digits: rounded away, once, from the digits as written.
        {"12345678901234567890.1234567890123", "12345678901234567890.123456789", status::ok},
        {"7922816251426433759354395033.56", "7922816251426433759354395034", status::ok},
        {"0.99999999999999999999999999999", "1", status::ok},
        {"1e28", "10000000000000000000000000000", status::ok},
        // The integer part does not fit: overflow.
        {"79228162514264337593543950336", "<fail>", status::overflow},
        {"1e29", "<fail>", status::overflow},
        {"123456789012345678901234567890.5", "<fail>", status::overflow},
        // Not a number at all.
        {"", "<fail>", status::type_mismatch},
        {"abc", "<fail>", status::type_mismatch},
        {"1.2.3", "<fail>", status::type_mismatch},
        {"1e", "<fail>", status::type_mismatch},
        {"--1", "<fail>", status::type_mismatch},
        {"1,5", "<fail>", status::type_mismatch},
        {"12abc", "<fail>", status::type_mismatch},
        {"- 1", "<fail>", status::type_mismatch},
    };
    for (const auto& c : cases) {
        status st;
        EXPECT_EQ(dec_text(c.in, &st), c.out) << c.in;
        EXPECT_EQ(st, c.st) << c.in;
    }
    // Plain texts are read directly; a leading blank sends the same text through the
    // general reader, which must build the very same value, scale included.
    for (const char* plain : {"12.50", "-0.00", "0", "5.", ".5", "-.5", "+7", "007.50",
                              "0.0000000000000000000000000001", "1234567890123456789012345678",
                              "-1.234567890123456789012345678", "99999999999999999999999999.99",
                              "12345678901234567890123456789"}) {
        DECIMAL direct, general;
        ASSERT_EQ(oa::decimal_from_string(plain, direct), status::ok) << plain;
        ASSERT_EQ(oa::decimal_from_string(std::string(" ") + plain, general), status::ok) << plain;
        EXPECT_EQ(oa::decimal_bytes(direct), oa::decimal_bytes(general)) << plain;
    }
}

TEST(oa_decimal, rounds_half_to_even_into_integer_ranges) {
    struct {
        const char* in;
        int64_t lo, hi;
        status st;
        int64_t out;
    } cases[] = {
        {"0.5", INT32_MIN, INT32_MAX, status::ok, 0},
        {"1.5", INT32_MIN, INT32_MAX, status::ok, 2},
        {"2.5", INT32_MIN, INT32_MAX, status::ok, 2},
        {"-1.5", INT32_MIN, INT32_MAX, status::ok, -2},
        {"-2.5", INT32_MIN, INT32_MAX, status::ok, -2},
        {"2.5000001", INT32_MIN, INT32_MAX, status::ok, 3},
        {"2147483646.5", INT32_MIN, INT32_MAX, status::ok, 2147483646},
        {"2147483647.5", INT32_MIN, INT32_MAX, status::overflow, 0},
        {"-2147483648.5", INT32_MIN, INT32_MAX, status::ok, INT32_MIN},
        {"-0.4", 0, UINT16_MAX, status::ok, 0},
        {"-0.6", 0, UINT16_MAX, status::overflow, 0},
        {"127.4", INT8_MIN, INT8_MAX, status::ok, 127},
        {"127.5", INT8_MIN, INT8_MAX, status::overflow, 0},
    };
    for (const auto& c : cases) {
        DECIMAL d;
        ASSERT_EQ(oa::decimal_from_string(c.in, d), status::ok) << c.in;
        __int128 r = 0;
        EXPECT_EQ(oa::decimal_to_integer(d, c.lo, c.hi, r), c.st) << c.in;
        if (c.st == status::ok) {
            EXPECT_EQ(static_cast<int64_t>(r), c.out) << c.in;
        }
    }
}

TEST(oa_decimal, converts_exactly_to_and_from_other_numbers) {
    EXPECT_EQ(oa::decimal_to_string(oa::decimal_from_i64(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(oa::decimal_to_string(oa::decimal_from_u64(UINT64_MAX)), "18446744073709551615");

    DECIMAL d;
    ASSERT_EQ(oa::decimal_from_string("0.1", d), status::ok);
    EXPECT_EQ(oa::decimal_to_double(d), 0.1);
    ASSERT_EQ(oa::decimal_from_string("-79228162514264337593543950335", d), status::ok);
    EXPECT_EQ(oa::decimal_to_double(d), -7.922816251426434e28);

    // From a double: its 15 significant digits.
    ASSERT_EQ(oa::decimal_from_double(0.1, d), status::ok);
    EXPECT_EQ(oa::decimal_to_string(d), "0.1");
    ASSERT_EQ(oa::decimal_from_double(-1234.5678, d), status::ok);
    EXPECT_EQ(oa::decimal_to_string(d), "-1234.5678");
    EXPECT_EQ(oa::decimal_from_double(1e30, d), status::overflow);
    EXPECT_EQ(oa::decimal_from_double(std::nan(""), d), status::overflow);
}

TEST(oa_decimal, byte_image_is_the_variant_overlay) {
    DECIMAL d;
    ASSERT_EQ(oa::decimal_from_string("-18446744073709551617.5", d), status::ok);
    auto b = oa::decimal_bytes(d);
    EXPECT_EQ(b[0], 14);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[2], 1);     // scale
    EXPECT_EQ(b[3], 0x80);  // sign
    uint32_t hi = b[4] | b[5] << 8 | b[6] << 16 | static_cast<uint32_t>(b[7]) << 24;
    uint64_t lo = 0;
    for (int i = 7; i >= 0; --i) lo = lo << 8 | b[8 + i];
    unsigned __int128 m = (static_cast<unsigned __int128>(hi) << 64) | lo;
    EXPECT_TRUE(m == static_cast<unsigned __int128>(18446744073709551615ull) * 10 + 25);
}

TEST(oa_currency, parses_to_four_decimals_and_prints_with_a_point) {
    struct {
        const char* in;
        status st;
        int64_t amount;
        const char* text;
    } cases[] = {
        {"0", status::ok, 0, "0"},
        {"1", status::ok, 10000, "1"},
        {"1.5", status::ok, 15000, "1.5"},
        {"0.0009", status::ok, 9, "0.0009"},
        {"-0.0005", status::ok, -5, "-0.0005"},
        {"1.23455", status::ok, 12346, "1.2346"},  // half to even
        {"1.23445", status::ok, 12344, "1.2344"},
        {"1.234451", status::ok, 12345, "1.2345"},
        {" -12.5 ", status::ok, -125000, "-12.5"},
        {"922337203685477.5807", status::ok, INT64_MAX, "922337203685477.5807"},
        {"-922337203685477.5808", status::ok, INT64_MIN, "-922337203685477.5808"},
        {"922337203685477.5808", status::overflow, 0, ""},
        {"1e15", status::overflow, 0, ""},
        {"abc", status::type_mismatch, 0, ""},
        {"", status::type_mismatch, 0, ""},
    };
    for (const auto& c : cases) {
        CY cy;
        EXPECT_EQ(oa::currency_from_string(c.in, cy), c.st) << c.in;
        if (c.st != status::ok) continue;
        EXPECT_EQ(cy.int64, c.amount) << c.in;
        EXPECT_EQ(oa::currency_to_string(cy), c.text) << c.in;
    }
}

TEST(oa_currency, converts_with_range_checks) {
    CY c;
    EXPECT_EQ(oa::currency_from_integer(922337203685477, c), status::ok);
    EXPECT_EQ(c.int64, 9223372036854770000);
    EXPECT_EQ(oa::currency_from_integer(922337203685478, c), status::overflow);
    EXPECT_EQ(oa::currency_from_integer(-922337203685477, c), status::ok);
    EXPECT_EQ(oa::currency_from_integer(-922337203685478, c), status::overflow);
    EXPECT_EQ(oa::currency_from_double(-2.25, c), status::ok);
    EXPECT_EQ(c.int64, -22500);
    EXPECT_EQ(oa::currency_from_double(1e20, c), status::overflow);

    int32_t i;
    struct {
        int64_t amount;
        status st;
        int32_t out;
    } to_i32[] = {{25000, status::ok, 2},
                  {35000, status::ok, 4},
                  {-25000, status::ok, -2},
                  {-25001, status::ok, -3},
                  {21474836475000, status::overflow, 0},
                  {21474836465000, status::ok, 2147483646}};
    for (const auto& t : to_i32) {
        EXPECT_EQ(oa::currency_to_i32(CY{t.amount}, i), t.st) << t.amount;
        if (t.st == status::ok) {
            EXPECT_EQ(i, t.out) << t.amount;
        }
    }
    EXPECT_EQ(oa::currency_to_double(CY{15000}), 1.5);
}

TEST(oa_numbers, integer_readers_have_one_defined_overflow_rule) {
    struct {
        const char* in;
        int64_t i64;
        uint64_t u64;
        uint32_t u32;
        bool read;
    } cases[] = {
        {"42", 42, 42, 42, true},
        {"  -12abc", -12, static_cast<uint64_t>(-12), static_cast<uint32_t>(-12), true},
        {"+5", 5, 5, 5, true},
        {"\t7", 7, 7, 7, true},
        {"- 5", 0, 0, 0, false},
        {"abc", 0, 0, 0, false},
        {"", 0, 0, 0, false},
        {"-1", -1, UINT64_MAX, UINT32_MAX, true},
        {"4294967295", 4294967295, 4294967295, UINT32_MAX, true},
        {"4294967296", 4294967296, 4294967296, UINT32_MAX, true},
        {"-4294967295", -4294967295, static_cast<uint64_t>(-4294967295), 1, true},
        {"9223372036854775807", INT64_MAX, 9223372036854775807u, UINT32_MAX, true},
        {"9223372036854775808", INT64_MAX, 9223372036854775808u, UINT32_MAX, true},
        {"-9223372036854775808", INT64_MIN, 9223372036854775808u, UINT32_MAX, true},
        {"-9223372036854775809", INT64_MIN, 9223372036854775807u, UINT32_MAX, true},
        {"18446744073709551615", INT64_MAX, UINT64_MAX, UINT32_MAX, true},
        {"18446744073709551616", INT64_MAX, UINT64_MAX, UINT32_MAX, true},
        {"99999999999999999999999", INT64_MAX, UINT64_MAX, UINT32_MAX, true},
        {"-99999999999999999999999", INT64_MIN, UINT64_MAX, UINT32_MAX, true},
    };
    for (const auto& c : cases) {
        bool r1, r2, r3;
        EXPECT_EQ(oa::parse_i64_prefix(c.in, &r1), c.i64) << c.in;
        EXPECT_EQ(oa::parse_u64_prefix(c.in, &r2), c.u64) << c.in;
        EXPECT_EQ(oa::parse_u32_prefix(c.in, &r3), c.u32) << c.in;
        EXPECT_EQ(r1, c.read) << c.in;
        EXPECT_EQ(r2, c.read) << c.in;
        EXPECT_EQ(r3, c.read) << c.in;
    }
    int64_t v;
    EXPECT_EQ(oa::parse_i64_strict(" 42 ", v), status::ok);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(oa::parse_i64_strict("42x", v), status::type_mismatch);
    EXPECT_EQ(oa::parse_i64_strict("9223372036854775808", v), status::overflow);
}

TEST(oa_numbers, float_reader_goes_as_far_as_it_can) {
    const double inf = std::numeric_limits<double>::infinity();
    struct {
        const char* in;
        double out;
        bool read;
    } cases[] = {
        {"12.5xyz", 12.5, true}, {"  .5", 0.5, true},
        {"+1.5", 1.5, true},     {"-2e3", -2000, true},
        {"1e", 1, true},         {"1e+", 1, true},
        {"1e400", inf, true},    {"-1e400", -inf, true},
        {"1e-400", 0, true},     {"0.000e999999", 0, true},
        {"abc", 0, false},       {"-", 0, false},
        {"", 0, false},          {"+-1", 0, false},
        {"12,5", 12, true},
    };
    for (const auto& c : cases) {
        bool read;
        EXPECT_EQ(oa::parse_double_prefix(c.in, &read), c.out) << c.in;
        EXPECT_EQ(read, c.read) << c.in;
    }
    double d;
    EXPECT_EQ(oa::parse_double_strict(" 1.25 ", d), status::ok);
    EXPECT_EQ(d, 1.25);
    EXPECT_EQ(oa::parse_double_strict("1.25x", d), status::type_mismatch);
    EXPECT_EQ(oa::parse_double_strict("1e999", d), status::overflow);
}

TEST(oa_numbers, exponent_text_has_the_c_runtime_shape) {
    struct {
        double v;
        int precision;
        const char* out;
    } cases[] = {
        {1.5, 16, "1.5000000000000000e+00"},
        {1.5, 6, "1.500000e+00"},
        {-0.000123, 6, "-1.230000e-04"},
        {1e100, 6, "1.000000e+100"},
        {0.0, 6, "0.000000e+00"},
        {0.1, 16, "1.0000000000000001e-01"},
        {static_cast<double>(3.4028235e38f), 6, "3.402823e+38"},
        {std::numeric_limits<double>::infinity(), 6, "inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(oa::format_exp(c.v, c.precision), c.out) << c.out;
    EXPECT_EQ(oa::format_i64(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(oa::format_u64(UINT64_MAX), "18446744073709551615");
}

TEST(oa_numbers, rounding_rules_and_checked_integer_conversions) {
    struct {
        double v, even, away;
    } rounding[] = {{0.5, 0, 1},    {1.5, 2, 2},    {2.5, 2, 3},    {-0.5, -0.0, -1},
                    {-1.5, -2, -2}, {-2.5, -2, -3}, {2.4999, 2, 2}, {1e300, 1e300, 1e300}};
    for (const auto& r : rounding) {
        EXPECT_EQ(oa::round_half_even(r.v), r.even) << r.v;
        EXPECT_EQ(oa::round_half_away(r.v), r.away) << r.v;
    }
    const double nan = std::nan("");
    int64_t i64;
    uint64_t u64;
    int32_t i32;
    EXPECT_EQ(oa::i64_from_double(2.5, i64), status::ok);
    EXPECT_EQ(i64, 2);
    EXPECT_EQ(oa::i64_from_double(-9223372036854775808.0, i64), status::ok);
    EXPECT_EQ(i64, INT64_MIN);
    EXPECT_EQ(oa::i64_from_double(9223372036854775808.0, i64), status::overflow);
    EXPECT_EQ(oa::i64_from_double(nan, i64), status::overflow);
    EXPECT_EQ(oa::u64_from_double(-0.4, u64), status::ok);
    EXPECT_EQ(u64, 0u);
    EXPECT_EQ(oa::u64_from_double(-0.6, u64), status::overflow);
    EXPECT_EQ(oa::u64_from_double(18446744073709549568.0, u64), status::ok);
    EXPECT_EQ(oa::u64_from_double(18446744073709551616.0, u64), status::overflow);
    EXPECT_EQ(oa::i32_from_double(2147483647.5, i32), status::overflow);
    EXPECT_EQ(oa::i32_from_double(2147483646.5, i32), status::ok);
    EXPECT_EQ(i32, 2147483646);
    EXPECT_EQ(oa::i32_from_double(nan, i32), status::overflow);

    struct {
        double v;
        int32_t out;
    } trunc[] = {{3e9, INT32_MAX}, {-3e9, INT32_MIN},         {nan, 0},
                 {-2.9, -2},       {2147483647.9, INT32_MAX}, {-2147483648.9, INT32_MIN}};
    for (const auto& t : trunc) EXPECT_EQ(oa::i32_trunc_saturate(t.v), t.out) << t.v;

    float f;
    EXPECT_EQ(oa::float_from_double(1e39, f), status::overflow);
    EXPECT_EQ(oa::float_from_double(1.5, f), status::ok);
    EXPECT_EQ(f, 1.5f);
}

TEST(oa_date, day_numbers_and_system_times) {
    EXPECT_EQ(oa::days_from_civil(1899, 12, 30), 0);
    EXPECT_EQ(oa::days_from_civil(2000, 1, 1), 36526);
    EXPECT_EQ(oa::days_from_civil(100, 1, 1), -657434);
    EXPECT_EQ(oa::days_from_civil(9999, 12, 31), 2958465);
    for (int64_t d = -700000; d < 3000000; d += 997) {
        int64_t y;
        int m, day;
        oa::civil_from_days(d, y, m, day);
        EXPECT_EQ(oa::days_from_civil(y, m, day), d);
    }
    EXPECT_EQ(oa::days_in_month(2000, 2), 29);
    EXPECT_EQ(oa::days_in_month(1900, 2), 28);
    EXPECT_EQ(oa::days_in_month(2024, 2), 29);
    EXPECT_EQ(oa::days_in_month(2023, 4), 30);

    DATE d;
    SYSTEMTIME st{2024, 2, 0, 29, 13, 5, 9, 0};
    ASSERT_TRUE(oa::systemtime_to_variant_time(st, d));
    SYSTEMTIME back;
    ASSERT_TRUE(oa::variant_time_to_systemtime(d, back));
    st.wDayOfWeek = 4;  // a Thursday
    EXPECT_EQ(back, st);

    // Before 1899-12-30 the fraction still counts forward from midnight.
    ASSERT_TRUE(oa::systemtime_to_variant_time({1899, 12, 0, 29, 6, 0, 0, 0}, d));
    EXPECT_EQ(d, -1.25);
    ASSERT_TRUE(oa::variant_time_to_systemtime(-1.25, back));
    EXPECT_EQ(back, (SYSTEMTIME{1899, 12, 5, 29, 6, 0, 0, 0}));
    // Whole seconds: a time a hair before midnight becomes the next day, a Monday.
    ASSERT_TRUE(oa::variant_time_to_systemtime(1.999999999, back));
    EXPECT_EQ(back, (SYSTEMTIME{1900, 1, 1, 1, 0, 0, 0, 0}));

    EXPECT_FALSE(oa::systemtime_to_variant_time({2023, 2, 0, 29, 0, 0, 0, 0}, d));
    EXPECT_FALSE(oa::systemtime_to_variant_time({2023, 1, 0, 1, 24, 0, 0, 0}, d));
    EXPECT_FALSE(oa::systemtime_to_variant_time({0, 0, 0, 0, 10, 0, 0, 0}, d));
    EXPECT_FALSE(oa::variant_time_to_systemtime(std::nan(""), back));
    EXPECT_FALSE(oa::variant_time_to_systemtime(3e6, back));
}

TEST(oa_date, locale_1033_parser_reads_the_documented_forms) {
    struct {
        const char* in;
        bool ok;
        SYSTEMTIME st;  // day of week ignored
    } cases[] = {
        {"12/25/2023", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"12-25-2023", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"2023/12/25", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"12/25/23", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"1/2/85", true, {1985, 1, 0, 2, 0, 0, 0, 0}},
        {"1/2/29", true, {2029, 1, 0, 2, 0, 0, 0, 0}},
        {"1/2/30", true, {1930, 1, 0, 2, 0, 0, 0, 0}},
        {"December 25, 2023", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"dec 25 2023", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"25 Dec 2023", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"Sept. 5, 2023", true, {2023, 9, 0, 5, 0, 0, 0, 0}},
        {"2023 Dec 25", true, {2023, 12, 0, 25, 0, 0, 0, 0}},
        {"Mon, 25 Dec 2023 10:30:15", true, {2023, 12, 0, 25, 10, 30, 15, 0}},
        {"2023-12-25 10:30", true, {2023, 12, 0, 25, 10, 30, 0, 0}},
        {"12/25/2023 10:30 PM", true, {2023, 12, 0, 25, 22, 30, 0, 0}},
        {"12/25/2023 12:30 AM", true, {2023, 12, 0, 25, 0, 30, 0, 0}},
        {"12/25/2023 12:30 pm", true, {2023, 12, 0, 25, 12, 30, 0, 0}},
        {"10:30:15.6", true, {1899, 12, 0, 30, 10, 30, 16, 0}},
        {"12/25", false, {}},  // no year: never today's
        {"Dec 25", false, {}},
        {"2023-02-29", false, {}},
        {"13/13/2023", false, {}},
        {"12/25/2023 25:00", false, {}},
        {"12/25/2023 13:00 PM", false, {}},
        {"hello", false, {}},
        {"-12:30", false, {}},
        {"12//25/2023", false, {}},
        {"2023-12-25T10:30", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        DATE d;
        status st = oa::date_from_string(c.in, d);
        EXPECT_EQ(st == status::ok, c.ok) << c.in;
        if (st != status::ok || !c.ok) continue;
        SYSTEMTIME got;
        ASSERT_TRUE(oa::variant_time_to_systemtime(d, got)) << c.in;
        got.wDayOfWeek = 0;
        EXPECT_EQ(got, c.st) << c.in;
    }
}

TEST(oa_variant, converts_between_numbers_with_range_checks) {
    auto make = [](auto setter) {
        oa::variant v;
        setter(v);
        return v;
    };
    struct {
        oa::variant in;
        VARTYPE to;
        status st;
        double expect;  // the result read back as a double
    } cases[] = {
        {make([](auto& v) { v.set_i2(-7); }), VT_I4, status::ok, -7},
        {make([](auto& v) { v.set_i4(70000); }), VT_I2, status::overflow, 0},
        {make([](auto& v) { v.set_i4(-1); }), VT_UI4, status::overflow, 0},
        {make([](auto& v) { v.set_r8(2.5); }), VT_I4, status::ok, 2},
        {make([](auto& v) { v.set_r8(3.5); }), VT_UI1, status::ok, 4},
        {make([](auto& v) { v.set_r8(std::nan("")); }), VT_I4, status::overflow, 0},
        {make([](auto& v) { v.set_r8(1e300); }), VT_R4, status::overflow, 0},
        {make([](auto& v) { v.set_ui8(UINT64_MAX); }), VT_I8, status::overflow, 0},
        {make([](auto& v) { v.set_i8(-1); }), VT_UI4, status::overflow, 0},
        {make([](auto& v) { v.set_i4(5); }), VT_BOOL, status::ok, -1},
        {make([](auto& v) { v.set_r8(0.0); }), VT_BOOL, status::ok, 0},
        {make([](auto& v) { v.set_i4(7); }), VT_CY, status::ok, 70000},
        {make([](auto& v) { v.set_cy(CY{25000}); }), VT_I4, status::ok, 2},
        {make([](auto& v) { v.set_bstr(L" 42 "); }), VT_I4, status::ok, 42},
        {make([](auto& v) { v.set_bstr(L"1e3"); }), VT_I4, status::ok, 1000},
        {make([](auto& v) { v.set_bstr(L"12.5"); }), VT_R8, status::ok, 12.5},
        {make([](auto& v) { v.set_bstr(L"12abc"); }), VT_I4, status::type_mismatch, 0},
        {make([](auto& v) { v.set_bstr(L"\u0661"); }), VT_I4, status::type_mismatch, 0},
        {make([](auto& v) { v.set_bstr(L"99999"); }), VT_I2, status::overflow, 0},
        {make([](auto& v) { v.set_bstr(L"1.23455"); }), VT_CY, status::ok, 12346},
        {make([](auto& v) { v.set_bstr(L"x"); }), VT_DATE, status::type_mismatch, 0},
        {make([](auto& v) { v.set_bytes({1}); }), VT_I4, status::type_mismatch, 0},
    };
    for (auto& c : cases) {
        oa::variant before = c.in;
        status st = oa::change_type(c.in, c.to);
        EXPECT_EQ(st, c.st) << before.vt << "->" << c.to;
        if (st != status::ok) {
            EXPECT_EQ(c.in.vt, before.vt);  // left as it was
            continue;
        }
        ASSERT_EQ(c.in.vt, c.to);
        oa::variant r = c.in;
        if (r.vt == VT_CY) {
            EXPECT_EQ(r.cy().int64, static_cast<int64_t>(c.expect));
        } else {
            ASSERT_EQ(oa::change_type(r, VT_R8), status::ok);
            EXPECT_EQ(r.r8(), c.expect) << before.vt << "->" << c.to;
        }
    }
    EXPECT_TRUE(oa::is_numeric(VT_BOOL));
    EXPECT_TRUE(oa::is_numeric(VT_UINT));
    EXPECT_FALSE(oa::is_numeric(VT_DATE));
    EXPECT_FALSE(oa::is_numeric(VT_BSTR));
    EXPECT_TRUE(oa::is_binary(VT_UI1_ARRAY));
    EXPECT_FALSE(oa::is_binary(VT_SAFEARRAY));
}
