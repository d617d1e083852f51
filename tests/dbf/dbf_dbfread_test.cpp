// Tables as an independent reader (Debian's python3-dbfread) sees them.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/dbf/dbf_test_util.hpp"

namespace {

// The script's output for one table.
std::string dbfread(const std::string& table) {
    const char* root = std::getenv("TORVANE_SOURCE_DIR");
    std::string script = std::string(root ? root : ".") + "/tests/dbf/dbfread_check.py";
    std::string command = "/usr/bin/python3 '" + script + "' '" + table + "' cp1252 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

}  // namespace

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
    t.reset();
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

    // A table without memo fields, with the double that other readers take for a memo.
    auto plain = f.create(L"plain", {{L"R", VT_R8}, {L"N", VT_UI1}});
    plain->append_record(*make_record({ole_variant(3.5), ole_variant(uint8_t{255})}));
    plain.reset();
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
    t.reset();
    EXPECT_EQ(dbfread(f.file("names.dbf")), "1 records\na_=1 a_000=2 b__=3 b__000=4\n");
}

TEST(dbf_dbfread, the_folder_reader_shows_every_table_without_a_traceback) {
    dbf_folder f;
    auto plain = f.create(L"doubles", {{L"R", VT_R8}});
    plain->append_record(*make_record({ole_variant(3.5)}));
    plain.reset();
    // A memo table whose memo file is gone reads with empty memos.
    auto memo = f.create(L"memo", {{L"M", VT_BSTR, 0}, {L"C", VT_BSTR, 2}});
    memo->append_record(*make_record({ole_variant(L"text"), ole_variant(L"ok")}));
    memo.reset();
    std::remove(f.file("memo.fpt").c_str());
    const char* root = std::getenv("TORVANE_SOURCE_DIR");
    const std::string reader = std::string(root ? root : ".") + "/scripts/dbf-read";
    struct {
        std::string args, expected;
    } cases[] = {
        {"dump '" + f.file("doubles.dbf") + "'", "version=0x03 records=1\nfields=R:B:8:0\n3.5\n"},
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
        std::string out;
        if (FILE* p = popen(
                ("DBF_ENCODING=cp1252 '" + reader + "' " + c.args + " 2>/dev/null").c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
            EXPECT_EQ(pclose(p), 0) << c.args;
        }
        EXPECT_EQ(out, c.expected) << c.args;
    }
}
