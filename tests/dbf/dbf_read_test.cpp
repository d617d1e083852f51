// Tables as read: headers checked before anything is trusted, fields decoded by letter.
#include <gtest/gtest.h>

#include "dbf/dbf_except.hpp"
#include "tests/dbf/dbf_test_util.hpp"

using namespace std::string_literals;

namespace {

std::wstring text_of(const udb_field& f) {
    return f.to_wstring();
}

}  // namespace

TEST(dbf_reader, damaged_headers_are_refused) {
    dbf_folder f;
    const std::string good =
        build_dbf(dbf_version_dbase3, {{"A", 'C', 4}, {"B", 'N', 3}}, {" abcd  7"});
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"shorter than a header", shrunk(good, 31)},
        {"header length below 33", with_le16(good, 8, 32)},
        {"header length past the end", with_le16(good, 8, 0xFF)},
        {"no record length", with_le16(good, 10, 0)},
        {"fields wider than the record", with_le16(good, 10, 5)},
        {"more records than the file holds", with_le32(good, 4, 2)},
        {"a negative count", with_le32(good, 4, 0x80000000)},
        {"FoxBASE without its terminator", shrunk(build_dbf(dbf_version_foxbase, {}, {}), 40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file_bytes(f.file("t.dbf"), c.bytes);
        auto [kind, text] = error_of([&] { f.read("t.dbf"); });
        EXPECT_EQ(kind, 0);
        EXPECT_EQ(text, "File does not comply with DBF format");
    }
    write_file_bytes(f.file("t.dbf"), good);
    auto t = f.read("t.dbf");
    ASSERT_EQ(t->get_descriptors().size(), 2u);
    EXPECT_EQ(text_of((*t->get_item())[0]), L"abcd");
}

TEST(dbf_reader, fields_by_letter) {
    dbf_folder f;
    std::vector<raw_field> fields = {
        {"C", 'C', 6}, {"N", 'N', 8, 2},       {"BIG", 'N', 19}, {"D", 'D', 8},
        {"L", 'L', 1}, {"T", 'T', 8},          {"I", 'I', 4},    {"B", 'B', 8},
        {"Y", 'Y', 8}, {"_NullFlags", '0', 1}, {"F", 'F', 6, 2},
    };
    std::string b15("\0\0\0\0\0\0\xF8\x3F", 8), y(le32s(125000) + le32s(0));
    std::vector<std::string> records = {
        " \xE9t\xE9   "
        "   12.50"
        "9999999999999999999"
        "20240115"
        "y" +
            le32s(2451545) + le32s(999) + le32s(static_cast<uint32_t>(-5)) + b15 + y +
            "\x01"
            "  1.50",
        "*" + std::string(6, ' ') + std::string(8, ' ') + std::string(19, ' ') +
            std::string(8, ' ') + " " + std::string(8, '\0') + std::string(4, '\0') +
            std::string(8, '\0') + std::string(8, '\0') + "\0"s + std::string(6, ' '),
        " abc\0zz"
        "   -1.00"
        "-123               "
        "00000000"
        "N"s +
            le32s(1721425) + le32s(0) + le32s(7) + b15 + y + "\0      "s,
    };
    write_file_bytes(f.file("t.dbf"),
                     build_dbf(0x30, fields, records, 0, 0x03, std::string(263, '\0')));
    f.open();
    auto rs = f.db().get_table(L"t", udb_open_read);
    auto* t = static_cast<dbf_recordset*>(rs.get());
    const udb_schema& s = t->get_schema();
    ASSERT_EQ(s.size(), 10u);  // the null flags keep their place in the record only
    EXPECT_EQ(s[1].vartype, VT_DECIMAL);
    EXPECT_EQ(s[1].precision, 12);
    EXPECT_EQ(s[1].scale, 2);
    EXPECT_EQ(s[9].name, L"F");

    auto* r = static_cast<dbf_record*>(t->get_item());
    EXPECT_FALSE(r->is_deleted());
    EXPECT_EQ(text_of((*r)[0]), L"\u00e9t\u00e9");
    EXPECT_EQ(text_of((*r)[1]), L"12.5");
    EXPECT_EQ((*r)[2].get_type(), VT_DECIMAL);  // beyond 64 bits, the digits are kept
    EXPECT_EQ(text_of((*r)[2]), L"9999999999999999999");
    EXPECT_EQ(text_of((*r)[3]), L"2024-01-15");
    EXPECT_EQ(text_of((*r)[4]), L"1");
    EXPECT_EQ(text_of((*r)[5]), L"2000-01-01 00:00:01");  // one millisecond added first
    EXPECT_EQ((*r)[6].to_long(), -5);
    EXPECT_EQ((*r)[7].to_double(), 1.5);
    EXPECT_EQ(text_of((*r)[8]), L"12.5");
    EXPECT_EQ((*r)[9].to_double(), 1.5);

    t->next();
    r = static_cast<dbf_record*>(t->get_item());
    EXPECT_TRUE(r->is_deleted());
    for (size_t i : {1, 2, 3, 4, 5}) EXPECT_EQ((*r)[i].get_type(), VT_EMPTY) << i;

    t->next();
    r = static_cast<dbf_record*>(t->get_item());
    EXPECT_EQ(text_of((*r)[0]), L"abc");  // up to the NUL
    EXPECT_EQ(text_of((*r)[2]), L"-123");
    EXPECT_EQ(text_of((*r)[4]), L"0");
    EXPECT_EQ((*r)[5].get_type(), VT_EMPTY);  // before 0001-01-01
    t->next();
    EXPECT_TRUE(t->is_eof());
    EXPECT_EQ(t->get_item(), nullptr);
    t->reset();
    t->prev();
    EXPECT_FALSE(t->is_eof());
}

TEST(dbf_reader, memo_kinds_and_missing_memo_files) {
    dbf_folder f;
    std::vector<raw_field> fields = {{"M", 'M', 4}};
    struct {
        uint8_t version, flags;
        int32_t kind;
        const char* memo;
    } cases[] = {
        {0x30, 0x03, dbf_memo_vfp, "T.FPT"},
        {0x30, 0x07, dbf_memo_dct, "t.dct"},
        {0x30, 0x00, dbf_memo_none, nullptr},
        {0x31, 0x02, dbf_memo_vfp, "t.fpt"},
    };
    for (const auto& c : cases) {
        tmp_dir d;
        write_file_bytes(d.file("t.dbf"), build_dbf(c.version, fields, {" " + le32s(8)}, c.flags, 0,
                                                    std::string(263, '\0')));
        std::string fpt = empty_fpt() + std::string("\0\0\0\1\0\0\0\3abc", 11);
        fpt[3] = 9;
        if (c.memo) write_file_bytes(d.file(c.memo), fpt);
        dbf_recordset t(pt::utf8_decode(d.file("t.dbf")), 1, 0);
        EXPECT_EQ(t.get_memo_kind(), c.kind);
        EXPECT_EQ(text_of((*t.get_item())[0]), c.memo ? L"abc" : L"");
    }
    // Without its FPT the table opens, says so once, and its memo fields are empty.
    write_file_bytes(f.file("n.dbf"),
                     build_dbf(0xF5, {{"M", 'M', 10}, {"C", 'C', 2}}, {"          8ok"}));
    auto t = f.read("n.dbf");
    ASSERT_EQ(reported_errors().size(), 1u);
    EXPECT_EQ(reported_errors()[0].kind, 0);
    EXPECT_EQ(reported_errors()[0].message, f.file("n.dbf") + ": Memo file not found");
    EXPECT_EQ((*t->get_item())[0].get_type(), VT_EMPTY);
    EXPECT_EQ(text_of((*t->get_item())[1]), L"ok");
}

TEST(dbf_reader, code_page_marks_and_the_user_code_page) {
    dbf_folder f;
    std::vector<raw_field> fields = {{"\xC8\xCC\xDF", 'C', 3}};
    write_file_bytes(f.file("t.dbf"), build_dbf(0x03, fields, {" \xC6\xE0\xFF"}, 0, 0xC9));
    auto t = f.read("t.dbf");
    EXPECT_EQ(t->get_schema()[0].name, L"\u0418\u041c\u042f");
    EXPECT_EQ(text_of((*t->get_item())[0]), L"\u0416\u0430\u044f");
    // Mark 0 reads as the DBF code page; a user code page replaces any mark.
    write_file_bytes(f.file("u.dbf"), build_dbf(0x03, fields, {" \xC6\xE0\xFF"}, 0, 0x00));
    EXPECT_EQ(text_of((*f.read("u.dbf")->get_item())[0]), L"\u00c6\u00e0\u00ff");
    dbf_recordset user(pt::utf8_decode(f.file("u.dbf")), 1, 0xC9);
    EXPECT_EQ(user.get_code_page_mark(), 0xC9);
    EXPECT_EQ(text_of((*user.get_item())[0]), L"\u0416\u0430\u044f");
}

TEST(dbf_reader, what_is_written_reads_back) {
    dbf_folder f;
    auto t = f.create(L"round", {{L"I", VT_I4},
                                 {L"BIG", VT_I8},
                                 {L"P", VT_DECIMAL, 0, 0, 12, 4},
                                 {L"R", VT_R8},
                                 {L"F", VT_R4},
                                 {L"D", VT_DATE, 0, udb_date_only},
                                 {L"T", VT_DATE, 0, udb_date_time},
                                 {L"S", VT_DATE, 0, 0},
                                 {L"C", VT_BSTR, 30},
                                 {L"L", VT_BOOL},
                                 {L"M", VT_BSTR, 0},
                                 {L"BLOB", VT_BLOB}});
    const std::wstring big_memo(3 * 1024 * 1024 + 7, L'\u00e9');
    std::vector<std::vector<ole_variant>> rows = {
        {ole_variant(int32_t{-2147483647}), ole_variant(int64_t{-99999999999999}),
         dec("-12345678.1234"), ole_variant(-1.25e-300), ole_variant(3.25f), date("9999-12-31"),
         date("0001-01-01 23:59:59"), date("2024-02-29 12:00:00"),
         ole_variant(L"Gr\u00fc\u00dfe \u20ac"), ole_variant(false), ole_variant(big_memo),
         ole_variant(std::vector<uint8_t>{0, 1, 254, 255})},
        std::vector<ole_variant>(12),
    };
    for (const auto& row : rows) t->append_record(*make_record(row));
    EXPECT_TRUE(reported_errors().empty());
    f.commit(t);

    auto r = f.read("round.dbf");
    EXPECT_EQ(r->get_record_count(), 2u);
    const udb_record& a = *r->get_item();
    std::vector<std::wstring> expected = {
        L"-2147483647",
        L"-99999999999999",
        L"-12345678.1234",
        L"-1.2500000000000000e-300",
        L"3.25",
        L"9999-12-31",
        L"0001-01-01 23:59:59",
        L"2024-02-29 12:00:00",
        L"Gr\u00fc\u00dfe \u20ac",
        L"0",
        big_memo,
        L"0x0001FEFF",
    };
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(text_of(a[i]), expected[i]) << i;
    r->next();
    const udb_record& b = *r->get_item();
    for (size_t i : {0, 1, 2, 5, 6, 9, 10, 11}) EXPECT_EQ(b[i].get_type(), VT_EMPTY) << i;
    EXPECT_EQ(b[3].to_double(), 0.0);  // B has no empty value in these tables
    EXPECT_EQ(text_of(b[8]), L"");
}
