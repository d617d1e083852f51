// File failures on purpose: deterministic ones through the platform's file calls, and
// the process-wide file-size limit for tests that run the real program in a child.
#pragma once

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <string>

#include "platform/files.hpp"

// What is to fail while a file_fault_scope lives. Everything else goes to the system.
// The program's worker thread may meet the faults too.
struct file_faults {
    int write_fails_at = 0;     // the n-th write fails (1 is the first); 0: none does
    int64_t write_budget = -1;  // bytes all writes may still move, then a full disk; -1: no limit
    int write_error = ENOSPC;   // what a failing write gives
    int fsync_error = 0;        // every fsync gives this, when not 0
    int rename_error = 0;       // every rename gives this, when not 0
    size_t max_transfer = 0;    // a read or write moves at most this many bytes; 0: no cap
    bool interrupt = false;     // every open, read, write, fsync, rename and unlink is
                                // interrupted (EINTR) once before it goes through
    int killed_at = 0;          // the process ends on the spot, as if killed, at the n-th
                                // call that changes a file (open, write, truncate, close,
                                // rename, unlink); for a child made with fork
    int open_error = 0;         // every open for writing gives this, when not 0
    std::string only_under{};   // when set, the writes and opens above fail only for files
                                // whose path begins with it (a folder of the run)
};

// How many calls that change a file the scope saw; after a run without killed_at, the
// highest killed_at that ends the process within that run.
int file_changes_seen();

// Puts the plan in place for its lifetime. One at a time, on the test's own thread.
class file_fault_scope {
  public:
    explicit file_fault_scope(const file_faults& faults);
    ~file_fault_scope();
    file_fault_scope(const file_fault_scope&) = delete;
    file_fault_scope& operator=(const file_fault_scope&) = delete;

  private:
    const pt::file_ops* saved_;
};

// Files this process and the programs it starts write cannot grow past `bytes`; a write
// beyond fails (EFBIG) instead of raising the signal.
class file_size_limit {
  public:
    explicit file_size_limit(rlim_t bytes);
    ~file_size_limit();
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;

  private:
    rlimit saved_{};
    void (*old_handler_)(int);
};
