#include "TK/tk_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "TK/tk_except.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files.hpp"

tk_exception tk_write_error(const std::string& file_name, int err) {
    return tk_exception("Cannot write into file " + file_name + ": " + pt::error_text(err),
                        tk_kind_error);
}

tk_exception tk_open_error(const std::string& file_name, int err) {
    return tk_exception("Cannot open file " + file_name + ": " + pt::error_text(err),
                        tk_kind_error);
}

namespace {

// A read that failed, or (err 0) found the file shorter than its own contents say.
tk_exception read_error(const std::string& file_name, int err) {
    return tk_exception("Cannot read from file " + file_name + ": " +
                            (err ? pt::error_text(err) : std::string("it ends too early")),
                        tk_kind_error);
}

}  // namespace

tk_file::tk_file(const std::string& file_name, int32_t mode) : mode_(mode) {
    tk_log_printf(2, "tk_file::tk_file(%s)", file_name);
    if (file_name.empty()) throw tk_mail_assertion("tk_file.cpp", 20);
    name_ = tk_file_name(file_name).make_path();
    tk_log_printf(1, "Canonized file name: %s", name_);
    if (!(mode & tk_file_write) && !tk_is_file_exist1(name_, tk_exist_file))
        throw tk_open_error(name_, ENOENT);
}

tk_file::~tk_file() {
    tk_log_printf(2, "tk_file::~tk_file");
}

tk_memory_file::tk_memory_file(const std::string& file_name, int32_t mode)
    : tk_file(file_name, mode) {
    tk_log_printf(2, "tk_memory_file::ctor");
    initialize();
}

void tk_memory_file::initialize() {
    tk_log_printf(1, "tk_memory_file::initialize");
    const int flags = mode_ == tk_file_create   ? O_RDWR | O_CREAT | O_TRUNC
                      : (mode_ & tk_file_write) ? O_RDWR
                                                : O_RDONLY;
    int fd = -1;
    if (int err = pt::open_file(name_, flags, 0666, fd)) throw tk_open_error(name_, err);
    int64_t size = 0;
    size_t done = 0;
    int err = pt::file_size(fd, size);
    // The image is addressed with 32-bit offsets.
    if (!err && (size < 0 || size > int64_t{UINT32_MAX})) err = EFBIG;
    if (!err) {
        image_.resize(static_cast<size_t>(size));
        err = pt::read_at(fd, image_.data(), image_.size(), 0, done);
    }
    pt::close_file(fd);
    if (err || done != image_.size()) throw read_error(name_, err);
    // A created file is written back even when nothing was put into it.
    dirty_ = mode_ == tk_file_create;
}

tk_memory_file::~tk_memory_file() {
    tk_log_printf(2, "tk_memory_file::~tk_memory_file");
    if ((mode_ & tk_file_write) && dirty_) {
        try {
            flush();
        } catch (const std::exception& e) {
            tk_log_printf(3, "tk_memory_file: write-back of '%s' failed: %s", name_, e.what());
        }
    }
}

void tk_memory_file::get_at(uint32_t offset, void* buffer, uint32_t length) {
    tk_log_printf(1, "tk_memory_file::get_at(%d,%d)", offset, length);
    if (uint64_t{offset} + length > image_.size()) {
        tk_log_printf(2, "Reading out of range: offset=%d, length=%d, file size=%d", offset, length,
                      image_.size());
        throw read_error(name_, 0);
    }
    if (length) std::memcpy(buffer, image_.data() + offset, length);
}

uint8_t tk_memory_file::get_byte(uint32_t offset) {
    uint8_t b;
    get_at(offset, &b, 1);
    return b;
}

uint16_t tk_memory_file::get_ushort(uint32_t offset) {
    uint8_t b[2];
    get_at(offset, b, 2);
    return tk_le16(b);
}

uint32_t tk_memory_file::get_ulong(uint32_t offset) {
    uint8_t b[4];
    get_at(offset, b, 4);
    return tk_le32(b);
}

void tk_memory_file::put_at(uint32_t offset, const void* data, uint32_t length) {
    tk_log_printf(1, "tk_memory_file::put_at(%d,%d)", offset, length);
    uint64_t end = uint64_t{offset} + length;
    if (end > UINT32_MAX) throw tk_write_error(name_, EFBIG);
    if (end > image_.size()) {
        tk_log_printf(1, "tk_memory_file::set_size(%d)", end);
        image_.resize(static_cast<size_t>(end), 0);
    }
    if (length) std::memcpy(image_.data() + offset, data, length);
    dirty_ = true;
}

void tk_memory_file::flush() {
    tk_log_printf(2, "tk_memory_file::flush(name='%s')", name_);
    if (!(mode_ & tk_file_write)) throw tk_mail_assertion("tk_file.cpp", 64);
    int fd = -1;
    if (int err = pt::open_file(name_, O_RDWR | O_CREAT | O_TRUNC, 0666, fd)) {
        tk_log_printf(2, "fopen_s returns error: %08X", err);
        throw tk_write_error(name_, err);
    }
    int err = pt::write_at(fd, image_.data(), image_.size(), 0);
    if (int closed = pt::close_file(fd); closed && !err) err = closed;
    if (err) throw tk_write_error(name_, err);
    dirty_ = false;
}

tk_huge_file::tk_huge_file(const std::string& file_name, bool writable, bool create)
    : name_(file_name) {
    tk_log_printf(2, "tk_huge_file::ctor('%s',%d)", file_name, writable);
    int flags = writable ? (create ? O_RDWR | O_CREAT : O_RDWR) : O_RDONLY;
    // A FIFO put in a file's place after its kind was looked at must not hold the
    // program: it is opened without waiting for a writer, and its reads then fail.
    if (int err = pt::open_file(file_name, flags | O_NONBLOCK, 0666, fd_))
        throw tk_open_error(file_name, err);
}

tk_huge_file::~tk_huge_file() {
    tk_log_printf(2, "tk_huge_file::dtor");
    if (fd_ >= 0) pt::close_file(fd_);
}

void* tk_huge_file::get_at(int64_t offset, void* buffer, uint32_t length) {
    tk_log_printf(1, "tk_huge_file::get_at(%I64d, %d)", offset, length);
    size_t done = 0;
    if (int err = pt::read_at(fd_, buffer, length, offset, done)) throw read_error(name_, err);
    if (done < length) throw read_error(name_, 0);
    return buffer;
}

uint8_t tk_huge_file::get_byte(int64_t offset) {
    uint8_t b;
    get_at(offset, &b, 1);
    return b;
}

uint16_t tk_huge_file::get_ushort(int64_t offset) {
    uint8_t b[2];
    get_at(offset, b, 2);
    return tk_le16(b);
}

uint32_t tk_huge_file::get_ulong(int64_t offset) {
    uint8_t b[4];
    get_at(offset, b, 4);
    return tk_le32(b);
}

int64_t tk_huge_file::get_size() {
    int64_t size = 0;
    if (int err = pt::file_size(fd_, size)) throw read_error(name_, err);
    return size;
}

void tk_huge_file::put_at(int64_t offset, const void* data, uint32_t length) {
    tk_log_printf(1, "tk_huge_file::put_at(%I64d, %d)", offset, length);
    // A full disk shows as an error or as a write that makes no progress.
    if (int err = pt::write_at(fd_, data, length, offset)) throw tk_write_error(name_, err);
}

void tk_huge_file::set_size(int64_t size) {
    if (int err = pt::set_file_size(fd_, size)) throw tk_write_error(name_, err);
}

void tk_huge_file::sync() {
    if (int err = pt::sync_file(fd_)) throw tk_write_error(name_, err);
}
