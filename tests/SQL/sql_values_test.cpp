// Column types to VARTYPEs, and cells to values, with column descriptions made up the
// way the client library reports them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_rec.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_errh.hpp"
#include "platform/text.hpp"
#include "tests/support/test_support.hpp"

namespace {

constexpr unsigned utf8 = 33;

MYSQL_FIELD column(const char* name, enum_field_types type, unsigned flags = 0,
                   unsigned charsetnr = utf8, unsigned long length = 10, unsigned decimals = 0) {
    MYSQL_FIELD f;
    std::memset(&f, 0, sizeof f);
    f.name = const_cast<char*>(name);
    f.name_length = static_cast<unsigned>(std::strlen(name));
    f.type = type;
    f.flags = flags;
    f.charsetnr = charsetnr;
    f.length = length;
    f.decimals = decimals;
    return f;
}

}  // namespace

TEST(sql_get_vartype, maps_every_column_type) {
    struct {
        const char* what;
        enum_field_types type;
        unsigned flags, charsetnr;
        unsigned long length;
        bool blob_to_text;
        VARTYPE vartype;
    } cases[] = {
        {"DECIMAL", MYSQL_TYPE_NEWDECIMAL, 0, 63, 12, false, VT_DECIMAL},
        {"TINYINT", MYSQL_TYPE_TINY, 0, 63, 4, false, VT_I1},
        {"TINYINT UNSIGNED", MYSQL_TYPE_TINY, UNSIGNED_FLAG, 63, 3, false, VT_UI1},
        {"SMALLINT UNSIGNED", MYSQL_TYPE_SHORT, UNSIGNED_FLAG, 63, 5, false, VT_UI2},
        {"INT UNSIGNED", MYSQL_TYPE_LONG, UNSIGNED_FLAG, 63, 10, false, VT_UI4},
        {"MEDIUMINT UNSIGNED", MYSQL_TYPE_INT24, UNSIGNED_FLAG, 63, 8, false, VT_I4},
        {"BIGINT", MYSQL_TYPE_LONGLONG, 0, 63, 20, false, VT_I8},
        {"BIGINT UNSIGNED", MYSQL_TYPE_LONGLONG, UNSIGNED_FLAG, 63, 20, false, VT_UI8},
        {"FLOAT", MYSQL_TYPE_FLOAT, 0, 63, 12, false, VT_R4},
        {"DOUBLE", MYSQL_TYPE_DOUBLE, 0, 63, 22, false, VT_R8},
        {"DATE (binary flag)", MYSQL_TYPE_DATE, BINARY_FLAG, 63, 10, false, VT_DATE},
        {"TIME", MYSQL_TYPE_TIME, BINARY_FLAG, 63, 10, false, VT_DATE},
        {"TIMESTAMP", MYSQL_TYPE_TIMESTAMP, BINARY_FLAG, 63, 19, false, VT_DATE},
        {"YEAR", MYSQL_TYPE_YEAR, UNSIGNED_FLAG, 63, 4, false, VT_UI2},
        {"BIT(1)", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 1, false, VT_BOOL},
        {"BIT(2)", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 2, false, VT_UI4},
        {"BIT(32)", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 32, false, VT_UI4},
        {"BIT(33)", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 33, false, VT_UI8},
        {"BIT(64)", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 64, true, VT_UI8},
        {"VARCHAR", MYSQL_TYPE_VAR_STRING, 0, utf8, 300, false, VT_BSTR},
        {"VARCHAR _bin", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, utf8, 300, false, VT_BSTR},
        {"VARBINARY", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 63, 20, false, VT_UI1_ARRAY},
        {"VARBINARY, blob_to_text", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 63, 20, true, VT_BSTR},
        {"BINARY(4)", MYSQL_TYPE_STRING, BINARY_FLAG, 63, 4, false, VT_UI1_ARRAY},
        {"CHAR", MYSQL_TYPE_STRING, 0, utf8, 30, false, VT_BSTR},
        {"UUID", MYSQL_TYPE_STRING, BINARY_FLAG | UNSIGNED_FLAG, utf8, 36, false, VT_BSTR},
        {"ENUM", MYSQL_TYPE_STRING, ENUM_FLAG, utf8, 3, false, VT_BSTR},
        {"TEXT", MYSQL_TYPE_BLOB, BLOB_FLAG, utf8, 196605, false, VT_BSTR},
        {"TEXT _bin", MYSQL_TYPE_BLOB, BLOB_FLAG | BINARY_FLAG, utf8, 196605, false, VT_BSTR},
        {"BLOB", MYSQL_TYPE_BLOB, BLOB_FLAG | BINARY_FLAG, 63, 65535, false, VT_UI1_ARRAY},
        {"LONGBLOB", MYSQL_TYPE_LONG_BLOB, BLOB_FLAG | BINARY_FLAG, 63, 4294967295ul, false,
         VT_UI1_ARRAY},
        {"LONGBLOB, blob_to_text", MYSQL_TYPE_LONG_BLOB, BLOB_FLAG | BINARY_FLAG, 63, 4294967295ul,
         true, VT_BSTR},
        {"GEOMETRY", MYSQL_TYPE_GEOMETRY, BLOB_FLAG | BINARY_FLAG, 63, 4294967295ul, false,
         VT_BSTR},
        {"NULL", MYSQL_TYPE_NULL, 0, 63, 0, false, VT_BSTR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(get_vartype(c.type, c.flags, c.charsetnr, c.length, c.blob_to_text), c.vartype)
            << c.what;
}

TEST(sql_is_current_time_default, knows_every_form_servers_report) {
    for (const wchar_t* yes : {L"CURRENT_TIMESTAMP", L"current_timestamp()",
                               L"current_timestamp(6)", L"CURRENT_TIMESTAMP(3)", L"now()",
                               L"NOW(6)", L"localtimestamp", L"LOCALTIMESTAMP()", L"localtime()"})
        EXPECT_TRUE(sql_is_current_time_default(yes)) << pt::utf8_encode(yes);
    for (const wchar_t* no : {L"", L"2024-01-01 00:00:00", L"current_timestamp(x)", L"curdate()",
                              L"now()x", L"'CURRENT_TIMESTAMP'", L"current_date"})
        EXPECT_FALSE(sql_is_current_time_default(no)) << pt::utf8_encode(no);
}

namespace {

// One made-up row through sql_columns.
struct one_row {
    std::vector<MYSQL_FIELD> fields;
    std::vector<std::string> cells;
    std::vector<bool> nulls;

    void add(MYSQL_FIELD f, std::string cell, bool null = false) {
        fields.push_back(f);
        cells.push_back(std::move(cell));
        nulls.push_back(null);
    }
    std::unique_ptr<sql_record> read(const std::wstring& source = L"t", uint64_t row_number = 7,
                                     const udb_schema* schema = nullptr) {
        sql_columns columns(static_cast<unsigned>(fields.size()), fields.data(), schema, source);
        std::vector<char*> row;
        std::vector<unsigned long> lengths;
        for (size_t i = 0; i < cells.size(); ++i) {
            row.push_back(nulls[i] ? nullptr : cells[i].data());
            lengths.push_back(nulls[i] ? 0 : cells[i].size());
        }
        auto record = columns.make_record(row.data(), lengths.data(), row_number);
        record->report_losses();  // as the recordset does when it hands the row out
        return record;
    }
};

}  // namespace

TEST(sql_columns, decodes_each_cell_from_exactly_its_bytes) {
    one_row r;
    r.add(column("t", MYSQL_TYPE_BLOB, BLOB_FLAG, utf8), std::string("a\0b\xC3\xA9", 5));
    r.add(column("bad", MYSQL_TYPE_VAR_STRING, 0, utf8), std::string("x\xFF\xC3y", 4));
    r.add(column("vb", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 63), std::string("\0\x01\0", 3));
    r.add(column("n", MYSQL_TYPE_LONG, 0), "", true);
    r.add(column("b64", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 64),
          std::string("\x80\0\0\0\0\0\0\x01", 8));
    r.add(column("b9", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 9), std::string("\x01\x02", 2));
    r.add(column("b1", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 1), std::string("\x01", 1));
    r.add(column("b0", MYSQL_TYPE_BIT, UNSIGNED_FLAG, 63, 1), std::string("\0", 1));
    r.add(column("z", MYSQL_TYPE_DATETIME, BINARY_FLAG, 63), "0000-00-00 00:00:00");
    r.add(column("zd", MYSQL_TYPE_DATE, BINARY_FLAG, 63), "2024-00-15");
    r.add(column("d", MYSQL_TYPE_NEWDECIMAL, 0, 63, 12, 2), "-12.50");
    r.add(column("wide", MYSQL_TYPE_NEWDECIMAL, 0, 63, 40, 5),
          "123456789012345678901234567890123.12345");
    r.add(column("e", MYSQL_TYPE_VAR_STRING, 0, utf8), "");
    r.add(column("eb", MYSQL_TYPE_BLOB, BLOB_FLAG | BINARY_FLAG, 63), "");
    auto rec = r.read();
    ASSERT_EQ(rec->size(), r.cells.size());
    EXPECT_EQ(*(*rec)[0].get_bstr(), std::wstring(L"a\0bé", 4));
    EXPECT_EQ((*rec)[0].get_size(), 5u);
    EXPECT_EQ(*(*rec)[1].get_bstr(), L"x\uFFFD\uFFFDy");
    EXPECT_EQ(*(*rec)[2].get_byte_array(), (std::vector<uint8_t>{0, 1, 0}));
    EXPECT_EQ((*rec)[3].get_type(), VT_EMPTY);
    EXPECT_EQ((*rec)[3].get_size(), 0u);
    EXPECT_EQ((*rec)[4].get_type(), VT_UI8);
    EXPECT_EQ((*rec)[4].get_ui8(), 0x8000000000000001ull);
    EXPECT_EQ((*rec)[5].get_type(), VT_UI4);
    EXPECT_EQ((*rec)[5].to_string(), "258");
    EXPECT_TRUE((*rec)[6].to_bool());
    EXPECT_FALSE((*rec)[7].to_bool());
    EXPECT_EQ((*rec)[7].get_type(), VT_BOOL);
    EXPECT_EQ((*rec)[8].get_type(), VT_EMPTY);
    EXPECT_EQ((*rec)[9].get_type(), VT_EMPTY);
    EXPECT_EQ((*rec)[10].get_type(), VT_DECIMAL);
    EXPECT_EQ((*rec)[10].to_string(), "-12.5");
    EXPECT_EQ(*(*rec)[11].get_bstr(), L"123456789012345678901234567890123.12345");
    EXPECT_EQ((*rec)[12].get_type(), VT_BSTR);
    EXPECT_EQ((*rec)[12].get_bstr()->size(), 0u);
    // Empty bytes are a value: only NULL is none.
    ASSERT_EQ((*rec)[13].get_type(), VT_UI1_ARRAY);
    EXPECT_TRUE((*rec)[13].get_byte_array()->empty());
}

TEST(sql_columns, a_value_that_cannot_be_kept_whole_is_reported_with_its_record) {
    error_handler handler(error_handler_code_count, error_handler_codes);
    struct {
        enum_field_types type;
        unsigned charsetnr;
        std::string cell;
        VARTYPE kept_as;
        const char* report;  // a part of the message; null when nothing is reported
    } cases[] = {
        {MYSQL_TYPE_TIME, 63, "00:00:00", VT_DATE, nullptr},
        {MYSQL_TYPE_TIME, 63, "23:59:59.999999", VT_DATE, nullptr},
        {MYSQL_TYPE_TIME, 63, "24:00:00", VT_EMPTY, "'24:00:00'"},
        {MYSQL_TYPE_TIME, 63, "838:59:59", VT_EMPTY, "'838:59:59'"},
        {MYSQL_TYPE_TIME, 63, "-00:00:01", VT_EMPTY, "'-00:00:01'"},
        {MYSQL_TYPE_TIME, 63, "-838:59:59.000000", VT_EMPTY, "'-838:59:59.000000'"},
        {MYSQL_TYPE_DATETIME, 63, "0000-00-00 00:00:00.000000", VT_EMPTY, nullptr},
        {MYSQL_TYPE_DATE, 63, "2024-00-15", VT_EMPTY, "'2024-00-15' of column 'v'"},
        {MYSQL_TYPE_DATE, 63, "2024-02-31", VT_EMPTY, "'2024-02-31'"},
        {MYSQL_TYPE_DATETIME, 63, "0000-00-00 10:00:00", VT_EMPTY, "'0000-00-00 10:00:00'"},
        {MYSQL_TYPE_TIMESTAMP, 63, "2024-01-01 00:00:00", VT_DATE, nullptr},
        {MYSQL_TYPE_BLOB, utf8, "ab\xFF", VT_BSTR, "column 'v' is not UTF-8 text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        reported_errors().clear();
        one_row r;
        r.add(column("v", c.type, c.charsetnr == 63 ? BINARY_FLAG : 0, c.charsetnr), c.cell);
        auto rec = r.read(L"shifts", 42);
        EXPECT_EQ((*rec)[0].get_type(), c.kept_as);
        ASSERT_EQ(reported_errors().size(), c.report ? 1u : 0u);
        if (c.report) {
            EXPECT_EQ(reported_errors()[0].kind, 0);
            EXPECT_EQ(reported_errors()[0].message.rfind("shifts, record #42: ", 0), 0u)
                << reported_errors()[0].message;
            EXPECT_NE(reported_errors()[0].message.find(c.report), std::string::npos)
                << reported_errors()[0].message;
        }
    }
    // Listings have no record to name: nothing is reported.
    reported_errors().clear();
    one_row listing;
    listing.add(column("tm", MYSQL_TYPE_TIME, BINARY_FLAG, 63), "100:00:00");
    EXPECT_EQ((*listing.read(L""))[0].get_type(), VT_EMPTY);
    EXPECT_TRUE(reported_errors().empty());
}

// A FLOAT column read as a point (its stored value as a double, in a point's bytes).
TEST(sql_columns, a_float_sent_as_a_point_keeps_its_stored_value) {
    error_handler handler(error_handler_code_count, error_handler_codes);
    // SRID, byte order, type, X, Y.
    auto point = [](double x, bool little, uint32_t type = 1) {
        std::string cell(4, '\0');
        cell += little ? '\1' : '\0';
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        for (auto [value, size] : {std::pair<uint64_t, int>{type, 4}, {bits, 8}, {0, 8}})
            for (int k = 0; k < size; ++k)
                cell += static_cast<char>(value >> 8 * (little ? k : size - 1 - k));
        return cell;
    };
    struct {
        std::string cell;
        float kept;  // NaN: left empty and reported
    } cases[] = {
        {point(1234567.0, true), 1234567.0f},      {point(double{0.1f}, false), 0.1f},
        {point(double{-1.5e-7f}, true), -1.5e-7f}, {point(1.0, true, 2), NAN},
        {point(1.0, true).substr(0, 24), NAN},
    };
    udb_schema schema;
    schema.push_back(t_ftd(12, L"f", VT_R4, false, false));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kept);
        reported_errors().clear();
        one_row r;
        r.add(column("f", MYSQL_TYPE_GEOMETRY, BINARY_FLAG, 63), c.cell);
        auto rec = r.read(L"t", 3, &schema);
        if (std::isnan(c.kept)) {
            EXPECT_EQ((*rec)[0].get_type(), VT_EMPTY);
            ASSERT_EQ(reported_errors().size(), 1u);
            EXPECT_NE(reported_errors()[0].message.find("column 'f'"), std::string::npos);
            continue;
        }
        ASSERT_EQ((*rec)[0].get_type(), VT_R4);
        EXPECT_EQ((*rec)[0].get_variant().r4(), c.kept);
        EXPECT_TRUE(reported_errors().empty());
    }
}

TEST(sql_columns, blob_to_text_decodes_binary_cells_and_a_schema_chooses_the_types) {
    sql_engine engine;
    engine.set_blob_to_text(true);
    one_row r;
    r.add(column("bl", MYSQL_TYPE_BLOB, BLOB_FLAG | BINARY_FLAG, 63),
          std::string("\0\xE4\xB8\x96", 4));
    r.add(column("f", MYSQL_TYPE_FLOAT, 0, 63, 10, 2), "12.50");
    udb_schema schema;
    schema.push_back(t_ftd(0, L"bl", VT_UI1_ARRAY, false, false));
    t_ftd refined(10, L"f", VT_DECIMAL, false, false);
    refined.precision = 10;
    refined.scale = 2;
    schema.push_back(refined);
    sql_columns columns(2, r.fields.data(), &schema);
    char* row[] = {r.cells[0].data(), r.cells[1].data()};
    unsigned long lengths[] = {4, 5};
    auto rec = columns.make_record(row, lengths, 1);
    EXPECT_EQ(*(*rec)[0].get_bstr(), std::wstring(L"\0世", 2));
    EXPECT_EQ((*rec)[1].get_type(), VT_DECIMAL);
    EXPECT_EQ((*rec)[1].to_string(), "12.5");
    EXPECT_THROW(sql_columns(2, nullptr, nullptr), tk_mail_assertion);
}

// The reader refills the records of a block row after row: a field must hold each row's
// value exactly as a new record would, whatever the value before it was.
TEST(sql_columns, a_reused_record_takes_each_row_as_a_new_one_would) {
    error_handler handler(error_handler_code_count, error_handler_codes);
    const MYSQL_FIELD fields[] = {
        column("s", MYSQL_TYPE_VAR_STRING, 0, utf8),
        column("b", MYSQL_TYPE_BLOB, BLOB_FLAG | BINARY_FLAG, 63),
        column("d", MYSQL_TYPE_DATETIME, BINARY_FLAG, 63),
        column("n", MYSQL_TYPE_LONGLONG, 0, 63),
        column("w", MYSQL_TYPE_NEWDECIMAL, 0, 63, 40, 5),
    };
    const std::string long_text(100000, 'x');  // beyond the storage a field keeps
    const char* const rows[][5] = {
        {"first", "\x01\x02", "2024-01-05 10:30:15.5", "7", "1.5"},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
        {"", "", "0000-00-00 00:00:00", "-9", "123456789012345678901234567890123.12345"},
        {long_text.c_str(), long_text.c_str(), "2024-02-31 00:00:00", "x", nullptr},
        {"\xC3\xA4\xFF", "\xFF", "2024-02-29", "9223372036854775807", "2.25"},
        {"a", "\x00", "23:59:59", "0", "0"},
    };
    sql_columns columns(5, fields, nullptr, L"t");
    sql_record reused;
    uint64_t row_number = 0;
    for (const auto& cells : rows) {
        ++row_number;
        SCOPED_TRACE(row_number);
        char* row[5];
        unsigned long lengths[5];
        for (int i = 0; i < 5; ++i) {
            row[i] = const_cast<char*>(cells[i]);
            lengths[i] = cells[i] ? static_cast<unsigned long>(std::strlen(cells[i])) : 0;
        }
        if (row_number == 6) lengths[1] = 1;  // one zero byte
        reported_errors().clear();
        auto fresh = columns.make_record(row, lengths, row_number);
        fresh->report_losses();
        const std::vector<reported_error> fresh_reports = reported_errors();
        reported_errors().clear();
        columns.fill_record(reused, row, lengths, row_number, true);
        reused.report_losses();
        ASSERT_EQ(reused.size(), fresh->size());
        for (size_t i = 0; i < fresh->size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(reused[i].get_type(), (*fresh)[i].get_type());
            EXPECT_EQ(reused[i].get_size(), (*fresh)[i].get_size());
            EXPECT_EQ(reused[i].get_length(), (*fresh)[i].get_length());
            EXPECT_EQ(reused[i].to_wstring(), (*fresh)[i].to_wstring());
            EXPECT_EQ(reused[i].get_name(), (*fresh)[i].get_name());
        }
        ASSERT_EQ(reported_errors().size(), fresh_reports.size());
        for (size_t i = 0; i < fresh_reports.size(); ++i)
            EXPECT_EQ(reported_errors()[i].message, fresh_reports[i].message);
    }
}
