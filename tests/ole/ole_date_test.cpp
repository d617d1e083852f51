// Parsing, validating and printing date-time values.
#include <gtest/gtest.h>

#include <cstdio>

#include "ole/ole_date.hpp"

TEST(ole_date, parses_every_form_and_prints_the_canonical_text) {
    struct {
        const char* in;
        int32_t kind;
        const char* out6;  // to_string(6)
        const char* out3;  // to_string(3), when it differs (else nullptr)
    } cases[] = {
        // MySQL forms.
        {"2024-02-29 13:05:09.000250", 1, "2024-02-29 13:05:09.000250", "2024-02-29 13:05:09.000"},
        {"2024-02-29 13:05:09", 1, "2024-02-29 13:05:09", nullptr},
        {"2024-01-05 10:30:15.5", 1, "2024-01-05 10:30:15.500000", "2024-01-05 10:30:15.500"},
        {"2024-01-05", 2, "2024-01-05", nullptr},
        {"2024-01-05 00:00:00", 1, "2024-01-05", nullptr},
        {"2024-01-05 00:00:00.000400", 1, "2024-01-05 00:00:00.000400", "2024-01-05 00:00:00.000"},
        {"0000-00-00", 2, "0000-00-00", nullptr},
        {"0000-00-00 00:00:00", 1, "0000-00-00", nullptr},
        {"1000-01-01", 2, "1000-01-01", nullptr},
        {"9999-12-31 23:59:59.999999", 1, "9999-12-31 23:59:59.999999", "9999-12-31 23:59:59.999"},
        {"13:05:09", 3, "0000-00-00 13:05:09", nullptr},
        {"00:00:00", 3, "0000-00-00 00:00:00", nullptr},
        {"10:30", 3, "0000-00-00 10:30:00", nullptr},
        {"838:59:59", 3, "0000-00-00 22:59:59", nullptr},
        {"25:30:00", 3, "0000-00-00 01:30:00", nullptr},
        {"23:59:60", 3, "0000-00-00 23:59:60", nullptr},
        // Timestamps.
        {"20240131235959", 1, "2024-01-31 23:59:59", nullptr},
        {"20240131", 2, "2024-01-31", nullptr},
        // Other separators, day-first text swapped into place.
        {"2024/01/05", 2, "2024-01-05", nullptr},
        {"2024.01.05 10:20:30", 1, "2024-01-05 10:20:30", nullptr},
        {"31.12.2023", 2, "2023-12-31", nullptr},
        {"31-12-2023 08:00:01", 1, "2023-12-31 08:00:01", nullptr},
        {"  2024-01-05  ", 2, "2024-01-05", nullptr},
        // Rounding of the seconds: microseconds carry up to the hour.
        {"10:30:59.9999996", 3, "0000-00-00 10:31:00", nullptr},
        {"10:59:59.9999996", 3, "0000-00-00 11:00:00", nullptr},
        {"23:59:59.9999996", 3, "0000-00-00 00:00:00", nullptr},
        {"10:30:59.9996", 3, "0000-00-00 10:30:59.999600", "0000-00-00 10:30:59.999"},
        {"10:30:15.0000004", 3, "0000-00-00 10:30:15", nullptr},
        {"10:30:15.25 garbage", 3, "0000-00-00 10:30:15.250000", "0000-00-00 10:30:15.250"},
        // Meridiem.
        {"07:15:00 PM", 3, "0000-00-00 19:15:00", nullptr},
        {"07:15:00 pm", 3, "0000-00-00 19:15:00", nullptr},
        {"12:30 PM", 3, "0000-00-00 12:30:00", nullptr},
        {"12:30 AM", 3, "0000-00-00 00:30:00", nullptr},
        {"07:15 AM", 3, "0000-00-00 07:15:00", nullptr},
        // Forms left to the locale-1033 parser.
        {"12/25/2023", 2, "2023-12-25", nullptr},
        {"December 25, 2023", 2, "2023-12-25", nullptr},
        {"Dec 25, 2023 10:30", 1, "2023-12-25 10:30:00", nullptr},
        {"2024-01-05 10:30", 1, "2024-01-05 10:30:00", nullptr},
        {"12/25/2023 10:30 PM", 1, "2023-12-25 22:30:00", nullptr},
        // Refused.
        {"2023-02-29 10:00:00", 0, "", nullptr},
        {"2024-13-01", 0, "", nullptr},
        {"2024-01-32", 0, "", nullptr},
        {"2024-00-05", 0, "", nullptr},
        {"2024-01-00", 0, "", nullptr},
        {"0000-01-05", 0, "", nullptr},
        {"1900-02-29", 0, "", nullptr},
        {"10:61:00", 0, "", nullptr},
        {"10:30:61", 0, "", nullptr},
        {"1:05", 0, "", nullptr},
        {"abcd", 0, "", nullptr},
        {"", 0, "", nullptr},
        {"12/25", 0, "", nullptr},
        {"not a date at all", 0, "", nullptr},
        // A negative time of day is no time of day.
        {"-12:30:00", 0, "", nullptr},
        {"-00:30:00", 0, "", nullptr},
        {"-2024-01-05", 0, "", nullptr},
        {"10:30:-5", 0, "", nullptr},
        {"70000:30:00", 0, "", nullptr},
    };
    for (const auto& c : cases) {
        ole_date d(c.in);
        EXPECT_EQ(d.get_kind(), c.kind) << c.in;
        EXPECT_EQ(d.is_valid(), c.kind != 0) << c.in;
        EXPECT_EQ(d.to_string(6), c.out6) << c.in;
        EXPECT_EQ(d.to_string(3), c.out3 ? c.out3 : c.out6) << c.in;
        std::string o(c.out6);
        EXPECT_EQ(d.to_wstring(6), std::wstring(o.begin(), o.end())) << c.in;
        EXPECT_EQ(ole_date(std::wstring(c.in, c.in + strlen(c.in))).to_string(6), c.out6) << c.in;
    }
}

TEST(ole_date, fields_of_a_parsed_value) {
    ole_date d("2024-02-29 13:05:09.000250");
    const SYSTEMTIME& t = d.get_systemtime();
    EXPECT_EQ(t.wYear, 2024);
    EXPECT_EQ(t.wMonth, 2);
    EXPECT_EQ(t.wDay, 29);
    EXPECT_EQ(t.wHour, 13);
    EXPECT_EQ(t.wMinute, 5);
    EXPECT_EQ(t.wSecond, 9);
    EXPECT_EQ(t.wMilliseconds, 0);
    EXPECT_EQ(d.get_microseconds(), 250);
    EXPECT_EQ(d.get_tz_hours(), 0);
    EXPECT_TRUE(d.get_midnight_as_date());

    // Milliseconds follow the microseconds, so they never reach 1000.
    ole_date e("10:30:59.9996");
    EXPECT_EQ(e.get_systemtime().wMilliseconds, 999);
    EXPECT_EQ(e.get_microseconds(), 999600);

    DATE v;
    ASSERT_TRUE(d.to_variant_time(v));
    EXPECT_NEAR(v, 45351.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0, 1e-9);
    EXPECT_FALSE(ole_date("13:05:09").to_variant_time(v));
}

TEST(ole_date, long_seconds_text_is_read_safely) {
    std::string s = "10:30:" + std::string(100000, '5');
    ole_date d(s);
    EXPECT_EQ(d.get_kind(), 0);
    std::string t = "2024-01-05 10:30:1" + std::string(5000, '0') + "x";
    EXPECT_EQ(ole_date(t).get_kind(), 0);
    std::string u = "2024-01-05 10:30:15." + std::string(5000, '9');
    EXPECT_EQ(ole_date(u).to_string(6), "2024-01-05 10:30:16");
}

TEST(ole_date, built_from_system_times_and_refined) {
    struct {
        SYSTEMTIME st;
        int32_t kind;
        const char* out;
    } cases[] = {
        {{2024, 1, 0, 5, 0, 0, 0, 0}, 2, "2024-01-05"},
        {{2024, 1, 0, 5, 10, 20, 30, 0}, 1, "2024-01-05 10:20:30"},
        {{2024, 1, 0, 5, 10, 20, 30, 5}, 1, "2024-01-05 10:20:30.005"},
        {{0, 0, 0, 0, 10, 20, 30, 0}, 3, "0000-00-00 10:20:30"},
        {{0, 0, 0, 0, 0, 0, 0, 0}, 3, "0000-00-00 00:00:00"},
    };
    for (const auto& c : cases) {
        ole_date d(c.st);
        EXPECT_EQ(d.get_kind(), c.kind) << c.out;
        EXPECT_EQ(d.to_string(6), c.out);
    }
    ole_date d(SYSTEMTIME{2024, 1, 0, 5, 10, 20, 30, 5});
    EXPECT_EQ(d.to_string(0), "2024-01-05 10:20:30");
    d.set_kind(ole_date::kind_date);
    EXPECT_EQ(d.to_string(6), "2024-01-05");
    d.set_kind(ole_date::kind_time);
    EXPECT_EQ(d.to_string(6), "0000-00-00 10:20:30.005");
    EXPECT_EQ(ole_date().to_string(6), "");
    EXPECT_FALSE(ole_date().is_valid());
}

// The direct reading of MySQL's forms must give exactly what the general parser gives,
// and leave every other text to it.
TEST(ole_date, mysql_forms_read_directly_equal_the_general_parser) {
    auto same = [](const ole_date& a, const ole_date& b) {
        const SYSTEMTIME &x = a.get_systemtime(), &y = b.get_systemtime();
        return a.get_kind() == b.get_kind() && a.get_microseconds() == b.get_microseconds() &&
               a.get_midnight_as_date() == b.get_midnight_as_date() &&
               a.get_tz_hours() == b.get_tz_hours() && x.wYear == y.wYear && x.wMonth == y.wMonth &&
               x.wDayOfWeek == y.wDayOfWeek && x.wDay == y.wDay && x.wHour == y.wHour &&
               x.wMinute == y.wMinute && x.wSecond == y.wSecond &&
               x.wMilliseconds == y.wMilliseconds;
    };
    const struct {
        const char* text;
        bool direct;
    } cases[] = {
        {"2024-01-05", true},
        {"2024-02-29", true},
        {"0001-01-01", true},
        {"9999-12-31 23:59:59.999999", true},
        {"2024-01-05 00:00:00", true},
        {"2024-01-05 10:30:15.5", true},
        {"2024-01-05 10:30:15.000250", true},
        {"10:30:59", true},
        {"10:30:15.12345", true},  // 14 characters: not a timestamp
        {"00:00:00.000001", true},
        {"23:59:59.9", true},
        // Left to the general parser.
        {"2023-02-29", false},
        {"2024-13-01", false},
        {"0000-00-00", false},
        {"2024-00-05 10:00:00", false},
        {"0031-01-40", false},
        {"2024-01-05 24:00:00", false},
        {"2024-01-05 10:60:00", false},
        {"2024-01-05 10:30:15.", false},
        {"2024-01-05 10:30:15.1234567", false},
        {"2024-01-05T10:30:15", false},
        {"2024-01-05 10:30", false},
        {"24:00:00", false},
        {"838:59:59", false},
        {"-01:00:00", false},
        {"10:30", false},
        {"10:30:15 PM", false},
        {" 2024-01-05", false},
        {"2024-1-05", false},
        {"20240105", false},
        {"", false},
    };
    for (const auto& c : cases) {
        ole_date direct;
        ASSERT_EQ(direct.parse_canonical(c.text), c.direct) << c.text;
        if (c.direct)
            EXPECT_TRUE(same(direct, ole_date(std::string_view(c.text)))) << c.text;
        else
            EXPECT_EQ(direct.get_kind(), ole_date::kind_empty) << c.text;
    }
    // Every fraction length, and fractions the floating-point reading could round
    // differently, across the seconds of a minute.
    for (int second = 0; second < 60; second += 7) {
        for (int micro = 0; micro < 1000000; micro += 4999) {
            for (int digits = 1; digits <= 6; ++digits) {
                char text[40];
                int scaled = micro;
                for (int i = digits; i < 6; ++i) scaled /= 10;
                std::snprintf(text, sizeof text, "2024-03-31 22:59:%02d.%0*d", second, digits,
                              scaled);
                ole_date direct;
                ASSERT_TRUE(direct.parse_canonical(text)) << text;
                ASSERT_TRUE(same(direct, ole_date(std::string_view(text)))) << text;
            }
        }
    }
}
