#include "TK/tk_fmt.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(tk_format, formats_each_argument_by_its_type) {
    const std::wstring wname = L"t\u00e4ble";
    const char* null_text = nullptr;
    struct {
        std::string got, want;
    } cases[] = {
        {tk_format("%d|%i|%u", -5, 7, 42u), "-5|7|42"},
        {tk_format("%I64d %I64u", int64_t{-9000000000}, uint64_t{18000000000}),
         "-9000000000 18000000000"},
        {tk_format("%ld %lu", int32_t{-1}, uint32_t{4000000000u}), "-1 4000000000"},
        {tk_format("%08X|%x|%X", 0xBEEFu, -1, int64_t{-1}), "0000BEEF|ffffffff|FFFFFFFFFFFFFFFF"},
        {tk_format("%02d/%02d/%04d", 3, 9, 2026), "03/09/2026"},
        {tk_format("[%5s][%-5s][%.2s]", "ab", "ab", "abcdef"), "[   ab][ab   ][ab]"},
        {tk_format("%s and %s", std::string("narrow"), wname),
         "narrow and t\xc3\xa4"
         "ble"},
        {tk_format("%s", null_text), "(null)"},
        {tk_format("%c%c", 'a', L'\u00e4'), "a\xc3\xa4"},
        {tk_format("%.2f|%f|%e|%g", 2.345, 1.5, 12345.678, 0.0001),
         "2.35|1.500000|1.234568e+04|0.0001"},
        {tk_format("%5.1f|%-6.1f|%+d", 3.14159, 2.0, 5), "  3.1|2.0   |+5"},
        {tk_format("100%% %d", 1), "100% 1"},
        {tk_format("%d %s", 1), "1 "},      // missing argument: nothing
        {tk_format("%d", "text"), "text"},  // mismatch: printed by type
        {tk_format("%s", 12), "12"},
        {tk_format("%y%d", 1), "%y1"},  // unknown conversion kept
        {tk_format("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |"},
        {tk_format("%d %u", true, uint8_t{200}), "1 200"},
        {tk_format("%d", LLONG_MIN), "-9223372036854775808"},
        {tk_format("%05d|%-05d", -42, 7), "-0042|7    "},
        {tk_format("%.3d", 7), "007"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(tk_format, wide_formats_take_wide_and_narrow_strings) {
    EXPECT_EQ(tk_wformat(L"sql_database::get_table(%s)", std::wstring(L"\u0436")),
              L"sql_database::get_table(\u0436)");
    EXPECT_EQ(tk_wformat(L"%s|%S", "n\xc3\xa4", L"w"), L"n\u00e4|w");
    EXPECT_EQ(tk_wformat(L"%s, record #%d", L"orders", 12), L"orders, record #12");
}

TEST(tk_format, numbers_never_follow_the_locale) {
    // The formatter never consults LC_NUMERIC.
    EXPECT_EQ(tk_format("%.1f", 1234.5), "1234.5");
    EXPECT_EQ(tk_format("%g", 1e20), "1e+20");
}
