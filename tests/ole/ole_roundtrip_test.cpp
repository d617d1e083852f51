// Every kind of value the MySQL engine hands in, from its MySQL text to the value and
// back to text: unchanged, or changed only in the ways written down here.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>

#include "ole/ole_var.hpp"

namespace {

struct trip {
    const char* column;  // the MySQL column type
    const char* text;    // as the server sends it
    VARTYPE vt;          // the value type the engine asks for
    const char* back;    // to_string afterwards; nullptr: the same text
    int result;          // the value's type afterwards (-1: vt)
};

}  // namespace

TEST(ole_round_trip, mysql_texts_come_back_unchanged_or_as_written_here) {
    const trip trips[] = {
        {"TINYINT", "-128", VT_I1, nullptr, -1},
        {"TINYINT", "127", VT_I1, nullptr, -1},
        {"TINYINT UNSIGNED", "0", VT_UI1, nullptr, -1},
        {"TINYINT UNSIGNED", "255", VT_UI1, nullptr, -1},
        {"SMALLINT", "-32768", VT_I2, nullptr, -1},
        {"SMALLINT", "32767", VT_I2, nullptr, -1},
        {"SMALLINT UNSIGNED", "65535", VT_UI2, nullptr, -1},
        {"MEDIUMINT", "-8388608", VT_I4, nullptr, -1},
        {"MEDIUMINT UNSIGNED", "16777215", VT_I4, nullptr, -1},
        {"INT", "-2147483648", VT_I4, nullptr, -1},
        {"INT", "2147483647", VT_I4, nullptr, -1},
        {"INT", "0", VT_I4, nullptr, -1},
        {"INT UNSIGNED", "4294967295", VT_UI4, nullptr, -1},
        {"BIGINT", "-9223372036854775808", VT_I8, nullptr, -1},
        {"BIGINT", "9223372036854775807", VT_I8, nullptr, -1},
        {"BIGINT UNSIGNED", "18446744073709551615", VT_UI8, nullptr, -1},
        {"YEAR", "2024", VT_UI2, nullptr, -1},
        {"YEAR", "1901", VT_UI2, nullptr, -1},
        {"YEAR", "0000", VT_UI2, "0", -1},  // the number, without leading zeros
        // DECIMAL: the value is kept; trailing decimal zeros are not printed.
        {"DECIMAL(10,4)", "-123.4500", VT_DECIMAL, "-123.45", -1},
        {"DECIMAL(10,2)", "12.50", VT_DECIMAL, "12.5", -1},
        {"DECIMAL(10,2)", "0.00", VT_DECIMAL, "0", -1},
        {"DECIMAL(10,0)", "1234567890", VT_DECIMAL, nullptr, -1},
        {"DECIMAL(29,0)", "79228162514264337593543950335", VT_DECIMAL, nullptr, -1},
        {"DECIMAL(29,0)", "-79228162514264337593543950335", VT_DECIMAL, nullptr, -1},
        {"DECIMAL(29,28)", "7.9228162514264337593543950335", VT_DECIMAL, nullptr, -1},
        {"DECIMAL(28,28)", "0.0000000000000000000000000001", VT_DECIMAL, nullptr, -1},
        {"DECIMAL(29,9)", "12345678901234567890.123456789", VT_DECIMAL, nullptr, -1},
        // Beyond 29 significant digits (DECIMAL(65,30)): decimals beyond what fits are
        // rounded; an integer part beyond 96 bits falls back to a double.
        {"DECIMAL(65,30)", "1.123456789012345678901234567890", VT_DECIMAL,
         "1.1234567890123456789012345679", -1},
        {"DECIMAL(65,30)", "0.000000000000000000000000000001", VT_DECIMAL, "0", -1},
        {"DECIMAL(65,30)", "12345678901234567890123456789012345.123456789012345678901234567890",
         VT_DECIMAL, "1.2345678901234569e+34", VT_R8},
        {"DECIMAL(65,0)", "99999999999999999999999999999999999999999999999999999999999999999",
         VT_DECIMAL, "9.9999999999999999e+64", VT_R8},
        // Dates: one canonical text; a midnight date-time prints as its date.
        {"DATE", "2024-02-29", VT_DATE, nullptr, -1},
        {"DATE", "1000-01-01", VT_DATE, nullptr, -1},
        {"DATE", "9999-12-31", VT_DATE, nullptr, -1},
        {"DATE", "0000-00-00", VT_DATE, nullptr, -1},
        {"DATETIME", "2024-02-29 13:05:09", VT_DATE, nullptr, -1},
        {"DATETIME(6)", "2024-02-29 13:05:09.000250", VT_DATE, nullptr, -1},
        {"DATETIME(6)", "2024-01-05 00:00:00.000400", VT_DATE, nullptr, -1},
        {"DATETIME(3)", "2024-02-29 13:05:09.120", VT_DATE, "2024-02-29 13:05:09.120000", -1},
        {"DATETIME", "2024-01-05 00:00:00", VT_DATE, "2024-01-05", -1},
        {"DATETIME", "0000-00-00 00:00:00", VT_DATE, "0000-00-00", -1},
        {"TIMESTAMP", "2038-01-19 03:14:07", VT_DATE, nullptr, -1},
        // TIME: printed behind the zero date; durations of a day and more modulo 24 hours;
        // negative durations have no time of day and become empty.
        {"TIME", "13:05:09", VT_DATE, "0000-00-00 13:05:09", -1},
        {"TIME", "00:00:00", VT_DATE, "0000-00-00 00:00:00", -1},
        {"TIME(6)", "13:05:09.500000", VT_DATE, "0000-00-00 13:05:09.500000", -1},
        {"TIME", "838:59:59", VT_DATE, "0000-00-00 22:59:59", -1},
        {"TIME", "-12:30:00", VT_DATE, "", VT_EMPTY},
        // Text, and text that looks like something else.
        {"VARCHAR", "h\xc3\xa9llo \xe2\x82\xac 'quoted' \\", VT_BSTR, nullptr, -1},
        {"VARCHAR", "", VT_BSTR, nullptr, -1},
        {"VARCHAR", "0x1234", VT_BSTR, nullptr, -1},
        {"VARCHAR", "  spaces kept  ", VT_BSTR, nullptr, -1},
        {"ENUM", "small", VT_BSTR, nullptr, -1},
        {"JSON", "{\"a\": [1, 2.5]}", VT_BSTR, nullptr, -1},
        {"TEXT", "\xf0\x9f\x98\x80 line\r\nbreak", VT_BSTR, nullptr, -1},
        // BIT(1) as a Boolean word.
        {"BIT(1)", "1", VT_BOOL, nullptr, -1},
        {"BIT(1)", "0", VT_BOOL, nullptr, -1},
        // Bytes as hexadecimal text.
        {"VARBINARY", "0x00FF10", VT_UI1_ARRAY, nullptr, -1},
    };
    for (const auto& t : trips) {
        ole_variant v = ole_variant::from_string(t.text, t.vt);
        EXPECT_EQ(v.get_type(), t.result < 0 ? t.vt : t.result) << t.column << " " << t.text;
        EXPECT_EQ(v.to_string(), t.back ? t.back : t.text) << t.column << " " << t.text;
        // A copy, as every value is copied into its field, says the same.
        ole_variant copy(v);
        EXPECT_EQ(copy.to_string(), v.to_string()) << t.column << " " << t.text;
    }
}

TEST(ole_round_trip, floating_point_values_keep_their_value) {
    // The text is the exponent form; read back, it is the same number. The server sends
    // FLOAT with six significant digits, which "%.6e" always carries back exactly.
    const char* floats[] = {"1.5",        "-1.5",      "0",          "0.1",         "3.14159",
                            "-1e-10",     "123457",    "3.40282e38", "1.17549e-38", "-3.40282e38",
                            "1.4013e-45", "1.67772e7", "16777200",   "0.333333"};
    for (const char* f : floats) {
        ole_variant v = ole_variant::from_string(f, VT_R4);
        ASSERT_EQ(v.get_type(), VT_R4) << f;
        float sent = 0, back = 0;
        std::from_chars(f, f + strlen(f), sent);
        std::string out = v.to_string();
        std::from_chars(out.data(), out.data() + out.size(), back);
        EXPECT_EQ(back, sent) << f << " -> " << out;
    }
    const char* doubles[] = {"1.5",
                             "-0.1",
                             "3.141592653589793",
                             "1.7976931348623157e308",
                             "-2.2250738585072014e-308",
                             "4.9406564584124654e-324",
                             "123456789012345680",
                             "0.30000000000000004",
                             "1e22"};
    for (const char* d : doubles) {
        ole_variant v = ole_variant::from_string(d, VT_R8);
        ASSERT_EQ(v.get_type(), VT_R8) << d;
        double sent = 0, back = 0;
        std::from_chars(d, d + strlen(d), sent);
        std::string out = v.to_string();
        std::from_chars(out.data(), out.data() + out.size(), back);
        EXPECT_EQ(back, sent) << d << " -> " << out;
        EXPECT_EQ(v.to_double(), sent) << d;
    }
}

TEST(ole_round_trip, byte_cells_keep_every_byte) {
    std::vector<uint8_t> cell = {0x00, 0x01, 0x00, 0xFF, 0x7F, 0x80, 0x00};
    ole_variant v(cell);
    std::string hex = v.to_string();
    EXPECT_EQ(hex, "0x000100FF7F8000");
    ole_variant back = ole_variant::from_string(hex, VT_UI1_ARRAY);
    EXPECT_EQ(*back.get_byte_array(), cell);
    const uint8_t* p;
    std::string holder;
    ASSERT_EQ(back.get_bytes(p, holder), cell.size());
    EXPECT_EQ(std::vector<uint8_t>(p, p + cell.size()), cell);
    ole_variant blob = ole_variant::from_string(hex, VT_BLOB);
    ole_variant copy = blob;
    EXPECT_EQ(*copy.get_byte_array(), cell);
}
