// Tables and text as independent readers see them: Debian's python3-dbfread, and
// Python's own codecs for the code pages.
#include <gtest/gtest.h>

#include <sstream>

#include "dbf/dbf_cp.hpp"
#include "tests/dbf/dbf_test_util.hpp"

TEST(dbf_code_pages, every_character_is_written_as_its_pages_own_byte_or_a_question_mark) {
    // Python's codecs give each page's real bytes; a byte the page leaves undefined
    // must never be written, whatever the tables decode it to.
    const struct {
        int cp;
        const char* codec;
    } pages[] = {
        {437, "cp437"},        {737, "cp737"},   {850, "cp850"},       {852, "cp852"},
        {857, "cp857"},        {861, "cp861"},   {865, "cp865"},       {866, "cp866"},
        {874, "cp874"},        {1250, "cp1250"}, {1251, "cp1251"},     {1252, "cp1252"},
        {1253, "cp1253"},      {1254, "cp1254"}, {1255, "cp1255"},     {1256, "cp1256"},
        {1257, "cp1257"},      {1258, "cp1258"}, {10000, "mac_roman"}, {10007, "mac_cyrillic"},
        {10029, "mac_latin2"},
    };
    std::string command = "/usr/bin/python3 '" + source_file("tests/dbf/code_pages.py") + "'";
    for (const auto& page : pages) command += std::string(" ") + page.codec;
    std::istringstream lines(output_of(command));
    for (const auto& page : pages) {
        std::string name, token;
        ASSERT_TRUE(lines >> name) << "no line from Python's codecs for " << page.codec;
        ASSERT_EQ(name, page.codec);
        const dbf_codec& codec = dbf_codec::get(static_cast<uint32_t>(page.cp));
        ASSERT_EQ(codec.code_page(), page.cp);
        for (wchar_t c = 0x80; c <= 0xFF; ++c) {
            ASSERT_TRUE(lines >> token);
            const auto expected = static_cast<uint8_t>(std::stoul(token, nullptr, 16));
            EXPECT_EQ(codec.encode_or_question(c), expected)
                << page.codec << " U+" << std::hex << static_cast<int>(c);
            std::string written;
            ASSERT_TRUE(pt::cp_encode(page.cp, std::wstring(1, c), written));
            EXPECT_EQ(static_cast<uint8_t>(written[0]), expected)
                << page.codec << " U+" << std::hex << static_cast<int>(c);
        }
        // Every byte the page defines reads as its character and is written back as itself.
        for (int b = 0x80; b <= 0xFF; ++b) {
            ASSERT_TRUE(lines >> token);
            if (token == "-") continue;
            const auto c = static_cast<wchar_t>(std::stoul(token, nullptr, 16));
            const std::string byte(1, static_cast<char>(b));
            EXPECT_EQ(codec.decode(byte), std::wstring(1, c)) << page.codec << " byte " << b;
            EXPECT_EQ(codec.encode(std::wstring(1, c)), byte) << page.codec << " byte " << b;
        }
    }
}

TEST(dbf_dbfread, every_kind_of_value_reads_back) {
    dbf_folder f;
    auto t = f.create(L"kinds", {{L"I", VT_I4},
                                 {L"BIG", VT_I8},
                                 {L"P", VT_DECIMAL, 0, 0, 10, 2},
                                 {L"R", VT_R8},
                                 {L"F", VT_R4},
                                 {L"D", VT_DATE, 0, udb_date_only},
                                 {L"T", VT_DATE, 0, udb_date_time},
                                 {L"TM", VT_DATE, 0, udb_time_only},
                                 {L"S", VT_DATE, 0, 0},
                                 {L"C", VT_BSTR, 30},
                                 {L"L", VT_BOOL},
                                 {L"M56", VT_BSTR, 0},
                                 {L"M57", VT_BSTR, 0},
                                 {L"HUGE", VT_BSTR, 0},
                                 {L"BLOB", VT_BLOB}});
    t->append_record(*make_record({
        ole_variant(int32_t{42}),
        ole_variant(int64_t{-99999999999999}),
        dec("-12.5"),
        ole_variant(1.5),
        ole_variant(0.1f),
        date("2024-02-29"),
        date("2000-01-01 00:00:01"),
        date("838:59:59"),
        date("2024-01-15 10:20:30"),
        ole_variant(L"Gr\u00fc\u00dfe \u20ac"),
        ole_variant(true),
        ole_variant(std::wstring(56, L'a')),
        ole_variant(std::wstring(57, L'\u00e9')),
        ole_variant(std::wstring(5 * 1024 * 1024, L'\u00df')),
        ole_variant(std::vector<uint8_t>{0, 1, 254, 255}),
    }));
    t->append_record(*make_record(std::vector<ole_variant>(15)));
    t->append_record(*make_record(
        {ole_variant(int32_t{-1}), ole_variant(), ole_variant(), ole_variant(-0.25), ole_variant(),
         ole_variant(), ole_variant(), date("00:00:00"), ole_variant(), ole_variant(L"x"),
         ole_variant(false), ole_variant(), ole_variant(L"z"), ole_variant(), ole_variant()}));
    f.commit(t);
    EXPECT_TRUE(reported_errors().empty());
    EXPECT_EQ(
        dbfread(f.file("kinds.dbf")),
        "3 records\n"
        "I=42 BIG=-99999999999999.0 P=-12.5 R=1.5 F=0.1 D=datetime.date(2024, 2, 29) "
        "T=datetime.datetime(2000, 1, 1, 0, 0, 1) TM=datetime.datetime(1900, 2, 2, 22, 59, 59) "
        "S='2024-01-15 10:20:30' C='Grüße €' L=True M56='" +
            std::string(56, 'a') + "' M57='" + pt::utf8_encode(std::wstring(57, L'\u00e9')) +
            "' HUGE=text of 5242880 characters 'ß' BLOB='0x0001FEFF'\n"
            "I=None BIG=None P=None R=0.0 F=None D=None T=None TM=None S='' C='' L=None "
            "M56=None M57=None HUGE=None BLOB=None\n"
            "I=-1 BIG=None P=None R=-0.25 F=None D=None T=None "
            "TM=datetime.datetime(1899, 12, 30, 0, 0) S='' C='x' L=False M56=None M57='z' "
            "HUGE=None BLOB=None\n");

    // A Visual FoxPro table without memo fields, whose double the stock parser reads.
    auto plain = f.create(L"plain", {{L"R", VT_R8}, {L"N", VT_UI1}});
    plain->append_record(*make_record({ole_variant(3.5), ole_variant(uint8_t{255})}));
    f.commit(plain);
    EXPECT_EQ(dbfread(f.file("plain.dbf")), "1 records\nR=3.5 N=255\n");
}

TEST(dbf_dbfread, columns_whose_names_differ_only_in_replaced_characters_keep_their_values) {
    dbf_folder f;
    // The code page lacks the Cyrillic letter and "?" is no legal character: both
    // names become "a_" unless the second is told apart.
    auto t =
        f.create(L"names",
                 {{L"a\u0416", VT_I4}, {L"a?", VT_I4}, {L"b??", VT_I4}, {L"b\u0416\u0416", VT_I4}});
    t->append_record(*make_record({ole_variant(int32_t{1}), ole_variant(int32_t{2}),
                                   ole_variant(int32_t{3}), ole_variant(int32_t{4})}));
    f.commit(t);
    EXPECT_EQ(dbfread(f.file("names.dbf")), "1 records\na_=1 a_000=2 b__=3 b__000=4\n");
}

TEST(dbf_dbfread, the_folder_reader_shows_every_table_without_a_traceback) {
    dbf_folder f;
    auto plain = f.create(L"doubles", {{L"R", VT_R8}});
    plain->append_record(*make_record({ole_variant(3.5)}));
    f.commit(plain);
    // A memo table whose memo file is gone reads with empty memos.
    auto memo = f.create(L"memo", {{L"M", VT_BSTR, 0}, {L"C", VT_BSTR, 2}});
    memo->append_record(*make_record({ole_variant(L"text"), ole_variant(L"ok")}));
    f.commit(memo);
    std::remove(f.file("memo.fpt").c_str());
    const std::string reader = source_file("scripts/dbf-read");
    struct {
        std::string args, expected;
    } cases[] = {
        {"dump '" + f.file("doubles.dbf") + "'", "version=0x30 records=1\nfields=R:B:8:0\n3.5\n"},
        {"dump '" + f.file("memo.dbf") + "'",
         "version=0xf5 records=1\nfields=M:M:10:0 C:C:3:0\nNULL|ok\n"},
        {"summary '" + f.dir().path() + "' 1",
         "  doubles.dbf                    1 records\n"
         "      fields: R B(8)\n"
         "      3.5\n"
         "  memo.dbf                       1 records (memo file missing)\n"
         "      fields: M M(10), C C(3)\n"
         "      NULL | ok\n"},
    };
    for (const auto& c : cases) {
        int status = -1;
        const std::string out =
            output_of("DBF_ENCODING=cp1252 '" + reader + "' " + c.args + " 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << c.args;
        EXPECT_EQ(out, c.expected) << c.args;
    }
}
