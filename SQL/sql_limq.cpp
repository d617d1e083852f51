#include "SQL/sql_limq.hpp"

#include <sched.h>

#include <algorithm>
#include <system_error>

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"

namespace {

// Blocks the reader and the helpers may fill ahead of the one the caller holds: enough
// to ride out the unevenness of the sides, few enough to keep memory to a few blocks.
constexpr size_t blocks_ahead = 8;

// Decoding a block takes longer than receiving it: the helpers that decode, between
// them, keep up with the network, when there are CPUs to run them.
constexpr size_t max_decode_helpers = 3;

// The CPUs this thread may run on, which the threads it starts inherit: fewer than the
// machine has under taskset, in a container or a service limited to some of them.
size_t usable_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<size_t>(CPU_COUNT(&set));
    // More CPUs than a cpu_set_t holds: the machine's count serves as well.
    return std::thread::hardware_concurrency();
}

// The queries whose threads run.
std::mutex readers_mutex;
std::vector<sql_limited_query*> readers;

}  // namespace

bool sql_reads_ahead(size_t cpus) {
    return cpus != 1;
}

size_t sql_decode_helpers(size_t cpus) {
    if (cpus == 0) return max_decode_helpers;
    return std::min(max_decode_helpers, cpus - 1);
}

void sql_stop_all_readers() noexcept {
    std::lock_guard lock(readers_mutex);
    for (sql_limited_query* q : readers) q->stop_reader();
}

sql_limited_query::sql_limited_query(sql_database& db, const std::wstring& name, bool as_query,
                                     const std::wstring& source, const std::wstring& columns)
    : connection_(db.get_connection()), source_(source) {
    tk_log_wprintf(1, L"sql_limited_query::sql_limited_query(%s)", name);
    std::wstring statement = L"SELECT " + (columns.empty() ? L"*" : columns) + L" FROM ";
    if (as_query) {
        tk_log_printf(1, "...as query");
        statement += L"(" + name + L") as temp___table";
    } else {
        tk_log_printf(1, "...as table");
        statement += sql_engine::get_safe_name(name);
    }
    tk_log_wprintf(1, L"sql_database::do_query2(%s)", statement);
    db.use();
    if (mysql_query(connection_, sql_to_utf8(statement).c_str()) != 0)
        throw sql_exception(connection_);
    result_ = mysql_use_result(connection_);
    if (!result_) {
        if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
        throw sql_exception(0, "The statement returned no rows to read");
    }
    n_fields_ = mysql_num_fields(result_);
    fields_ = mysql_fetch_fields(result_);
    tk_log_printf(1, "sql_limited_query - at the end");
}

sql_limited_query::~sql_limited_query() {
    tk_log_printf(2, "sql_limited_query::~sql_limited_query");
    {
        std::lock_guard lock(readers_mutex);
        std::erase(readers, this);
    }
    stop_reader();
    // Freeing an unfinished stream reads off its remaining rows.
    if (result_) mysql_free_result(result_);
    result_ = nullptr;
}

void sql_limited_query::stop_reader() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    block_free_.notify_all();
    helper_work_.notify_all();
    // The reader starts the helpers: once it is joined, they are known.
    if (reader_.joinable()) reader_.join();
    for (std::thread& helper : helpers_)
        if (helper.joinable()) helper.join();
}

void sql_limited_query::start(const udb_schema* schema) {
    // The columns read the engine's settings here, on the caller's thread.
    columns_.emplace(n_fields_, fields_, schema, source_);
    if (!sql_reads_ahead(usable_cpus())) {
        free_.push_back(std::make_unique<filled>());
        return;
    }
    for (size_t i = 0; i < blocks_ahead; ++i) free_.push_back(std::make_unique<filled>());
    try {
        std::lock_guard lock(readers_mutex);
        readers.push_back(this);
        reader_ = std::thread(&sql_limited_query::read_blocks, this);
        threaded_ = true;
    } catch (const std::system_error& e) {
        // No thread to be had: the caller reads each block itself.
        tk_log_printf(2, "Reading without a reader thread: %s", e.what());
        threaded_ = false;
    }
}

void sql_limited_query::start_helpers() {
    const size_t helpers = sql_decode_helpers(usable_cpus());
    try {
        for (size_t i = 0; i < helpers; ++i)
            helpers_.emplace_back(&sql_limited_query::decode_blocks, this);
    } catch (const std::system_error&) {
        // Fewer helpers, or none: the reader then decodes every block itself.
    }
}

size_t sql_limited_query::store_to(sql_block& block, const udb_schema* schema) {
    tk_log_printf(1, "sql_limited_query::store_to(n_max_records=%d)", sql_block_size);
    if (exhausted_) return 0;
    if (!columns_) start(schema);
    std::unique_ptr<filled> next;
    if (threaded_) {
        std::unique_lock lock(mutex_);
        block_ready_.wait(lock, [&] { return !ready_.empty() && ready_.front()->done; });
        next = std::move(ready_.front());
        ready_.pop_front();
    } else {
        next = std::move(free_.back());
        free_.pop_back();
        // The caller is done with its rows: their records, warm from them, take the next.
        std::swap(block, next->block);
        receive(*next);
        decode(*next, reader_row_);
    }
    // The block's trace lines go where reading it here and now would have put them.
    next->trace.replay();
    next->read_trace.replay();
    exhausted_ = next->last;
    const std::exception_ptr failure = next->failure;
    const size_t count = next->count;
    if (!failure) std::swap(block, next->block);
    {
        std::lock_guard lock(mutex_);
        free_.push_back(std::move(next));
    }
    block_free_.notify_one();
    if (failure) std::rethrow_exception(failure);
    return count;
}

void sql_limited_query::read_blocks() {
    for (uint64_t k = 0;; ++k) {
        std::unique_ptr<filled> block;
        {
            std::unique_lock lock(mutex_);
            block_free_.wait(lock, [&] { return stopping_ || !free_.empty(); });
            if (stopping_) return;
            block = std::move(free_.back());
            free_.pop_back();
        }
        // Decoding is most of the work: from the third block on, a stream that goes on
        // has its blocks decoded by the helpers while the reader receives the next.
        if (k == 2) start_helpers();
        const bool to_helper = !helpers_.empty();
        receive(*block);
        if (!to_helper) decode(*block, reader_row_);
        const bool last = block->last;
        {
            std::lock_guard lock(mutex_);
            block->done = !to_helper;
            if (to_helper) to_decode_.push_back(block.get());
            received_all_ = last;
            ready_.push_back(std::move(block));
        }
        if (!to_helper)
            block_ready_.notify_one();
        else if (last)
            helper_work_.notify_all();
        else
            helper_work_.notify_one();
        if (last) return;
    }
}

void sql_limited_query::decode_blocks() {
    row_scratch row;
    for (;;) {
        filled* block;
        {
            std::unique_lock lock(mutex_);
            helper_work_.wait(lock,
                              [&] { return stopping_ || !to_decode_.empty() || received_all_; });
            if (stopping_ || to_decode_.empty()) return;
            block = to_decode_.front();
            to_decode_.pop_front();
        }
        decode(*block, row);
        // Once done, the block is the caller's; it waits for the first block in order.
        {
            std::lock_guard lock(mutex_);
            block->done = true;
        }
        block_ready_.notify_all();
    }
}

void sql_limited_query::begin(filled& block) {
    block.count = 0;
    block.rows = 0;
    block.last = false;
    block.failure = nullptr;
    block.first_row = rows_read_ + 1;
}

MYSQL_ROW sql_limited_query::next_row(filled& block, const unsigned long*& lengths) {
    MYSQL_ROW row = mysql_fetch_row(result_);
    if (!row) {
        // The end of the rows only when the library saw no error.
        block.last = true;
        if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
        return nullptr;
    }
    lengths = mysql_fetch_lengths(result_);
    ++rows_read_;
    return row;
}

void sql_limited_query::receive(filled& block) {
    tk_log_capture_scope capture(block.read_trace);
    begin(block);
    std::vector<char>& cells = block.block.cells;
    // A block of rows far larger than most does not keep its memory for the next.
    if (cells.capacity() > 4 * block_bytes) std::vector<char>().swap(cells);
    cells.clear();
    block.lengths.clear();
    try {
        const unsigned long* lengths;
        while (block.rows < sql_block_size && cells.size() < block_bytes) {
            MYSQL_ROW row = next_row(block, lengths);
            if (!row) break;
            if (!lengths && n_fields_ > 0) throw tk_mail_assertion("sql_rec.cpp", 20);
            for (unsigned i = 0; i < n_fields_; ++i) {
                if (!row[i]) {
                    block.lengths.push_back(null_cell);
                    continue;
                }
                block.lengths.push_back(lengths[i]);
                cells.insert(cells.end(), row[i], row[i] + lengths[i]);
            }
            ++block.rows;
        }
    } catch (...) {
        block.failure = std::current_exception();
        block.last = true;
    }
}

void sql_limited_query::decode(filled& block, row_scratch& row) {
    if (block.failure) return;  // read in one piece, the stream would have stopped before
    tk_log_capture_scope capture(block.trace);
    row.cells.resize(n_fields_);
    row.lengths.resize(n_fields_);
    try {
        // An empty cell is no NULL: it needs a pointer even when no cell has bytes.
        std::vector<char>& cells = block.block.cells;
        char none = 0;
        char* cell = cells.empty() ? &none : cells.data();
        const unsigned long* length = block.lengths.data();
        for (size_t r = 0; r < block.rows; ++r) {
            for (unsigned i = 0; i < n_fields_; ++i, ++length) {
                row.cells[i] = *length == null_cell ? nullptr : cell;
                row.lengths[i] = *length == null_cell ? 0 : *length;
                cell += row.lengths[i];
            }
            std::unique_ptr<sql_record>& slot = block.block.records[r];
            if (!slot) slot = std::make_unique<sql_record>();
            // The cells travel with the records to the caller.
            columns_->fill_record(*slot, row.cells.data(), row.lengths.data(), block.first_row + r,
                                  !cells.empty());
            ++block.count;
        }
    } catch (...) {
        // Read in one piece, the stream would have stopped here.
        block.failure = std::current_exception();
        block.last = true;
    }
    if (block.failure) block.count = 0;
}
