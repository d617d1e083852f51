// One base table of a MySQL database: its rows (as a sql_recordset), its schema
// completed from the server's description of the table, its keys and foreign keys.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "SQL/sql_recs.hpp"

class sql_table : public sql_recordset {
  public:
    // Reads the schema, and unless the mode has no bit outside 0x60, the keys and the
    // foreign keys (appended to `relationships`). Failures are exceptions: no object.
    sql_table(sql_database* owner, const std::wstring& name,
              std::vector<udb_relationship>* relationships, int32_t mode);
    // Sends what is still pending; a failure is reported through the error handler.
    ~sql_table() override;

    // --- Writing ---
    // Rows are gathered into one INSERT of up to about a megabyte; a row whose key
    // exists already is skipped and counted (replaced with open-mode bit 0x100). A row
    // too big for a batch turns the engine to one statement per row for good, its long
    // values sent as long data. Refused rows raise kind 0 (for a batch: once, naming
    // the first refused record, after the good rows have been stored).
    void append_record(const udb_record& record) override;
    // Sends the pending rows.
    void flush() override;
    // UPDATE of the columns named by the record's fields, where the key text matches.
    void update(const std::wstring& key, const udb_record& record) override;
    // UPDATE of the non-key fields, where the key fields match the values as the row
    // holds them. Raises kind 0 when the table has no key, the record none of its
    // fields, or no row matches.
    void update(const udb_record& record) override;
    // A key text that matches no row changes nothing, silently, as in SQL.
    void delete_key(const std::wstring& key) override;
    // DELETE where every field of the record that names a column matches; raises kind 0
    // when no row matches.
    void delete_key(const udb_record& record) override;

    // Rows not written because a row of the same key was there already.
    uint64_t skipped_rows() const { return skipped_rows_; }
    // The most bytes of batched rows in one statement.
    static uint32_t get_max_buffer_size() { return 1000000; }

  private:
    // A column's default as information_schema gives it: a literal, or an expression
    // (numbers, bit literals and calls stand unquoted there).
    struct column_default {
        bool literal = false;
        bool none = false;  // no default at all
        std::wstring text;
    };
    std::map<std::wstring, column_default> read_column_defaults();
    void initialize(int32_t mode);
    void read_columns();
    void read_keys();
    void read_foreign_keys();

    // Which record field goes to which column, worked out once per list of field names.
    void prepare_mapping(const udb_record& record);
    // The column names that the record's fields stand for.
    std::vector<std::wstring> column_names_of(const udb_record& record) const;
    // `cuts`: what became of values the column could not take whole, for report_cuts.
    std::string row_values(const udb_record& record, bool placeholders,
                           std::vector<const udb_field*>* long_fields,
                           std::vector<std::string>* cuts) const;
    // Reports each as an error of the record (0: of the table), and goes on.
    void report_cuts(uint64_t record, const std::vector<std::string>& cuts) const;
    void fast_append(std::string&& values);
    void slow_append(const udb_record& record);
    void flush_pending();
    // After a batch failed: each row alone, so the good ones land; raises for the first
    // refused record.
    void resend_rows(const std::string& statement, const std::vector<size_t>& rows,
                     const std::vector<uint64_t>& records, const sql_exception& failure);
    void count_skipped(size_t rows);
    void report_record(uint64_t record, const tk_exception& e) const;
    bool is_transactional();
    size_t batch_limit() const;
    std::string verb() const;
    std::string utf8_name() const;
    // Flushes pending rows, so that what follows sees them.
    void before_statement() { flush_pending(); }
    // Each record field that names a column, with that column.
    void walk_fields(const udb_record& record,
                     const std::function<void(const udb_field&, const t_ftd&)>& visit);
    // "`column`=value" for SET: an empty value takes the column's default.
    std::string assignment(const udb_field& field, const t_ftd& column,
                           std::vector<std::string>& cuts) const;
    // "`column` <=> value" for WHERE: the value itself.
    std::string condition(const udb_field& field, const t_ftd& column) const;

    struct column_pair {
        size_t column;
        size_t field;
    };
    std::vector<std::wstring> mapped_for_;  // the field names the mapping was made for
    std::vector<column_pair> mapping_;
    std::string column_list_;  // the mapping's quoted column names, UTF-8
    std::string first_column_;

    std::string pending_;                    // one INSERT being gathered
    std::string pending_columns_;            // its column list
    std::string pending_tail_;               // what ends it (the duplicate-key clause)
    size_t pending_head_ = 0;                // the length of its head, up to the first row
    std::vector<size_t> pending_rows_;       // where each row's "(" begins
    std::vector<uint64_t> pending_records_;  // each row's record number
    uint64_t appended_ = 0;
    uint64_t skipped_rows_ = 0;
    int transactional_ = -1;      // -1: not asked yet
    bool rows_reported_ = false;  // the last failure's rows went to the error handler
};

// The value of a column's default text as SHOW COLUMNS gives it, for the column's
// descriptor; an empty value when the text does not read as that type.
ole_variant sql_default_value(const t_ftd& column, const std::wstring& text);
