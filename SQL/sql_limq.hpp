// The rows of one table, or of one query, streamed from the server in blocks. Where
// there is more than one CPU, a reader thread receives the next blocks, and for a long
// stream helper threads decode them, while the caller works on the current one, so that
// the program's own work hides behind the network.
#pragma once

#include <mysql.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SQL/sql_rec.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_ftd.hpp"

class sql_database;

constexpr size_t sql_block_size = 256;

// Rows as the caller holds them: the records, and the cells they were decoded from,
// which their texts refer to until the block is replaced.
struct sql_block {
    std::unique_ptr<sql_record>& operator[](size_t i) { return records[i]; }
    std::array<std::unique_ptr<sql_record>, sql_block_size> records;
    // The cells back to back, row after row.
    std::vector<char> cells;
};

// Stops the threads of every stream being read, without reading off the rest: for a
// program about to end at once (std::exit unwinds nothing), so that no thread still
// works while the process comes down.
void sql_stop_all_readers() noexcept;

// The threads a stream starts when the process may run on `cpus` CPUs (0 when that is
// not known). On one CPU none, where they would only take turns with the caller and
// the server: the caller reads each block itself. Else a reader, and for a long stream
// decode helpers: one CPU fewer than it has, up to three.
bool sql_reads_ahead(size_t cpus);
size_t sql_decode_helpers(size_t cpus);

class sql_limited_query {
  public:
    // Sends "SELECT * FROM `name`" (or "SELECT * FROM (name) as temp___table" for a
    // query) and opens the result as a stream; no other statement may run on the
    // connection until the query is destroyed. Throws sql_exception when refused.
    // `source` names the table in value reports; `columns`, when not empty, is the
    // column list that stands in place of "*".
    sql_limited_query(sql_database& db, const std::wstring& name, bool as_query,
                      const std::wstring& source = std::wstring(),
                      const std::wstring& columns = std::wstring());
    // Stops and joins the threads; freeing the unfinished stream reads off its rows.
    ~sql_limited_query();
    sql_limited_query(const sql_limited_query&) = delete;
    sql_limited_query& operator=(const sql_limited_query&) = delete;

    // Replaces the block's rows with the next ones, up to 256, in the order the server
    // sends them; the records of the block, and the cells their values refer to, are
    // reused for later rows, so pointers into it hold until the next call. The schema of the first
    // call, when it describes the result's columns, types them for the whole stream (else the
    // column descriptions do). Returns the number stored; 0 once the stream has ended. A stream
    // that breaks (a lost connection, an oversized row) raises sql_exception, and nothing is
    // returned of the block it broke in.
    size_t store_to(sql_block& block, const udb_schema* schema);

    // True once the block that ends the stream has been handed out.
    bool is_exhausted() const { return exhausted_; }
    unsigned num_fields() const { return n_fields_; }
    const MYSQL_FIELD* fields() const { return fields_; }

    // A block ends early once its cells hold this many bytes, so that a few blocks of
    // large rows stay a few blocks' worth of memory, and their records, reused from
    // block to block, soon hold all the storage that such rows need.
    static constexpr size_t block_bytes = 64 * 1024;

  private:
    // A block as the threads fill it: its rows are received first, their cells kept in
    // the block, and then decoded into its records.
    struct filled {
        sql_block block;
        size_t count = 0;
        bool last = false;           // the stream ended after these rows
        bool done = false;           // decoded: the caller may take it
        std::exception_ptr failure;  // the stream broke; no rows
        tk_log_capture trace;        // what decoding traced
        tk_log_capture read_trace;   // what receiving traced
        // The length of each cell (null_cell for NULL), row after row.
        std::vector<unsigned long> lengths;
        size_t rows = 0;
        uint64_t first_row = 0;  // the number of the first row, from 1
    };
    static constexpr unsigned long null_cell = ~0ul;
    // Where decode rebuilds one row at a time.
    struct row_scratch {
        std::vector<char*> cells;
        std::vector<unsigned long> lengths;
    };

    void start(const udb_schema* schema);
    void read_blocks();
    void decode_blocks();
    void start_helpers();
    // Empties the block for the rows that come next.
    void begin(filled& block);
    // The next row and its lengths; null at the end of the stream, which makes the block
    // the last. A broken stream raises sql_exception.
    MYSQL_ROW next_row(filled& block, const unsigned long*& lengths);
    // Receives the next rows as they are.
    void receive(filled& block);
    // Decodes what receive kept, on whichever thread reads or helps.
    void decode(filled& block, row_scratch& row);
    void stop_reader() noexcept;
    friend void sql_stop_all_readers() noexcept;

    MYSQL* connection_;
    MYSQL_RES* result_ = nullptr;
    unsigned n_fields_ = 0;
    const MYSQL_FIELD* fields_ = nullptr;
    bool exhausted_ = false;
    std::wstring source_;
    std::optional<sql_columns> columns_;
    uint64_t rows_read_ = 0;  // the reader's
    row_scratch reader_row_;  // the reader's, or the caller's without a reader

    // Between the threads. While the reader runs, it alone uses the connection; from the
    // third block on, it only receives, and the helpers decode.
    std::thread reader_;
    std::vector<std::thread> helpers_;
    bool threaded_ = false;
    std::mutex mutex_;
    std::condition_variable block_ready_;
    std::condition_variable block_free_;
    std::condition_variable helper_work_;
    std::deque<std::unique_ptr<filled>> ready_;  // in the order of the rows
    std::deque<filled*> to_decode_;
    bool received_all_ = false;  // the last block is queued for the helpers
    std::vector<std::unique_ptr<filled>> free_;
    bool stopping_ = false;
};
