#include "platform/files.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pt {

namespace {

int err_of(int rc) {
    return rc == 0 ? 0 : errno;
}

void fill(const struct stat& s, path_status& st) {
    st.kind = S_ISREG(s.st_mode)   ? path_kind::file
              : S_ISDIR(s.st_mode) ? path_kind::folder
                                   : path_kind::other;
    st.other = S_ISFIFO(s.st_mode)                        ? other_kind::fifo
               : S_ISCHR(s.st_mode) || S_ISBLK(s.st_mode) ? other_kind::device
               : S_ISSOCK(s.st_mode)                      ? other_kind::socket
                                                          : other_kind::unknown;
    st.is_link = S_ISLNK(s.st_mode);
    st.writable = (s.st_mode & 0222) != 0;
    st.size = s.st_size;
}

int sys_open(const char* path, int flags, mode_t mode, int& fd) {
    fd = ::open(path, flags, mode);
    return fd < 0 ? errno : 0;
}

int sys_close(int fd) {
    return err_of(::close(fd));
}

int sys_pread(int fd, void* buffer, size_t length, int64_t offset, size_t& done) {
    ssize_t n = ::pread(fd, buffer, length, offset);
    done = n > 0 ? static_cast<size_t>(n) : 0;
    return n < 0 ? errno : 0;
}

int sys_read(int fd, void* buffer, size_t length, size_t& done) {
    ssize_t n = ::read(fd, buffer, length);
    done = n > 0 ? static_cast<size_t>(n) : 0;
    return n < 0 ? errno : 0;
}

int sys_pwrite(int fd, const void* data, size_t length, int64_t offset, size_t& done) {
    ssize_t n = ::pwrite(fd, data, length, offset);
    done = n > 0 ? static_cast<size_t>(n) : 0;
    return n < 0 ? errno : 0;
}

int sys_fsync(int fd) {
    return err_of(::fsync(fd));
}
int sys_fchmod(int fd, mode_t mode) {
    return err_of(::fchmod(fd, mode));
}

int sys_fstat(int fd, path_status& st) {
    struct stat s;
    if (::fstat(fd, &s) != 0) return errno;
    fill(s, st);
    return 0;
}

int sys_ftruncate(int fd, int64_t size) {
    return err_of(::ftruncate(fd, size));
}

int sys_stat(const char* path, path_status& st, bool follow) {
    struct stat s;
    if ((follow ? ::stat(path, &s) : ::lstat(path, &s)) != 0) return errno;
    fill(s, st);
    return 0;
}

int sys_list(const char* folder, std::vector<folder_entry>& entries) {
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(folder), ::closedir);
    if (!d) return errno;
    int dfd = ::dirfd(d.get());
    errno = 0;
    while (dirent* e = ::readdir(d.get())) {
        folder_entry entry{e->d_name, path_kind::none};
        // The entry's type comes with it on most file systems; only links and the
        // unknown cost a stat.
        struct stat s;
        if (e->d_type == DT_REG) {
            entry.kind = path_kind::file;
        } else if (e->d_type == DT_DIR) {
            entry.kind = path_kind::folder;
        } else if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) {
            entry.kind = path_kind::other;
        } else if (::fstatat(dfd, e->d_name, &s, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(s.st_mode)) {
                struct stat target;
                entry.kind = ::fstatat(dfd, e->d_name, &target, 0) != 0 ? path_kind::file
                             : S_ISREG(target.st_mode)                  ? path_kind::file
                             : S_ISDIR(target.st_mode)                  ? path_kind::folder
                                                                        : path_kind::other;
            } else {
                entry.kind = S_ISREG(s.st_mode)   ? path_kind::file
                             : S_ISDIR(s.st_mode) ? path_kind::folder
                                                  : path_kind::other;
            }
        }
        entries.push_back(std::move(entry));
        errno = 0;
    }
    return errno;
}

int sys_unlink(const char* path) {
    return err_of(::unlink(path));
}

int sys_rename(const char* from, const char* to, bool no_replace) {
    if (!no_replace) return err_of(::rename(from, to));
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    // File systems without the flag: test, then rename.
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return err;
    struct stat s;
    if (::lstat(to, &s) == 0) return EEXIST;
    return err_of(::rename(from, to));
}

int sys_mkdir(const char* path, mode_t mode) {
    return err_of(::mkdir(path, mode));
}

const file_ops system_ops = {sys_open,   sys_close,  sys_pread,     sys_pwrite, sys_fsync,
                             sys_fchmod, sys_fstat,  sys_ftruncate, sys_stat,   sys_list,
                             sys_unlink, sys_rename, sys_mkdir,     sys_read};

const file_ops* current = &system_ops;

// Interrupted calls are repeated everywhere, so that no caller needs its own loop.
template <typename F>
int again(F&& call) {
    int err;
    do err = call();
    while (err == EINTR);
    return err;
}

constexpr std::string_view temp_suffix = ".tmp";

// A temporary file beside `path` (so that the rename stays on one file system), with
// a name no other writer in this or another process picks: the path, the process id, a
// counter and ".tmp", so that a later run can tell one whose writer was killed.
int open_temp(const std::string& path, std::string& tmp, int& fd) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = path + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) +
              std::string(temp_suffix);
        int err = open_file(tmp, O_WRONLY | O_CREAT | O_EXCL, 0666, fd);
        if (err != EEXIST) return err;
    }
    return EEXIST;
}

// Writes the temporary file whole, then moves it into place. A file that replaces
// another is flushed first, so that a crash leaves the old content or the new, never an
// empty file. A new file has no old content to keep, and what is written into it later
// is not flushed either: flushing it would cost a disk round trip per file for nothing.
int write_and_move(const std::string& path, std::string_view data, const mode_t* mode,
                   bool no_replace) {
    std::string tmp;
    int fd = -1;
    if (int err = open_temp(path, tmp, fd)) return err;
    int err = mode ? again([&] { return current->fchmod(fd, *mode); }) : 0;
    if (!err) err = write_at(fd, data.data(), data.size(), 0);
    if (!err && !no_replace) err = again([&] { return current->fsync(fd); });
    if (int closed = current->close(fd); closed && !err) err = closed;
    if (!err) err = again([&] { return current->rename(tmp.c_str(), path.c_str(), no_replace); });
    if (err) remove_file(tmp);
    return err;
}

}  // namespace

std::string error_text(int err) {
    char buf[256];
    // glibc's GNU strerror_r may return a static string instead of filling buf.
    const char* s = strerror_r(err, buf, sizeof buf);
    return s ? std::string(s) : std::string();
}

const file_ops& system_file_ops() {
    return system_ops;
}

const file_ops* use_file_ops(const file_ops* ops) {
    const file_ops* old = current;
    current = ops ? ops : &system_ops;
    return old;
}

int open_file(const std::string& path, int flags, mode_t mode, int& fd) {
    int err = again([&] { return current->open(path.c_str(), flags | O_CLOEXEC, mode, fd); });
    if (err) fd = -1;
    return err;
}

// Not repeated on EINTR: the descriptor is gone either way on Linux.
int close_file(int fd) {
    return current->close(fd);
}

int read_at(int fd, void* buffer, size_t length, int64_t offset, size_t& done) {
    auto* p = static_cast<uint8_t*>(buffer);
    done = 0;
    while (done < length) {
        size_t n = 0;
        int err =
            current->pread(fd, p + done, length - done, offset + static_cast<int64_t>(done), n);
        if (err == EINTR) continue;
        if (err) return err;
        if (n == 0) break;
        done += n;
    }
    return 0;
}

int write_at(int fd, const void* data, size_t length, int64_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < length) {
        size_t n = 0;
        int err =
            current->pwrite(fd, p + done, length - done, offset + static_cast<int64_t>(done), n);
        if (err == EINTR) continue;
        if (err) return err;
        if (n == 0) return ENOSPC;
        done += n;
    }
    return 0;
}

int file_size(int fd, int64_t& size) {
    path_status st;
    int err = current->fstat(fd, st);
    size = st.size;
    return err;
}

int set_file_size(int fd, int64_t size) {
    return again([&] { return current->ftruncate(fd, size); });
}

int sync_file(int fd) {
    return again([&] { return current->fsync(fd); });
}

int read_file(const std::string& path, std::string& data, bool* opened, size_t limit) {
    if (opened) *opened = false;
    data.clear();
    int fd = -1;
    if (int err = open_file(path, O_RDONLY, 0, fd)) return err;
    if (opened) *opened = true;
    path_status st;
    int err = current->fstat(fd, st);
    // A pipe cannot seek: it is read from where it stands, to its end.
    const bool seekable = !err && st.kind == path_kind::file;
    if (seekable && st.size > 0 && static_cast<uint64_t>(st.size) > limit) err = EFBIG;
    char buf[65536];
    for (size_t n = 1; n > 0 && !err;) {
        err = seekable ? read_at(fd, buf, sizeof buf, static_cast<int64_t>(data.size()), n)
                       : again([&] { return current->read(fd, buf, sizeof buf, n); });
        if (err) break;
        if (n > limit - data.size()) {
            n = limit - data.size();
            err = EFBIG;
        }
        data.append(buf, n);
    }
    close_file(fd);
    return err;
}

int create_file(const std::string& path, std::string_view data) {
    return write_and_move(path, data, nullptr, true);
}

int create_temp_file(const std::string& path, std::string_view data, std::string& temp) {
    int fd = -1;
    if (int err = open_temp(path, temp, fd)) return err;
    int err = write_at(fd, data.data(), data.size(), 0);
    if (int closed = current->close(fd); closed && !err) err = closed;
    if (err) remove_file(temp);
    return err;
}

int replace_file(const std::string& path, std::string_view data, mode_t mode) {
    return write_and_move(path, data, &mode, false);
}

std::string orphaned_temp_target(std::string_view name) {
    if (name.size() <= temp_suffix.size() || !name.ends_with(temp_suffix)) return {};
    name.remove_suffix(temp_suffix.size());
    // The counter, then the process id, each a number behind a point.
    auto number = [&name](uint64_t& value) {
        const size_t dot = name.rfind('.');
        if (dot == std::string_view::npos) return false;
        const std::string_view digits = name.substr(dot + 1);
        if (digits.empty() || digits.size() > 10) return false;
        value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<uint64_t>(c - '0');
        }
        name = name.substr(0, dot);
        return true;
    };
    uint64_t counter = 0, pid = 0;
    if (!number(counter) || !number(pid) || name.empty()) return {};
    if (pid == 0 || pid > static_cast<uint64_t>(INT32_MAX) ||
        pid == static_cast<uint64_t>(::getpid()))
        return {};
    // No signal is sent: this only asks whether the process exists. EPERM means it does.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return {};
    return std::string(name);
}

int stat_path(const std::string& path, path_status& st, bool follow) {
    st = path_status{};
    return again([&] { return current->stat(path.c_str(), st, follow); });
}

int list_folder(const std::string& folder, std::vector<folder_entry>& entries) {
    entries.clear();
    return current->list(folder.c_str(), entries);
}

int remove_file(const std::string& path) {
    return again([&] { return current->unlink(path.c_str()); });
}

int rename_file(const std::string& from, const std::string& to) {
    return again([&] { return current->rename(from.c_str(), to.c_str(), false); });
}

int rename_new_file(const std::string& from, const std::string& to) {
    return again([&] { return current->rename(from.c_str(), to.c_str(), true); });
}

int make_folder(const std::string& path, mode_t mode) {
    return again([&] { return current->mkdir(path.c_str(), mode); });
}

int lock_folder(const std::string& path, int& fd) {
    int held = -1;
    if (int err = open_file(path, O_RDONLY | O_DIRECTORY, 0, held)) return err;
    int err = 0;
    while ((err = err_of(::flock(held, LOCK_EX | LOCK_NB))) == EINTR) {
    }
    if (err) {
        close_file(held);
        return err;
    }
    fd = held;
    return 0;
}

bool is_same_folder(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool open_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // Inherited by the programs this one starts, as standard streams are.
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0) return false;
        // The lowest free number is taken: this one, since those below are open.
        if (null != fd) {
            ::close(null);
            return false;
        }
    }
    return true;
}

}  // namespace pt
