// Tables and records as written: byte for byte.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

#include "dbf/dbf_except.hpp"
#include "dbf/dbf_image.hpp"
#include "tests/dbf/dbf_test_util.hpp"

namespace {

std::string descriptor(const char* name, char letter, uint32_t displacement, uint8_t length,
                       uint8_t decimals) {
    std::string d(32, '\0');
    d.replace(0, std::strlen(name), name);
    d[11] = letter;
    d = with_le32(d, 12, displacement);
    d[16] = static_cast<char>(length);
    d[17] = static_cast<char>(decimals);
    return d;
}

std::tm today() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

std::string header(uint8_t version, uint32_t count, uint16_t hl, uint16_t rl, uint8_t flags = 0,
                   const std::tm& t = today()) {
    std::string h(32, '\0');
    h[0] = static_cast<char>(version);
    h[1] = static_cast<char>((t.tm_year + 1900) % 100);
    h[2] = static_cast<char>(t.tm_mon + 1);
    h[3] = static_cast<char>(t.tm_mday);
    h.replace(4, 4, le32s(count));
    h = with_le16(h, 8, hl);
    h = with_le16(h, 10, rl);
    h[28] = static_cast<char>(flags);
    return h;
}

// What Visual FoxPro keeps after the terminator: no database container.
const std::string backlink(263, '\0');

const std::vector<col> every_letter = {
    {L"ID", VT_I4},
    {L"SMALL", VT_I2},
    {L"TINY", VT_I1},
    {L"BIG", VT_I8},
    {L"PRICE", VT_DECIMAL, 0, 0, 10, 2},
    {L"RATIO", VT_R8},
    {L"BORN", VT_DATE, 0, udb_date_only},
    {L"SEEN", VT_DATE, 0, udb_date_time},
    {L"STAMP", VT_DATE, 0, 0},
    {L"NAME", VT_BSTR, 20},
    {L"OK", VT_BOOL},
    {L"NOTES", VT_BSTR, 0},
};

}  // namespace

// A double and a date and time make it a Visual FoxPro table: displacements counted from
// the deletion flag, the back-link in the header, memo block numbers in binary.
TEST(dbf_writer, a_table_with_every_letter_byte_for_byte) {
    dbf_folder f;
    auto t = f.create(L"every", every_letter);
    t->append_record(*make_record({
        ole_variant(int32_t{42}),
        ole_variant(int16_t{-7}),
        ole_variant(int8_t{5}),
        ole_variant(int64_t{12}),
        dec("12.5"),
        ole_variant(1.5),
        date("2024-01-15"),
        date("2000-01-01 00:00:01"),
        date("2024-01-15 10:20:30"),
        ole_variant(L"Zo\u00eb"),
        ole_variant(true),
        ole_variant(L"hello"),
    }));
    // Every empty value: blank where the letter has a blank, zeros where it has none.
    t->append_record(*make_record(std::vector<ole_variant>(12)));
    f.commit(t);

    std::string expected = header(dbf_version_vfp, 2, 680, 122, dbf_flag_memo);
    expected += descriptor("ID", 'N', 1, 11, 0);
    expected += descriptor("SMALL", 'N', 12, 6, 0);
    expected += descriptor("TINY", 'N', 18, 4, 0);
    expected += descriptor("BIG", 'N', 22, 19, 5);
    expected += descriptor("PRICE", 'N', 41, 12, 2);
    expected += descriptor("RATIO", 'B', 53, 8, 0);
    expected += descriptor("BORN", 'D', 61, 8, 0);
    expected += descriptor("SEEN", 'T', 69, 8, 0);
    expected += descriptor("STAMP", 'C', 77, 19, 0);
    expected += descriptor("NAME", 'C', 96, 21, 0);
    expected += descriptor("OK", 'L', 117, 1, 0);
    expected += descriptor("NOTES", 'M', 118, 4, 0);
    expected += '\x0D' + backlink;
    expected += std::string(" ") + "         42" + "    -7" + "   5" + "           12.00000" +
                "       12.50" + std::string("\0\0\0\0\0\0\xF8\x3F", 8) + "20240115" +
                le32s(2451545) + le32s(1000) + "2024-01-15 10:20:30" + "Zo\xEB" +
                std::string(18, ' ') + "T" + le32s(8);
    expected += std::string(1 + 11 + 6 + 4 + 19 + 12, ' ') + std::string(8, '\0') +
                std::string(8, ' ') + std::string(8, '\0') + std::string(19 + 21 + 1, ' ') +
                std::string(4, '\0');
    EXPECT_EQ(read_file_bytes(f.file("every.dbf")), expected);

    std::string fpt(512, '\0');
    fpt[3] = 9;  // next free block after one 5-byte memo
    fpt[7] = 64;
    fpt += std::string("\0\0\0\1\0\0\0\5", 8) + "hello";
    EXPECT_EQ(read_file_bytes(f.file("every.fpt")), fpt);
    EXPECT_TRUE(reported_errors().empty());
}

TEST(dbf_writer, new_table_headers_by_layout) {
    std::tm date{};  // 5 March 2026
    date.tm_year = 126;
    date.tm_mon = 2;
    date.tm_mday = 5;
    auto head = [&](uint8_t version, uint16_t hl, uint16_t rl, uint8_t flags) {
        return header(version, 0, hl, rl, flags, date);
    };
    struct {
        const char* what;
        std::vector<col> cols;
        std::string bytes;
        bool has_memo;
    } cases[] = {
        {"no fields", {}, head(0x03, 33, 1, 0) + "\x0D", false},
        // dBASE types alone: a dBASE III or FoxPro table, the displacements from 0.
        {"dBASE types",
         {{L"A", VT_I4}, {L"C", VT_BSTR, 20}, {L"D", VT_DATE, 0, udb_date_only}, {L"L", VT_BOOL}},
         head(0x03, 161, 42, 0) + descriptor("A", 'N', 0, 11, 0) + descriptor("C", 'C', 11, 21, 0) +
             descriptor("D", 'D', 32, 8, 0) + descriptor("L", 'L', 40, 1, 0) + "\x0D",
         false},
        {"dBASE types and a memo",
         {{L"A", VT_I4}, {L"M", VT_BSTR, 0}, {L"C", VT_BSTR, 2}},
         head(0xF5, 129, 25, 0) + descriptor("A", 'N', 0, 11, 0) + descriptor("M", 'M', 11, 10, 0) +
             descriptor("C", 'C', 21, 3, 0) + "\x0D",
         true},
        // A B or T field: Visual FoxPro, the displacements from the deletion flag, the
        // back-link counted in the header length, the memo flag with memo fields.
        {"a double",
         {{L"A", VT_I4}, {L"B", VT_R8}, {L"C", VT_BSTR, 20}},
         head(0x30, 392, 41, 0) + descriptor("A", 'N', 1, 11, 0) + descriptor("B", 'B', 12, 8, 0) +
             descriptor("C", 'C', 20, 21, 0) + "\x0D" + backlink,
         false},
        {"a date and time and a memo",
         {{L"T", VT_DATE, 0, udb_date_time}, {L"M", VT_BSTR, 0}},
         head(0x30, 360, 13, 0x02) + descriptor("T", 'T', 1, 8, 0) + descriptor("M", 'M', 9, 4, 0) +
             "\x0D" + backlink,
         true},
        {"a time",
         {{L"TM", VT_DATE, 0, udb_time_only}},
         head(0x30, 328, 9, 0) + descriptor("TM", 'T', 1, 8, 0) + "\x0D" + backlink,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        udb_schema schema;
        fill_schema(schema, c.cols);
        const dbf_table_image image = dbf_new_table_image(schema, date);
        EXPECT_EQ(std::string(image.bytes.begin(), image.bytes.end()), c.bytes);
        EXPECT_EQ(image.has_memo, c.has_memo);
    }

    // Each memo table gets a 513-byte FPT: next free block 8, block size 64.
    dbf_folder f;
    std::string fpt(513, '\0');
    fpt[3] = 8;
    fpt[7] = 64;
    auto memo = f.create(L"memo", {{L"M", VT_BSTR, 0}});
    f.commit(memo);
    EXPECT_EQ(read_file_bytes(f.file("memo.fpt")), fpt);
    EXPECT_EQ(read_file_bytes(f.file("memo.dbf"))[0], '\xF5');
    auto vfp = f.create(L"vfp", {{L"R", VT_R8}, {L"M", VT_BSTR, 0}});
    f.commit(vfp);
    EXPECT_EQ(read_file_bytes(f.file("vfp.fpt")), fpt);
    EXPECT_EQ(read_file_bytes(f.file("vfp.dbf"))[0], '\x30');
}

TEST(dbf_writer, memo_blocks_follow_their_length) {
    dbf_folder f;
    auto t = f.create(L"m", {{L"M", VT_BSTR, 0}});
    std::string s56(56, 'a'), s57(57, 'b');
    for (const std::string* s : {&s56, &s57, &s56})
        t->append_record(*make_record({ole_variant(pt::utf8_decode(*s))}));
    t->append_record(*make_record({ole_variant(L"")}));  // writes nothing to the FPT
    t->append_record(*make_record({ole_variant(std::vector<uint8_t>{0x00, 0xAB, 0x1F})}));
    f.commit(t);
    std::string dbf = read_file_bytes(f.file("m.dbf"));
    auto memo_field = [&](int k) { return dbf.substr(65 + k * 11 + 1, 10); };
    EXPECT_EQ(memo_field(0), "         8");  // 56 + 8 bytes: one block
    EXPECT_EQ(memo_field(1), "         9");  // 57 + 8 bytes: two blocks
    EXPECT_EQ(memo_field(2), "        11");
    EXPECT_EQ(memo_field(3), std::string(10, ' '));
    EXPECT_EQ(memo_field(4), "        12");
    std::string fpt = read_file_bytes(f.file("m.fpt"));
    EXPECT_EQ(fpt.substr(0, 4), std::string("\0\0\0\x0D", 4));
    EXPECT_EQ(fpt.substr(12 * 64, 16), std::string("\0\0\0\1\0\0\0\x08", 8) + "0x00AB1F");
    EXPECT_EQ(fpt.size(), 12u * 64 + 16);  // the last block is not padded
}

TEST(dbf_writer, numbers_fit_their_field_or_are_reported) {
    dbf_folder f;
    auto t = f.create(
        L"n", {{L"I", VT_I4}, {L"BIG", VT_UI8}, {L"D", VT_DECIMAL, 0, 0, 5, 5}, {L"R", VT_R4}});
    struct {
        ole_variant i, big, d, r;
        std::string bytes;  // the four fields
        bool reported;
    } cases[] = {
        {ole_variant(int32_t{-2147483647}), ole_variant(uint64_t{99999999999999}), dec("-0.12345"),
         ole_variant(1.5f),
         "-2147483647"
         "99999999999999.0000"
         "-.12345"
         "            1.50000",
         false},
        // 20 digits never fit N(19,5): blank and reported, never cut to the first 19.
        {ole_variant(int32_t{0}), ole_variant(uint64_t{18446744073709551615ull}), dec("0.5"),
         ole_variant(-0.0f),
         "          0" + std::string(19, ' ') + "0.50000" + "            0.00000", true},
        // Surplus decimals are rounded half away from zero.
        {ole_variant(), ole_variant(), dec("-0.123456"), ole_variant(3.4028235e38f),
         std::string(11, ' ') + std::string(19, ' ') + "-.12346" + std::string(19, ' '), true},
        {ole_variant(), ole_variant(uint64_t{5}), dec("0.9999995"), ole_variant(0.1f),
         std::string(11, ' ') + "            5.00000" + "1.00000" + "            0.10000", true},
    };
    for (const auto& c : cases) {
        reported_errors().clear();
        auto [kind, text] = error_of([&] {
            t->append_record(*make_record({c.i, c.big, c.d, c.r}));
        });
        EXPECT_EQ(kind, c.reported ? 0 : -1) << text;
        t->flush();
        std::string dbf = written_bytes(*t);
        size_t at = dbf.size() - 57;
        EXPECT_EQ(dbf.substr(at, 1), " ");
        EXPECT_EQ(dbf.substr(at + 1), c.bytes) << c.bytes;
    }
    EXPECT_EQ(t->get_record_count(), 4u);  // reported records are still written and counted
    f.commit(t);
    EXPECT_EQ(le32_at(read_file_bytes(f.file("n.dbf")), 4), 4u);
}

TEST(dbf_writer, values_the_field_cannot_take) {
    dbf_folder f;
    auto t = f.create(L"v", {{L"N", VT_I4},
                             {L"D", VT_DATE, 0, udb_date_only},
                             {L"T", VT_DATE, 0, udb_date_time},
                             {L"L", VT_BOOL},
                             {L"C", VT_BSTR, 3},
                             {L"B", VT_R8}});
    ole_variant::refill_storage spare;
    ole_variant no_bytes;
    no_bytes.refill_bytes(spare);
    struct {
        std::vector<ole_variant> values;
        std::string bytes;
        bool reported;
    } cases[] = {
        // Texts that read as the field's type are written as such.
        {{ole_variant(L" 12.0 "), ole_variant(L"2024-02-29"), ole_variant(L"838:59:59"),
          ole_variant(L"yes"), ole_variant(L"abcde"), ole_variant(L"2.5")},
         "       12.0"
         "20240229" +
             le32s(dbf_julian_1899_12_30 + 34) + le32s(82799000) +
             "T"
             "abcd" +
             std::string("\0\0\0\0\0\0\x04\x40", 8),
         true},  // the C value lost its last character
        {{ole_variant(L"x1"), ole_variant(L"2024-13-45"), ole_variant(L"-12:00:00"),
          ole_variant(L"maybe"), ole_variant(), ole_variant(L"two")},
         std::string(11, ' ') + std::string(8, ' ') + std::string(8, '\0') + " " + "    " +
             std::string(8, '\0'),
         true},
        // Zero dates are empty; a time alone stands on 1899-12-30.
        {{ole_variant(), date("0000-00-00"), date("0000-00-00 00:00:00"), ole_variant(false),
          ole_variant(int32_t{7}), ole_variant()},
         std::string(11, ' ') + std::string(8, ' ') + std::string(8, '\0') + "F" + "7   " +
             std::string(8, '\0'),
         false},
        {{ole_variant(), date("10:20:30"), date("10:20:30"), ole_variant(), ole_variant(),
          ole_variant()},
         std::string(11, ' ') + std::string(8, ' ') + le32s(dbf_julian_1899_12_30) +
             le32s(37230000) + " " + "    " + std::string(8, '\0'),
         false},
        // Empty bytes (a binary column's empty value) are written as no value.
        {std::vector<ole_variant>(6, no_bytes),
         std::string(11, ' ') + std::string(8, ' ') + std::string(8, '\0') + " " + "    " +
             std::string(8, '\0'),
         false},
    };
    for (const auto& c : cases) {
        auto [kind, text] = error_of([&] { t->append_record(*make_record(c.values)); });
        EXPECT_EQ(kind, c.reported ? 0 : -1) << text;
        t->flush();
        std::string dbf = written_bytes(*t);
        EXPECT_EQ(dbf.substr(dbf.size() - 41), " " + c.bytes);
    }
}

TEST(dbf_writer, character_fields_hold_their_whole_length) {
    dbf_folder f;
    auto t = f.create(L"c", {{L"C", VT_BSTR, 255}});
    std::wstring full(255, L'\u00e9');
    t->append_record(*make_record({ole_variant(full)}));
    t->flush();
    std::string dbf = written_bytes(*t);
    EXPECT_EQ(dbf.substr(dbf.size() - 255), std::string(255, '\xE9'));  // not cut at 254
    auto [kind, text] =
        error_of([&] { t->append_record(*make_record({ole_variant(full + L"xyz")})); });
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(text.substr(0, 40), "Value of field 'C' does not fit C(255,0)");
    EXPECT_EQ(t->get_record_count(), 2u);
    f.commit(t);
    dbf = read_file_bytes(f.file("c.dbf"));
    EXPECT_EQ(le32_at(dbf, 4), 2u);
    EXPECT_EQ(dbf.substr(dbf.size() - 255), std::string(255, '\xE9'));
}

// A text a reader kept as its UTF-8 bytes (with what they show: no NUL, ASCII) is
// encoded from them, in one pass: it is written and reported as the same text made of
// wide characters.
TEST(dbf_writer, texts_kept_as_utf8_are_written_as_plain_texts) {
    std::string long_accented;
    for (int i = 0; i < (3 << 19) + 7; ++i) long_accented += i % 1000 ? "\xc3\xa9" : "\xd0\x96";
    const std::string texts[] = {
        "",
        "abc",
        "abcdefghijkl",  // longer than the C field
        "Zo\xc3\xab",
        "Zo\xc3\xab Zo\xc3\xab Zo\xc3\xab",  // the same, longer than the field
        "\xd0\x96 lacked",
        "a\xff"
        "b\xe2\x82",  // not UTF-8: U+FFFD, which no code page has
        std::string("ab\0cd", 5),
        std::string("\xc3\xa9\0cd", 5),
        std::string(40, 'x') + '\0',
        std::string(3 << 20, 'q'),  // memo chunks of a megabyte
        long_accented,              // the same, and two bytes a character
        std::string(2 << 20, 'q') + "\xff" + std::string(1 << 20, 'r'),
    };
    dbf_folder f;
    const std::vector<col> cols = {{L"C", VT_BSTR, 10}, {L"M", VT_BSTR, 0}};
    auto kept = f.create(L"kept", cols);
    auto plain = f.create(L"plain", cols);
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 20));
        ole_variant::refill_storage spare;
        ole_variant read;
        read.refill_utf8(text, spare, true);
        const ole_variant made(pt::utf8_decode(text));
        EXPECT_EQ(error_of([&] {
                      kept->append_record(*make_record({read, read}));
                  }),
                  error_of([&] {
                      plain->append_record(*make_record({made, made}));
                  }));
    }
    f.commit(kept);
    f.commit(plain);
    EXPECT_EQ(read_file_bytes(f.file("kept.dbf")), read_file_bytes(f.file("plain.dbf")));
    EXPECT_EQ(read_file_bytes(f.file("kept.fpt")), read_file_bytes(f.file("plain.fpt")));
}

TEST(dbf_writer, values_that_lose_what_the_readme_documents_are_counted) {
    const col c{L"C", VT_BSTR, 10}, m{L"M", VT_BSTR, 0}, t{L"T", VT_DATE, 0, udb_date_time},
        s{L"S", VT_DATE, 0, 0};
    ole_variant::refill_storage spare;
    auto kept = [&](const char* utf8) {
        ole_variant v;
        v.refill_utf8(utf8, spare, false);
        return v;
    };
    struct {
        const char* what;
        col column;
        ole_variant value;
        uint64_t unencodable, fractions;
    } cases[] = {
        {"ASCII text", c, ole_variant(L"abc"), 0, 0},
        {"text the code page has", c, ole_variant(L"Zo\u00eb"), 0, 0},
        {"a character the code page lacks", c, ole_variant(L"a\u0416"), 1, 0},
        {"two of them, in one value", c, ole_variant(L"\u0416\u0416"), 1, 0},
        {"one beyond what the field takes", {L"C", VT_BSTR, 3}, ole_variant(L"abcd\u0416"), 0, 0},
        {"kept ASCII text", c, kept("abc"), 0, 0},
        {"kept text the code page has", c, kept("Zo\xc3\xab"), 0, 0},
        {"kept text with a character the code page lacks", c, kept("a\xd0\x96"), 1, 0},
        {"an ASCII memo", m, ole_variant(L"text"), 0, 0},
        {"a memo with a character the code page lacks", m, ole_variant(L"\u0416 text"), 1, 0},
        {"a kept memo with one", m, kept("\xd0\x96"), 1, 0},
        // Written a megabyte at a time: the character comes in the third piece.
        {"a long memo with one at its end", m,
         ole_variant(std::wstring(size_t{2} << 20, L'a') + L"\u0416"), 1, 0},
        {"a date-time with fractional seconds", t, date("2024-01-15 10:20:30.5"), 0, 1},
        {"a date-time with microseconds", t, date("2024-01-15 10:20:30.000001"), 0, 1},
        {"a date-time of whole seconds", t, date("2024-01-15 10:20:30"), 0, 0},
        {"a time of day with fractional seconds", t, date("10:20:30.25"), 0, 1},
        {"a date-time as text with fractional seconds", s, date("2024-01-15 10:20:30.5"), 0, 1},
        {"a date-time as text of whole seconds", s, date("2024-01-15 10:20:30"), 0, 0},
        {"a date-time in a memo, which keeps them", m, date("2024-01-15 10:20:30.5"), 0, 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        dbf_folder f;
        auto table = f.create(L"l", {k.column});
        error_of([&] { table->append_record(*make_record({k.value})); });
        udb_losses losses;
        table->add_losses_to(losses);
        EXPECT_EQ(losses.unencodable, k.unencodable);
        EXPECT_EQ(losses.fractions, k.fractions);
        EXPECT_EQ(losses.code_page, 1252);
    }
    // Values are counted, not records; a sum adds to what it holds.
    dbf_folder f;
    auto table = f.create(L"l", {c, m, t});
    for (int i = 0; i < 2; ++i)
        table->append_record(*make_record(
            {ole_variant(L"\u0416"), ole_variant(L"\u0416"), date("2024-01-15 10:20:30.5")}));
    udb_losses losses;
    losses.unencodable = 10;
    table->add_losses_to(losses);
    EXPECT_EQ(losses.unencodable, 14u);
    EXPECT_EQ(losses.fractions, 2u);
}
