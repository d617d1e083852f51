// The database-neutral part of every converter: destination mode, progress of the run,
// the user's selections, two options, and their transfer to and from a profile.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_threa.hpp"
#include "UDB/udb_prof.hpp"

// Destination modes.
enum : int32_t {
    udb_mode_overwrite_database = 0,
    udb_mode_overwrite_tables = 1,
    udb_mode_skip_tables = 2,
    udb_mode_merge_tables = 3,
};

// One consistent reading of the progress of a run.
struct udb_progress {
    uint32_t table_count = 0;
    uint32_t tables_done = 0;
    std::wstring current_table;
    uint64_t record_count = 0;
    uint64_t record_index = 0;
};

class udb_converter : public tk_converter {
  public:
    udb_converter();
    ~udb_converter() override;

    // Runs one statement on the source database; each product converter supplies it.
    virtual bool test_query(const std::wstring& statement) = 0;

    void set_mode(int32_t mode);
    int32_t mode() const { return mode_; }

    // Progress, written by the run and read from another thread. Everything but the
    // record index changes under a lock, so get_progress sees the five values together;
    // the record index, written once per record, is a plain atomic.
    udb_progress get_progress() const;
    void set_table_count(uint32_t n);
    void set_tables_done(uint32_t n);
    void increment_tables_done();
    // Current table := name; record count and record index := 0.
    void begin_table(const std::wstring& name);
    void set_current_table(const std::wstring& name);
    void set_record_count(uint64_t n);
    void set_record_index(uint64_t n) { record_index_.store(n, std::memory_order_relaxed); }
    void increment_record_index() { record_index_.fetch_add(1, std::memory_order_relaxed); }
    uint32_t table_count() const { return table_count_.load(std::memory_order_relaxed); }
    uint32_t tables_done() const { return tables_done_.load(std::memory_order_relaxed); }
    std::wstring current_table() const;
    uint64_t record_count() const { return record_count_.load(std::memory_order_relaxed); }
    uint64_t record_index() const { return record_index_.load(std::memory_order_relaxed); }

    // The user's choices; written by the front ends and profile loads, read by the run.
    std::vector<std::wstring>& selection() { return selection_; }
    udb_pairs& selected_tables() { return selected_tables_; }
    udb_pairs& selected_views() { return selected_views_; }
    udb_pairs& available_queries() { return available_queries_; }

    bool only_definitions() const { return only_definitions_; }
    void set_only_definitions(bool on) { only_definitions_ = on; }
    bool skip_indexes() const { return skip_indexes_; }
    void set_skip_indexes(bool on) { skip_indexes_ = on; }

    // Copies a loaded profile in; a second load adds to the selections. A "mode" other
    // than 0 to 3 and a bad "logfile" raise kind-1 errors.
    bool load_profile(udb_profile& profile);
    // Copies the converter into an empty profile.
    bool store_profile(udb_profile& profile);

  protected:
    int32_t mode_ = udb_mode_overwrite_database;
    std::atomic<uint32_t> table_count_{0};
    std::atomic<uint32_t> tables_done_{0};
    std::wstring current_table_;  // under progress_mutex_
    std::atomic<uint64_t> record_count_{0};
    std::atomic<uint64_t> record_index_{0};
    mutable std::mutex progress_mutex_;

    std::vector<std::wstring> selection_;
    udb_pairs selected_tables_;
    udb_pairs selected_views_;
    udb_pairs available_queries_;
    bool only_definitions_ = false;
    bool skip_indexes_ = false;
};
