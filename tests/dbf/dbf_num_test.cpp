// Numbers fitted into N fields.
#include <gtest/gtest.h>

#include "dbf/dbf_num.hpp"

namespace {

std::pair<std::string, dbf_fit> put(const dbf_digits& d, uint32_t width) {
    std::string out(width, '?');
    dbf_fit fit = dbf_put_number(d, reinterpret_cast<uint8_t*>(out.data()), width);
    return {out, fit};
}

}  // namespace

TEST(dbf_numbers, texts_are_fitted_without_wrong_digits) {
    struct {
        const char* text;
        int pad;
        uint32_t width;
        const char* out;
        dbf_fit fit;
    } cases[] = {
        {"12", 0, 6, "    12", dbf_fit::exact},
        {"12.5", 2, 6, " 12.50", dbf_fit::exact},
        {"12", 5, 19, "           12.00000", dbf_fit::exact},
        {"1.5", 0, 10, "       1.5", dbf_fit::exact},
        {"12.345", 2, 6, "12.345", dbf_fit::exact},     // surplus decimals that fit stay
        {"1234567", 0, 4, "    ", dbf_fit::blank},      // never the first four digits
        {"-0.12345", 5, 7, "-.12345", dbf_fit::exact},  // the leading zero goes first
        {"0.5", 0, 2, ".5", dbf_fit::exact},
        {"-0.125", 0, 4, "-.13", dbf_fit::rounded},  // half away from zero
        {"0.125", 0, 3, ".13", dbf_fit::rounded},
        {"9.96", 0, 3, " 10", dbf_fit::rounded},  // "10.0" needs 4
        {"99.96", 0, 3, "100", dbf_fit::rounded},
        {"-0.4", 0, 2, " 0", dbf_fit::rounded},  // no negative zero
        {"-0.04", 0, 2, ".0", dbf_fit::rounded},
        {"123", 0, 2, "  ", dbf_fit::blank},
        {"12.00", 0, 2, "12", dbf_fit::exact},  // only zeros were dropped
        {"+7", 0, 3, "  7", dbf_fit::exact},
        {"1e3", 0, 5, " 1000", dbf_fit::exact},
        {".5", 0, 3, "0.5", dbf_fit::exact},
    };
    for (const auto& c : cases) {
        dbf_digits d;
        ASSERT_TRUE(d.set_text(c.text)) << c.text;
        d.pad_fraction(c.pad);
        auto [out, fit] = put(d, c.width);
        if (c.fit == dbf_fit::blank) {
            EXPECT_EQ(out, std::string(c.width, ' ')) << c.text;
        } else {
            EXPECT_EQ(out, c.out) << c.text;
        }
        EXPECT_EQ(fit, c.fit) << c.text;
    }
    for (const char* bad : {"", "-", ".", "1.2.3", "12a", "0x10", "1e", "--1"}) {
        dbf_digits d;
        EXPECT_FALSE(d.set_text(bad)) << bad;
    }
}

TEST(dbf_numbers, floating_values_are_fixed_point) {
    struct {
        double v;
        bool single;
        int decimals;
        const char* text;
    } cases[] = {
        {1.5, true, 5, "1.50000"},
        {0.1, true, 5, "0.10000"},  // the float's own shortest digits, not 0.100000001
        {2.675, false, 2, "2.68"},
        {-2.5, false, 0, "-3"},
        {1e20, false, 0, "100000000000000000000"},
        {5e-324, false, 3, "0.000"},
        {-0.0, false, 1, "0.0"},
    };
    for (const auto& c : cases) {
        dbf_digits d;
        ASSERT_TRUE(c.single ? d.set_float(static_cast<float>(c.v)) : d.set_double(c.v));
        d.round_to(c.decimals);
        d.pad_fraction(c.decimals);
        EXPECT_EQ(d.text(), c.text) << c.v;
    }
    dbf_digits d;
    EXPECT_FALSE(d.set_double(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(d.set_double(std::numeric_limits<double>::quiet_NaN()));
    d.set_scaled(static_cast<unsigned __int128>(125000), 4, true);
    d.trim_fraction();
    EXPECT_EQ(d.text(), "-12.5");
    d.set_unsigned(UINT64_MAX);
    EXPECT_EQ(d.text(), "18446744073709551615");
    d.set_signed(INT64_MIN);
    EXPECT_EQ(d.text(), "-9223372036854775808");
}

// A number's decimal text goes straight into the field when it fits as it is, with
// exactly the bytes its digits would give; else it is left to the digits.
TEST(dbf_numbers, a_decimal_text_is_written_as_its_digits_would_be) {
    const char* texts[] = {"12",   "-12",   "0",     "-0",     "-0.00",  "007",      "0.5",
                           "-0.5", "79.10", "79.00", "100.25", "-0.125", "123456789"};
    for (const char* text : texts) {
        for (int decimals : {0, 2, 5}) {
            for (uint32_t width : {1u, 2u, 3u, 4u, 6u, 11u, 19u}) {
                SCOPED_TRACE(std::string(text) + " " + std::to_string(decimals) + " " +
                             std::to_string(width));
                dbf_digits d;
                ASSERT_TRUE(d.set_text(text));
                d.trim_fraction();
                d.pad_fraction(decimals);
                const auto [expected, fit] = put(d, width);
                std::string out(width, '?');
                const bool direct = dbf_put_decimal_text(
                    text, decimals, reinterpret_cast<uint8_t*>(out.data()), width);
                EXPECT_EQ(direct, width == 19 || out != std::string(width, '?'));
                if (direct) {
                    EXPECT_EQ(fit, dbf_fit::exact);
                    EXPECT_EQ(out, expected);
                }
            }
        }
    }
}

// A float or double goes from its shortest text into the field when that needs no
// rounding and fits, with exactly the bytes its digits would give.
TEST(dbf_numbers, a_shortest_float_text_is_written_as_its_digits_would_be) {
    const struct {
        double v;
        bool single;
    } values[] = {{1.5, true},       {0.1, true},
                  {66666.664, true}, {-0.0, true},
                  {-2.5, false},     {2.675, false},
                  {1e20, false},     {5e-324, false},
                  {-0.0001, false},  {std::numeric_limits<double>::quiet_NaN(), false}};
    for (const auto& c : values) {
        for (int decimals : {0, 2, 5}) {
            for (uint32_t width : {3u, 8u, 19u}) {
                SCOPED_TRACE(std::to_string(c.v) + " " + std::to_string(decimals) + " " +
                             std::to_string(width));
                dbf_digits d;
                const bool number =
                    c.single ? d.set_float(static_cast<float>(c.v)) : d.set_double(c.v);
                std::string out(width, '?');
                auto* p = reinterpret_cast<uint8_t*>(out.data());
                const bool direct =
                    c.single ? dbf_put_shortest(static_cast<float>(c.v), decimals, p, width)
                             : dbf_put_shortest(c.v, decimals, p, width);
                if (!direct) {
                    EXPECT_EQ(out, std::string(width, '?'));
                    continue;
                }
                ASSERT_TRUE(number);
                d.round_to(decimals);
                d.pad_fraction(decimals);
                const auto [expected, fit] = put(d, width);
                EXPECT_EQ(fit, dbf_fit::exact);
                EXPECT_EQ(out, expected);
            }
        }
    }
    uint8_t field[19];
    EXPECT_TRUE(dbf_put_shortest(66666.664f, 5, field, 19));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 19), "        66666.66400");
    EXPECT_FALSE(dbf_put_shortest(2.675, 2, field, 19));  // rounded by the digits
}
