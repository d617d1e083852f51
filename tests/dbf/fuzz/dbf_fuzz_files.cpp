#include "tests/dbf/fuzz/dbf_fuzz_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/files.hpp"

namespace {

// Damaged headers ask for writes far out; a real disk keeps them sparse, memory cannot.
constexpr int64_t largest_file = int64_t{64} << 20;
constexpr int first_fd = 1000;

using content = std::shared_ptr<std::string>;

struct open_file {
    content data;
    bool readable, writable;
};

struct file_set {
    std::map<std::string, content> files;
    std::set<std::string> folders;
    std::vector<std::unique_ptr<open_file>> fds;
};

file_set* files = nullptr;

// "./w//t.dbf" and "w/t.dbf" are the same file; the current folder is "".
std::string normal(const char* path) {
    std::vector<std::string> parts;
    const std::string p = path;
    for (size_t i = 0; i <= p.size();) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    std::string out = !p.empty() && p[0] == '/' ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out;
}

std::string parent_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

open_file* fd_of(int fd) {
    size_t i = static_cast<size_t>(fd - first_fd);
    return fd >= first_fd && i < files->fds.size() ? files->fds[i].get() : nullptr;
}

int mem_open(const char* path, int flags, mode_t, int& fd) {
    const std::string p = normal(path);
    const int access = flags & O_ACCMODE;
    if (files->folders.count(p)) {
        // A folder opens only to be looked at, as the system allows.
        if (access != O_RDONLY) return EISDIR;
        files->fds.push_back(
            std::make_unique<open_file>(open_file{std::make_shared<std::string>(), false, false}));
        fd = first_fd + static_cast<int>(files->fds.size()) - 1;
        return 0;
    }
    if (!files->folders.count(parent_of(p))) return ENOENT;
    if (flags & O_DIRECTORY) return files->files.count(p) ? ENOTDIR : ENOENT;
    auto it = files->files.find(p);
    if (it != files->files.end() && (flags & O_CREAT) && (flags & O_EXCL)) return EEXIST;
    if (it == files->files.end()) {
        if (!(flags & O_CREAT)) return ENOENT;
        it = files->files.emplace(p, std::make_shared<std::string>()).first;
    }
    if ((flags & O_TRUNC) && access != O_RDONLY) it->second->clear();
    files->fds.push_back(
        std::make_unique<open_file>(open_file{it->second, access != O_WRONLY, access != O_RDONLY}));
    fd = first_fd + static_cast<int>(files->fds.size()) - 1;
    return 0;
}

int mem_close(int fd) {
    if (!fd_of(fd)) return EBADF;
    files->fds[static_cast<size_t>(fd - first_fd)].reset();
    return 0;
}

int mem_pread(int fd, void* buffer, size_t length, int64_t offset, size_t& done) {
    done = 0;
    open_file* f = fd_of(fd);
    if (!f || !f->readable) return EBADF;
    if (offset < 0) return EINVAL;
    const std::string& d = *f->data;
    if (static_cast<uint64_t>(offset) >= d.size()) return 0;
    done = std::min(length, d.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, d.data() + offset, done);
    return 0;
}

// Every memory file can seek, so nothing reads one from a position of its own.
int mem_read(int, void*, size_t, size_t& done) {
    done = 0;
    return ESPIPE;
}

int mem_pwrite(int fd, const void* data, size_t length, int64_t offset, size_t& done) {
    done = 0;
    open_file* f = fd_of(fd);
    if (!f || !f->writable) return EBADF;
    if (offset < 0) return EINVAL;
    if (offset > largest_file || static_cast<int64_t>(length) > largest_file - offset) return EFBIG;
    std::string& d = *f->data;
    const size_t end = static_cast<size_t>(offset) + length;
    if (end > d.size()) d.resize(end, '\0');
    std::memcpy(d.data() + offset, data, length);
    done = length;
    return 0;
}

int mem_fd_only(int fd) {
    return fd_of(fd) ? 0 : EBADF;
}
int mem_fchmod(int fd, mode_t) {
    return mem_fd_only(fd);
}

int mem_fstat(int fd, pt::path_status& st) {
    open_file* f = fd_of(fd);
    if (!f) return EBADF;
    st = {pt::path_kind::file, false, true, static_cast<int64_t>(f->data->size())};
    return 0;
}

int mem_ftruncate(int fd, int64_t size) {
    open_file* f = fd_of(fd);
    if (!f || !f->writable) return EBADF;
    if (size < 0) return EINVAL;
    if (size > largest_file) return EFBIG;
    f->data->resize(static_cast<size_t>(size), '\0');
    return 0;
}

int mem_stat(const char* path, pt::path_status& st, bool) {
    const std::string p = normal(path);
    if (files->folders.count(p)) {
        st = {pt::path_kind::folder, false, true, 0};
        return 0;
    }
    auto it = files->files.find(p);
    if (it == files->files.end()) return ENOENT;
    st = {pt::path_kind::file, false, true, static_cast<int64_t>(it->second->size())};
    return 0;
}

int mem_list(const char* folder, std::vector<pt::folder_entry>& entries) {
    const std::string p = normal(folder);
    if (!files->folders.count(p)) return files->files.count(p) ? ENOTDIR : ENOENT;
    entries.push_back({".", pt::path_kind::folder});
    entries.push_back({"..", pt::path_kind::folder});
    const std::string prefix = p.empty() ? "" : p + "/";
    for (const auto& f : files->folders)
        if (f != p && parent_of(f) == p)
            entries.push_back({f.substr(prefix.size()), pt::path_kind::folder});
    for (const auto& [name, data] : files->files)
        if (parent_of(name) == p)
            entries.push_back({name.substr(prefix.size()), pt::path_kind::file});
    return 0;
}

int mem_unlink(const char* path) {
    const std::string p = normal(path);
    if (files->folders.count(p)) return EISDIR;
    return files->files.erase(p) ? 0 : ENOENT;
}

int mem_rename(const char* from, const char* to, bool no_replace) {
    const std::string f = normal(from), t = normal(to);
    auto it = files->files.find(f);
    if (it == files->files.end()) return ENOENT;
    if (files->folders.count(t)) return EISDIR;
    if (!files->folders.count(parent_of(t))) return ENOENT;
    if (no_replace && files->files.count(t)) return EEXIST;
    content data = it->second;
    files->files.erase(it);
    files->files[t] = std::move(data);
    return 0;
}

int mem_mkdir(const char* path, mode_t) {
    const std::string p = normal(path);
    if (files->folders.count(p) || files->files.count(p)) return EEXIST;
    if (!files->folders.count(parent_of(p))) return ENOENT;
    files->folders.insert(p);
    return 0;
}

const pt::file_ops memory_ops = {mem_open,   mem_close,  mem_pread,     mem_pwrite, mem_fd_only,
                                 mem_fchmod, mem_fstat,  mem_ftruncate, mem_stat,   mem_list,
                                 mem_unlink, mem_rename, mem_mkdir,     mem_read};

}  // namespace

dbf_fuzz_files::dbf_fuzz_files() {
    files = new file_set;
    files->folders.insert("");
    pt::use_file_ops(&memory_ops);
}

dbf_fuzz_files::~dbf_fuzz_files() {
    pt::use_file_ops(nullptr);
    delete files;
    files = nullptr;
}

void dbf_fuzz_files::add_folder(const std::string& path) {
    mem_mkdir(path.c_str(), 0700);
}

void dbf_fuzz_files::put(const std::string& path, const uint8_t* data, size_t size) {
    files->files[normal(path.c_str())] =
        std::make_shared<std::string>(reinterpret_cast<const char*>(data), size);
}
