// Every column type of the server, read through the engine: the schema descriptor by
// descriptor, and the values value by value against what the server holds.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_errh.hpp"
#include "platform/text.hpp"
#include "tests/SQL/sql_test_support.hpp"

namespace {

struct expected_column {
    const wchar_t* name;
    VARTYPE vartype;
    int32_t size;
    int32_t precision;
    int32_t scale;
    int32_t reserved;
};

// What the schema of all_types must say, column by column (CHAR, TEXT and ENUM sizes are
// bytes of three-byte UTF-8, whatever the session's character set, so that the DBF
// fields made from them keep their widths; VARCHAR sizes characters; BLOB sizes bytes).
const expected_column all_types_schema[] = {
    {L"id", VT_I4, 11, 0, 0, 0},
    {L"i8", VT_I1, 4, 0, 0, 0},
    {L"u8", VT_UI1, 3, 0, 0, 0},
    {L"i16", VT_I2, 6, 0, 0, 0},
    {L"u16", VT_UI2, 5, 0, 0, 0},
    {L"i24", VT_I4, 9, 0, 0, 0},
    {L"u24", VT_I4, 8, 0, 0, 0},
    {L"i32", VT_I4, 11, 0, 0, 0},
    {L"u32", VT_UI4, 10, 0, 0, 0},
    {L"i64", VT_I8, 20, 0, 0, 1},
    {L"u64", VT_UI8, 20, 0, 0, 2},
    {L"d10_2", VT_DECIMAL, 12, 10, 2, 0},
    {L"d10_2u", VT_DECIMAL, 11, 10, 2, 0},
    {L"d10_0", VT_DECIMAL, 11, 10, 0, 0},
    {L"d65_30", VT_DECIMAL, 67, 65, 30, 0},
    {L"f", VT_R4, 12, 0, 0, 0},
    {L"f10_2", VT_DECIMAL, 10, 10, 2, 0},
    {L"dbl", VT_R8, 22, 0, 0, 0},
    {L"b1", VT_BOOL, 1, 0, 0, 0},
    {L"b16", VT_UI4, 16, 0, 0, 0},
    {L"b64", VT_UI8, 64, 0, 0, 0},
    {L"c10", VT_BSTR, 30, 0, 0, 0},
    {L"vc", VT_BSTR, 100, 0, 0, 0},
    {L"tx", VT_BSTR, 196605, 0, 0, 0},
    {L"vcbin", VT_BSTR, 100, 0, 0, 0},
    {L"txbin", VT_BSTR, 196605, 0, 0, 0},
    {L"bn4", VT_UI1_ARRAY, 4, 0, 0, 0},
    {L"vbn", VT_UI1_ARRAY, 20, 0, 0, 0},
    {L"bl", VT_UI1_ARRAY, 65535, 0, 0, 0},
    {L"lbl", VT_UI1_ARRAY, INT32_MAX, 0, 0, 0},
    {L"dt", VT_DATE, 10, 0, 0, 2},
    {L"dtm", VT_DATE, 26, 0, 0, 1},
    {L"tm", VT_DATE, 10, 0, 0, 3},
    {L"tm6", VT_DATE, 17, 0, 0, 3},
    {L"ts", VT_DATE, 19, 0, 0, 0},
    {L"tsc", VT_DATE, 19, 0, 0, 9},
    {L"tsc6", VT_DATE, 26, 0, 0, 9},
    {L"yr", VT_UI2, 4, 0, 0, 0},
    {L"en", VT_BSTR, 3, 0, 0, 0},
    {L"st", VT_BSTR, 15, 0, 0, 0},
    {L"js", VT_BSTR, -1, 0, 0, 0},
    {L"geo", VT_BSTR, -1, 0, 0, 2},
    {L"uu", VT_BSTR, -1, 0, 0, 0},
    {L"ip", VT_BSTR, -1, 0, 0, 0},
    {L"hid", VT_I4, 11, 0, 0, 0},  // INVISIBLE
};

class sql_types : public sql_server_test {
  protected:
    void create_all_types() {
        admin->exec("USE " + quote_ident(db));
        admin->exec(all_types_table);
    }
    // The table's records in order, each as copies of its fields.
    static std::vector<std::vector<udb_field>> read_all(udb_recordset& t) {
        std::vector<std::vector<udb_field>> rows;
        for (t.reset(); !t.is_eof(); t.next()) {
            udb_record* r = t.get_item();
            EXPECT_NE(r, nullptr);
            if (!r) break;
            std::vector<udb_field> row;
            for (size_t i = 0; i < r->size(); ++i) row.push_back((*r)[i]);
            rows.push_back(std::move(row));
        }
        return rows;
    }
    static const udb_field& field(const std::vector<udb_field>& row, const wchar_t* name) {
        for (const auto& f : row)
            if (f.get_name() == name) return f;
        static udb_field none;
        ADD_FAILURE() << "no field " << pt::utf8_encode(name);
        return none;
    }
};

}  // namespace

TEST_F(sql_types, the_schema_of_every_column_type) {
    REQUIRE_TEST_SERVER();
    create_all_types();
    auto database = open();
    auto table = database->get_table(L"all_types", 1);
    const udb_schema& schema = table->get_schema();
    ASSERT_EQ(schema.size(), std::size(all_types_schema));
    for (size_t i = 0; i < schema.size(); ++i) {
        const t_ftd& d = schema[i];
        const expected_column& e = all_types_schema[i];
        SCOPED_TRACE(pt::utf8_encode(e.name));
        EXPECT_EQ(d.name, e.name);
        EXPECT_EQ(d.vartype, e.vartype);
        if (e.size >= 0) {
            EXPECT_EQ(d.size, e.size);
        }
        EXPECT_EQ(d.precision, e.precision);
        EXPECT_EQ(d.scale, e.scale);
        EXPECT_EQ(d.reserved, e.reserved);
    }
    EXPECT_TRUE(schema[0].b_auto_num);
    EXPECT_TRUE(schema[0].b_not_null);
    EXPECT_FALSE(schema[1].b_not_null);
    EXPECT_EQ(table->get_key_index(), 0);
    ASSERT_EQ(table->get_indexes().size(), 1u);
    EXPECT_TRUE(table->get_indexes()[0].primary);
}

namespace {

std::vector<uint8_t> bytes_of(std::initializer_list<int> b) {
    std::vector<uint8_t> v;
    for (int x : b) v.push_back(static_cast<uint8_t>(x));
    return v;
}

void expect_text(const udb_field& f, const std::wstring& text) {
    ASSERT_EQ(f.get_type(), VT_BSTR) << pt::utf8_encode(f.get_name());
    ASSERT_NE(f.get_bstr(), nullptr);
    EXPECT_EQ(*f.get_bstr(), text) << pt::utf8_encode(f.get_name());
}

void expect_bytes(const udb_field& f, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(f.get_type(), VT_UI1_ARRAY) << pt::utf8_encode(f.get_name());
    ASSERT_NE(f.get_byte_array(), nullptr);
    EXPECT_EQ(*f.get_byte_array(), bytes) << pt::utf8_encode(f.get_name());
}

void expect_typed(const udb_field& f, VARTYPE vt, const std::string& text) {
    EXPECT_EQ(f.get_type(), vt) << pt::utf8_encode(f.get_name());
    EXPECT_EQ(f.to_string(), text) << pt::utf8_encode(f.get_name());
}

void expect_time(const udb_field& f, int h, int m, int s, int micro) {
    ASSERT_EQ(f.get_type(), VT_DATE) << pt::utf8_encode(f.get_name());
    const SYSTEMTIME& t = f.get_date().get_systemtime();
    EXPECT_EQ(t.wHour, h);
    EXPECT_EQ(t.wMinute, m);
    EXPECT_EQ(t.wSecond, s);
    EXPECT_EQ(f.get_date().get_microseconds(), micro);
}

}  // namespace

TEST_F(sql_types, every_value_reads_exactly_as_the_server_holds_it) {
    REQUIRE_TEST_SERVER();
    create_all_types();
    for (const char* row : all_types_rows) admin->exec(row);
    const std::string json = admin->scalar("SELECT js FROM all_types WHERE id = 1");
    error_handler handler(error_handler_code_count, error_handler_codes);
    reported_errors().clear();

    auto database = open();
    auto table = database->get_table(L"all_types", 1);
    EXPECT_EQ(table->get_rec_count(), 4u);
    auto rows = read_all(*table);
    ASSERT_EQ(rows.size(), 4u);

    const auto& r1 = rows[0];
    expect_typed(field(r1, L"i8"), VT_I1, "-128");
    expect_typed(field(r1, L"u8"), VT_UI1, "255");
    expect_typed(field(r1, L"i16"), VT_I2, "-32768");
    expect_typed(field(r1, L"u16"), VT_UI2, "65535");
    expect_typed(field(r1, L"i24"), VT_I4, "-8388608");
    expect_typed(field(r1, L"u24"), VT_I4, "16777215");
    expect_typed(field(r1, L"i32"), VT_I4, "-2147483648");
    expect_typed(field(r1, L"u32"), VT_UI4, "4294967295");
    expect_typed(field(r1, L"i64"), VT_I8, "-9223372036854775808");
    expect_typed(field(r1, L"u64"), VT_UI8, "18446744073709551615");
    expect_typed(field(r1, L"d10_2"), VT_DECIMAL, "-12345678.9");
    expect_typed(field(r1, L"d10_2u"), VT_DECIMAL, "12345678.9");
    expect_typed(field(r1, L"d10_0"), VT_DECIMAL, "-1234567890");
    // Wider than the 96-bit decimal: the exact digits travel as text.
    expect_text(field(r1, L"d65_30"),
                L"-12345678901234567890123456789012345.123456789012345678901234567890");
    EXPECT_EQ(field(r1, L"f").get_type(), VT_R4);
    EXPECT_EQ(field(r1, L"f").to_double(), 3.5);
    expect_typed(field(r1, L"f10_2"), VT_DECIMAL, "1234.56");
    EXPECT_EQ(field(r1, L"dbl").get_type(), VT_R8);
    EXPECT_EQ(field(r1, L"dbl").to_double(), -1.2345678901234567e300);
    EXPECT_EQ(field(r1, L"b1").get_type(), VT_BOOL);
    EXPECT_TRUE(field(r1, L"b1").to_bool());
    expect_typed(field(r1, L"b16"), VT_UI4, "1");
    expect_typed(field(r1, L"b64"), VT_UI8, "18446744073709551615");
    expect_text(field(r1, L"c10"), L"ñandú");
    expect_text(field(r1, L"vc"), L"Grüße, 世界");
    expect_text(field(r1, L"tx"), std::wstring(L"nul\0here", 8));
    EXPECT_EQ(field(r1, L"tx").get_size(), 8u);
    expect_text(field(r1, L"vcbin"), L"Zoë");
    expect_text(field(r1, L"txbin"), L"bin text");
    expect_bytes(field(r1, L"bn4"), bytes_of({0x00, 0xFF, 0x00, 0x10}));
    expect_bytes(field(r1, L"vbn"), bytes_of({0x00, 0x00, 0xAB, 0x00}));
    expect_bytes(field(r1, L"bl"), bytes_of({0x00, 0x01, 0x02, 0x03, 0xFF}));
    std::vector<uint8_t> long_blob;
    for (int i = 0; i < 50000; ++i) long_blob.insert(long_blob.end(), {0x00, 0xAB});
    expect_bytes(field(r1, L"lbl"), long_blob);
    expect_typed(field(r1, L"dt"), VT_DATE, "2024-02-29");
    expect_typed(field(r1, L"dtm"), VT_DATE, "2024-01-15 10:20:30.123456");
    // Times beyond a day cannot be a time of day: empty, and reported.
    EXPECT_EQ(field(r1, L"tm").get_type(), VT_EMPTY);
    EXPECT_EQ(field(r1, L"tm6").get_type(), VT_EMPTY);
    expect_typed(field(r1, L"ts"), VT_DATE, "2024-03-01 12:00:00");
    EXPECT_EQ(field(r1, L"tsc").get_type(), VT_DATE);
    expect_typed(field(r1, L"yr"), VT_UI2, "2024");
    expect_text(field(r1, L"en"), L"ç");
    expect_text(field(r1, L"st"), L"x,z");
    expect_text(field(r1, L"js"), pt::utf8_decode(json));
    expect_text(field(r1, L"geo"), L"POINT(1 2)");
    expect_text(field(r1, L"uu"), L"123e4567-e89b-12d3-a456-426614174000");
    expect_text(field(r1, L"ip"), L"::1");
    expect_typed(field(r1, L"hid"), VT_I4, "7");

    // NULL in every column that allows it.
    for (const auto& f : rows[1]) {
        if (f.get_name() == L"id" || f.get_name() == L"tsc" || f.get_name() == L"tsc6" ||
            f.get_name() == L"hid")
            continue;
        EXPECT_EQ(f.get_type(), VT_EMPTY) << pt::utf8_encode(f.get_name());
        EXPECT_EQ(f.get_size(), 0u);
    }

    const auto& r3 = rows[2];
    EXPECT_EQ(field(r3, L"dt").get_type(), VT_EMPTY) << "a zero in the date is no date";
    EXPECT_EQ(field(r3, L"dtm").get_type(), VT_EMPTY) << "the zero date is no date";
    expect_time(field(r3, L"tm"), 12, 34, 56, 0);
    expect_time(field(r3, L"tm6"), 23, 59, 59, 999999);
    expect_typed(field(r3, L"yr"), VT_UI2, "0");

    const auto& r4 = rows[3];
    EXPECT_EQ(field(r4, L"dt").get_type(), VT_EMPTY);
    const SYSTEMTIME& midnight = field(r4, L"dtm").get_date().get_systemtime();
    EXPECT_EQ(field(r4, L"dtm").get_type(), VT_DATE);
    EXPECT_EQ(midnight.wYear, 2024);
    EXPECT_EQ(midnight.wDay, 15);
    EXPECT_FALSE(field(r4, L"b1").to_bool());
    expect_typed(field(r4, L"b16"), VT_UI4, "32768");
    expect_text(field(r4, L"d65_30"), L"0.000000000000000000000000000001");
    expect_typed(field(r4, L"i64"), VT_I8, "9223372036854775807");
    expect_typed(field(r4, L"u64"), VT_UI8, "0");
    // The session's UTF-8 has three bytes at most: the server sends '?' for more.
    expect_text(field(r4, L"vc"), L"a\U0001F600b");

    // The long times and the date with a zero month; the zero date is silent.
    ASSERT_EQ(reported_errors().size(), 3u);
    EXPECT_EQ(reported_errors()[0].kind, 0);
    EXPECT_NE(reported_errors()[0].message.find("all_types, record #1: "), std::string::npos)
        << reported_errors()[0].message;
    EXPECT_NE(reported_errors()[0].message.find("838:59:59"), std::string::npos);
    EXPECT_NE(reported_errors()[1].message.find("-01:00:00.5"), std::string::npos);
    EXPECT_NE(reported_errors()[2].message.find("all_types, record #3: The value '2024-00-15'"),
              std::string::npos)
        << reported_errors()[2].message;
}

TEST_F(sql_types, binary_columns_read_as_text_with_blob_to_text) {
    REQUIRE_TEST_SERVER();
    create_all_types();
    admin->exec(all_types_rows[0]);
    engine->set_blob_to_text(true);
    auto database = open();
    auto table = database->get_table(L"all_types", 1);
    const udb_schema& schema = table->get_schema();
    for (const wchar_t* name : {L"bn4", L"vbn", L"bl", L"lbl"})
        EXPECT_EQ(schema.get_field_type(name), VT_BSTR) << pt::utf8_encode(name);
    EXPECT_TRUE(engine->is_blob_to_text()) << "the column listing restores the setting";
    auto rows = read_all(*table);
    ASSERT_EQ(rows.size(), 1u);
    // Every byte decoded; what is not UTF-8 becomes U+FFFD, nothing is cut at a zero.
    expect_text(field(rows[0], L"bl"), std::wstring(L"\0\x01\x02\x03\uFFFD", 5));
    expect_text(field(rows[0], L"bn4"), std::wstring(L"\0\uFFFD\0\x10", 4));
    expect_text(field(rows[0], L"tx"), std::wstring(L"nul\0here", 8));
}
