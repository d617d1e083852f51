// Rows as the server sends them, turned into records: one field per column, each value
// decoded from exactly the bytes of its cell.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"

class sql_field : public udb_field {
  public:
    // size: the cell's length in bytes as the client library reports it.
    sql_field(const std::wstring& name, uint32_t size, ole_variant&& value)
        : udb_field(name, size, std::move(value)) {}

  private:
    friend class sql_columns;
    refill_storage spare_;  // the text or bytes of earlier rows, kept for the next
};

class sql_record : public udb_record {
  public:
    // Reports, once, each value of the row that could not be kept whole, as a kind-0
    // error of the row's record. The recordset calls it as it hands the row out, so the
    // reports keep the order of the records.
    void report_losses() {
        if (losses_) report_kept_losses();
    }
    // The zero dates of the row, which it holds as no value; 0 once taken.
    uint32_t take_zero_dates() { return std::exchange(zero_dates_, 0); }

  private:
    friend class sql_columns;
    void report_kept_losses();
    struct losses {
        std::wstring source;
        uint64_t row_number;
        std::vector<std::string> messages;
    };
    std::unique_ptr<losses> losses_;  // null for the usual row that lost nothing
    uint32_t zero_dates_ = 0;
};

// A FLOAT column (quoted) as a row statement names it to read its stored value whole:
// the server writes a FLOAT as text with six digits only (1234567 as 1.23457e+06), and
// a double's full text costs it far longer than the double's bytes, which a point's X
// carries as they are. A table's columns read it back by the schema's single precision.
std::wstring sql_float_as_point(const std::wstring& quoted_column);

// A value of the type from a cell's text (UTF-8). A null text gives the empty value;
// Booleans are true when the text's first byte is not zero.
ole_variant get_variant(VARTYPE vartype, const char* text, size_t length);
ole_variant get_variant(VARTYPE vartype, const std::wstring* text);

// How the cells of one result's columns become values, worked out once per result.
class sql_columns {
  public:
    // schema: the descriptors of the same columns in the same order (a table's refined
    // schema), or null to take every type from the column descriptions. Reads the
    // engine's BLOB-to-text setting now. `source` names the table in reports about
    // values that cannot be stored; empty for listings.
    sql_columns(unsigned n_fields, const MYSQL_FIELD* fields, const udb_schema* schema,
                const std::wstring& source = std::wstring());

    // One record from a fetched row, which keeps copies of what it needs of the cells.
    // row_number (from 1) is for reports only.
    std::unique_ptr<sql_record> make_record(MYSQL_ROW row, const unsigned long* lengths,
                                            uint64_t row_number) const;
    // The same into a record that held an earlier row of these columns (or none), whose
    // fields and their storage are reused. With `cells_kept`, the cells stay as they are
    // while the record holds this row, and its texts refer to them rather than copy them.
    void fill_record(sql_record& record, MYSQL_ROW row, const unsigned long* lengths,
                     uint64_t row_number, bool cells_kept) const;
    size_t size() const { return columns_.size(); }

    enum kind_t : uint8_t {
        k_text,     // UTF-8 text, decoded leniently
        k_bytes,    // the bytes as they are
        k_bool,     // BIT(1)
        k_bits,     // BIT(n): big-endian unsigned
        k_time,     // TIME: only times of day fit a date-time value
        k_date,     // DATE, DATETIME, TIMESTAMP: a zero date is no date
        k_decimal,  // a DECIMAL wider than the 96-bit decimal: its exact text
        k_float,    // a FLOAT sent as a point (sql_float_as_point): its bytes
        k_parse,    // numbers: the text read as the target type
    };
    struct column {
        std::wstring name;
        kind_t kind;
        VARTYPE vartype;
    };
    const column& operator[](size_t i) const { return columns_[i]; }

  private:
    // Sets the field's value from the cell.
    void convert(const column& c, const char* cell, size_t length, sql_field& field,
                 sql_record& record, uint64_t row_number, bool cells_kept) const;
    // Keeps a loss for the record's report; only rows of a table (a source name) are
    // reported.
    void report(sql_record& record, uint64_t row_number, std::string message) const;
    // A DATE column's value: the zero date is no value, a date that cannot be kept is
    // left empty and reported.
    void convert_date(const column& c, std::string_view text, sql_field& field, sql_record& record,
                      uint64_t row_number) const;
    void report_left_empty(sql_record& record, uint64_t row_number, const column& c,
                           std::string_view cell, const char* why) const;

    std::vector<column> columns_;
    std::wstring source_;
};
