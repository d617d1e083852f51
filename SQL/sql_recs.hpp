// Recordsets over MySQL results: a finished statement or server listing read in
// blocks of 1000 rows, and a table or SELECT statement read in blocks of 256.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_limq.hpp"
#include "SQL/sql_rec.hpp"
#include "SQL/sql_side.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_rs.hpp"

class sql_database;

// A streamed result, walked with reset, is_eof, get_item and next. While it is open no
// other statement may run on its connection.
class sql_tmp_recordset : public udb_recordset {
  public:
    // Over a result that the caller opened with mysql_use_result; takes it over.
    sql_tmp_recordset(MYSQL* connection, MYSQL_RES* result);
    ~sql_tmp_recordset() override;

    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    // At the end of the block, fetches the next one. A stream that breaks raises
    // sql_exception.
    bool is_eof() override;
    void next() override { ++position_; }
    // Back to the first record of the current block.
    void reset() override { position_ = 0; }

    unsigned num_fields() const { return n_fields_; }

  protected:
    // Sends the statement and opens its result; a refused statement raises sql_exception.
    sql_tmp_recordset(MYSQL* connection, const std::string& utf8_statement);
    void initialize();
    void fill_cache();
    void clean_cache() { cache_.clear(); }
    // The first column's flags, cleared so that names read as text.
    void clear_first_column_flags();

    MYSQL* connection_;
    unsigned n_fields_ = 0;
    MYSQL_FIELD* fields_ = nullptr;
    uint64_t position_ = 0;
    MYSQL_RES* result_ = nullptr;
    std::vector<std::unique_ptr<sql_record>> cache_;
    bool exhausted_ = false;
    std::optional<sql_columns> columns_;
};

// The base tables of the selected database.
class sql_list_tables_rs : public sql_tmp_recordset {
  public:
    explicit sql_list_tables_rs(MYSQL* connection);
};

// The databases of the server.
class sql_list_databases_rs : public sql_tmp_recordset {
  public:
    explicit sql_list_databases_rs(MYSQL* connection);
};

// The rows of one table, or of one SELECT statement, streamed in blocks of 256. The
// schema comes from the column descriptions when the recordset is built; the rows are
// read once, from reset to the end of the stream.
class sql_recordset : public udb_recordset {
  public:
    // A table.
    sql_recordset(sql_database* owner, const std::wstring& name,
                  std::vector<udb_relationship>* relationships);
    // A statement.
    sql_recordset(sql_database* owner, const std::wstring& name, const std::wstring& query,
                  std::vector<udb_relationship>* relationships);
    ~sql_recordset() override;

    void append_record(const udb_record& record) override;
    // The current record, which the recordset keeps until the block is replaced; null
    // at the end. Starts reading when no pass has started yet.
    udb_record* get_item() override;
    // True once the stream has ended and every row it delivered has been passed.
    bool is_eof() override;
    void next() override;
    void prev() override;
    // Starts a pass over the rows. A pass that get_item or is_eof started and that has
    // not moved yet is kept, so the rows are not sent twice.
    void reset() override;

    // get_rec_count (the base's) is the count taken when the recordset was built, for
    // progress only. While the engine counts aside, a table's count waits for the first
    // block of its rows: a table that ends in it is counted by its rows, a longer
    // one on the side connection while its rows stream, and the count arrives at a
    // block boundary or when waited for. A count that failed is traced and stays
    // unknown: the rows are read all the same.
    bool is_rec_count_known() override { return count_ == count_step::taken; }
    bool wait_rec_count(std::chrono::milliseconds patience) override;
    // The zero dates of the rows handed out so far, which they hold as no value.
    void add_losses_to(udb_losses& sum) const override { sum.zero_dates += zero_dates_; }
    void clean();

  protected:
    void initialize();
    // The schema, again, from the column descriptions of `SELECT list`; a list of
    // names (by_name) is also how the rows are read.
    void describe_columns(const std::wstring& list, bool by_name);
    uint64_t count_rows();
    // The last value of the AUTO_INCREMENT column into the schema; a failure is traced
    // and leaves it 0.
    void read_last_auto_number(const std::wstring& column);
    // Lends the side connection for the count; false when the count must run here and
    // now.
    bool defer_count();
    void count_here();
    void count_aside();
    void take_count();
    void count_failed(const sql_exception& e);
    void start_pass();
    // Raises, as the table's error, when the columns of the rows' result are not the
    // ones the schema was read from (the table was altered in between): their values
    // would land in other fields.
    void check_row_columns() const;
    void fill();

    sql_database* db_;
    std::unique_ptr<sql_limited_query> reader_;
    std::vector<udb_relationship>* relationships_;
    uint64_t position_ = 0;
    size_t cache_index_ = 0;
    size_t cache_count_ = 0;
    sql_block cache_;
    std::optional<sql_exception> failure_;
    bool pass_from_reset_ = false;
    std::wstring count_statement_;
    bool statement_ = false;  // built over a statement, not a table
    uint64_t zero_dates_ = 0;
    // The column list of a table's rows, when "*" would lose digits (FLOAT columns) or
    // leave columns out (invisible ones).
    std::wstring row_columns_;
    // A column as the server described it when the schema was read.
    struct described_column {
        std::string name;  // UTF-8, as the server sends it
        // False where the rows' statement reads the column through a function
        // (geometry as text, a FLOAT as a point), which gives it a type of its own.
        bool type_compared;
        enum_field_types type;
        bool is_unsigned;
        bool binary;
        unsigned long length;
        unsigned decimals;
    };
    std::vector<described_column> described_;
    // none: not asked for (the engine does not count).
    enum class count_step { taken, deferred, sent, failed, none };
    count_step count_ = count_step::taken;
    // Lent while the count is deferred or sent; dropping it abandons the count.
    std::unique_ptr<sql_side_connection> side_;
    bool rows_asked_ = false;  // a pass has been started
};
