// The one home of file access: every open, read, write, listing and rename of the
// program goes through here. No exceptions; errno values back. One policy for all:
// interrupted calls are repeated, short transfers are continued, a transfer that makes
// no progress is a full disk (ENOSPC), descriptors are closed on exec, and a file that
// atomically replaces another is flushed to disk before the rename.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace pt {

// The text the C library gives for an errno value ("" when it has none).
std::string error_text(int err);

// --- Whole files ---------------------------------------------------------------------

// Reads the whole file into `data`: a regular file, or a pipe, FIFO or device read to its
// end. 0 or the errno of the failure: EFBIG when it holds more than `limit` bytes, and
// then no more than that is read. `opened` tells whether the failure came after the file
// was open.
int read_file(const std::string& path, std::string& data, bool* opened = nullptr,
              size_t limit = SIZE_MAX);

// Writes a new file beside `path` and moves it into place only when nothing is there
// yet. 0, EEXIST when a file of that name exists (or appeared meanwhile), or the errno
// of a failure; nothing is left behind unless 0 is returned.
int create_file(const std::string& path, std::string_view data);

// Replaces the file's content as a whole: writes a temporary file beside it with the
// given mode, flushes it to disk and renames it over the file. On failure the old file
// is untouched and the temporary file removed. 0 or the errno of the failure.
int replace_file(const std::string& path, std::string_view data, mode_t mode);

// Writes a new temporary file beside `path`, named as create_file names its own (so that
// a later run removes one whose writer was killed), and leaves it there for the caller
// to fill and move into place; `temp` is its name. 0 or the errno of a failure; nothing
// is left behind unless 0 is returned.
int create_temp_file(const std::string& path, std::string_view data, std::string& temp);

// The file that a temporary file of create_file or replace_file was to become, when
// `name` (a file name) is one and the process that wrote it no longer runs: what a
// killed writer leaves behind. Empty otherwise, also when that process may still run.
std::string orphaned_temp_target(std::string_view name);

// --- Paths ---------------------------------------------------------------------------

enum class path_kind : uint8_t { none, file, folder, other };
// What an `other` is, for a message that says it.
enum class other_kind : uint8_t { unknown, fifo, device, socket };

struct path_status {
    path_kind kind = path_kind::none;
    bool is_link = false;   // only when links are not followed
    bool writable = false;  // any write permission bit
    int64_t size = 0;
    other_kind other = other_kind::unknown;  // only for kind other
};

// What is at `path`; links are followed unless `follow` is false. 0 or the errno.
int stat_path(const std::string& path, path_status& st, bool follow = true);

// One entry of a folder. A link counts as what it leads to; a dangling link as a file.
struct folder_entry {
    std::string name;
    path_kind kind;
};

// Every entry of the folder, "." and ".." included, in the order the system gives.
int list_folder(const std::string& folder, std::vector<folder_entry>& entries);

int remove_file(const std::string& path);
// Moves the file to `to`, replacing what is there. 0 or the errno.
int rename_file(const std::string& from, const std::string& to);
// Moves the file to `to` only when nothing is there: EEXIST otherwise.
int rename_new_file(const std::string& from, const std::string& to);
int make_folder(const std::string& path, mode_t mode);

// --- Open files, for the file classes built on this layer ----------------------------

// flags as for open(2); O_CLOEXEC is always added. 0 or the errno; fd set on success.
int open_file(const std::string& path, int flags, mode_t mode, int& fd);
// 0 or the errno of the close: a write the system had deferred may fail here.
int close_file(int fd);
// Reads up to `length` bytes at `offset`; `done` < length only at the end of the file.
int read_at(int fd, void* buffer, size_t length, int64_t offset, size_t& done);
// Writes all of it, or returns the errno (ENOSPC for a write that makes no progress).
int write_at(int fd, const void* data, size_t length, int64_t offset);
int file_size(int fd, int64_t& size);
int set_file_size(int fd, int64_t size);
// Waits until what was written to the file is on disk.
int sync_file(int fd);

// --- Folders held by one process ------------------------------------------------------

// Takes an exclusive lock on the folder itself, for as long as `fd` stays open: closing
// it, or the end of the process however it comes, lets go. No file is made. 0,
// EWOULDBLOCK when another open of the folder holds it, or the errno of a failure (a file
// system without such locks, say); fd is set only on success.
int lock_folder(const std::string& path, int& fd);
// True when `path` is the folder that `fd` is open on (another path to it included).
bool is_same_folder(int fd, const std::string& path);

// --- The standard streams ------------------------------------------------------------

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed (a program started
// with its streams closed), so that no file or socket opened later takes one of them
// and receives what is meant for the console. False when that could not be done.
bool open_standard_streams();

// --- The seam ------------------------------------------------------------------------

// The system calls the functions above are made of. Tests put their own in place to
// fail a given call, and the fuzz target to keep its files in memory. Each returns 0 or
// an errno value, never -1.
struct file_ops {
    int (*open)(const char* path, int flags, mode_t mode, int& fd);
    int (*close)(int fd);
    // One transfer; `done` is what moved (0 at the end of a file for a read).
    int (*pread)(int fd, void* buffer, size_t length, int64_t offset, size_t& done);
    int (*pwrite)(int fd, const void* data, size_t length, int64_t offset, size_t& done);
    int (*fsync)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*fstat)(int fd, path_status& st);
    int (*ftruncate)(int fd, int64_t size);
    int (*stat)(const char* path, path_status& st, bool follow);
    int (*list)(const char* folder, std::vector<folder_entry>& entries);
    int (*unlink)(const char* path);
    // With `no_replace`, EEXIST when the target exists.
    int (*rename)(const char* from, const char* to, bool no_replace);
    int (*mkdir)(const char* path, mode_t mode);
    // One transfer from the current position, for what cannot seek (a pipe, a device).
    int (*read)(int fd, void* buffer, size_t length, size_t& done);
};

// The operating system's calls.
const file_ops& system_file_ops();
// Puts `ops` in place (the system's when null) and returns what was there. Not for use
// while other threads touch files.
const file_ops* use_file_ops(const file_ops* ops);

}  // namespace pt
