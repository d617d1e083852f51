#include "tests/support/file_faults.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>

namespace {

file_faults plan;
int writes_tried = 0;
int changes = 0;
bool interrupted = false;
// The descriptors of files under plan.only_under, while they are open.
std::mutex scoped_mutex;
std::set<int> scoped_fds;

bool in_scope(const char* path) {
    return plan.only_under.empty() || std::string(path).starts_with(plan.only_under);
}

bool fd_in_scope(int fd) {
    if (plan.only_under.empty()) return true;
    std::lock_guard lock(scoped_mutex);
    return scoped_fds.count(fd) != 0;
}

// Counts a call that changes a file, and ends the process before the one planned.
void change() {
    if (++changes == plan.killed_at) _exit(137);
}

// True when the call at hand is to be interrupted: every other call, when asked.
bool interrupt_now() {
    if (!plan.interrupt) return false;
    interrupted = !interrupted;
    return interrupted;
}

size_t capped(size_t length) {
    return plan.max_transfer ? std::min(length, plan.max_transfer) : length;
}

int faulty_open(const char* path, int flags, mode_t mode, int& fd) {
    if (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) change();
    if (interrupt_now()) return EINTR;
    const bool scoped = in_scope(path);
    if (plan.open_error && scoped && (flags & (O_WRONLY | O_RDWR | O_CREAT)))
        return plan.open_error;
    int err = pt::system_file_ops().open(path, flags, mode, fd);
    if (!err && scoped && !plan.only_under.empty()) {
        std::lock_guard lock(scoped_mutex);
        scoped_fds.insert(fd);
    }
    return err;
}

int faulty_pread(int fd, void* buffer, size_t length, int64_t offset, size_t& done) {
    done = 0;
    if (interrupt_now()) return EINTR;
    return pt::system_file_ops().pread(fd, buffer, capped(length), offset, done);
}

int faulty_pwrite(int fd, const void* data, size_t length, int64_t offset, size_t& done) {
    done = 0;
    if (interrupt_now()) return EINTR;
    length = capped(length);
    change();
    if (!fd_in_scope(fd)) return pt::system_file_ops().pwrite(fd, data, length, offset, done);
    ++writes_tried;
    if (plan.write_fails_at == writes_tried) return plan.write_error;
    if (plan.write_budget == 0 && length > 0) return plan.write_error;
    if (plan.write_budget > 0) length = std::min<size_t>(length, plan.write_budget);
    int err = pt::system_file_ops().pwrite(fd, data, length, offset, done);
    if (plan.write_budget > 0) plan.write_budget -= static_cast<int64_t>(done);
    return err;
}

int faulty_fsync(int fd) {
    if (interrupt_now()) return EINTR;
    return plan.fsync_error ? plan.fsync_error : pt::system_file_ops().fsync(fd);
}

int faulty_rename(const char* from, const char* to, bool no_replace) {
    if (interrupt_now()) return EINTR;
    change();
    return plan.rename_error ? plan.rename_error
                             : pt::system_file_ops().rename(from, to, no_replace);
}

int faulty_unlink(const char* path) {
    if (interrupt_now()) return EINTR;
    change();
    return pt::system_file_ops().unlink(path);
}

int faulty_close(int fd) {
    change();
    {
        std::lock_guard lock(scoped_mutex);
        scoped_fds.erase(fd);
    }
    return pt::system_file_ops().close(fd);
}

int faulty_ftruncate(int fd, int64_t size) {
    change();
    return pt::system_file_ops().ftruncate(fd, size);
}

pt::file_ops faulty_ops() {
    pt::file_ops ops = pt::system_file_ops();
    ops.open = faulty_open;
    ops.pread = faulty_pread;
    ops.pwrite = faulty_pwrite;
    ops.unlink = faulty_unlink;
    ops.fsync = faulty_fsync;
    ops.rename = faulty_rename;
    ops.close = faulty_close;
    ops.ftruncate = faulty_ftruncate;
    return ops;
}

}  // namespace

file_fault_scope::file_fault_scope(const file_faults& faults) {
    static const pt::file_ops ops = faulty_ops();
    plan = faults;
    writes_tried = 0;
    changes = 0;
    interrupted = false;
    std::lock_guard lock(scoped_mutex);
    scoped_fds.clear();
    saved_ = pt::use_file_ops(&ops);
}

file_fault_scope::~file_fault_scope() {
    pt::use_file_ops(saved_);
}

int file_changes_seen() {
    return changes;
}

file_size_limit::file_size_limit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit l = saved_;
    l.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &l);
}

file_size_limit::~file_size_limit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
}
