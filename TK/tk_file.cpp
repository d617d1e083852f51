#include "TK/tk_file.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TK/tk_except.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

tk_file::tk_file(const std::string& file_name, int32_t mode) : mode_(mode) {
    tk_log_printf(2, "tk_file::tk_file(%s)", file_name);
    if (file_name.empty()) throw tk_mail_assertion("tk_file.cpp", 20);
    name_ = tk_file_name(file_name).make_path();
    tk_log_printf(1, "Canonized file name: %s", name_);
    if (!(mode & tk_file_write) && !tk_is_file_exist1(name_, tk_exist_file))
        throw tk_exception("Bad path or busy with another process", tk_kind_error);
}

tk_file::~tk_file() {
    tk_log_printf(2, "tk_file::~tk_file");
    if (stream_) std::fclose(stream_);
}

tk_memory_file::tk_memory_file(const std::string& file_name, int32_t mode)
    : tk_file(file_name, mode) {
    tk_log_printf(2, "tk_memory_file::ctor");
    initialize();
}

void tk_memory_file::initialize() {
    tk_log_printf(1, "tk_memory_file::initialize");
    const char* how = mode_ == tk_file_create ? "w+b" : (mode_ & tk_file_write) ? "r+b" : "rb";
    stream_ = std::fopen(name_.c_str(), how);
    if (!stream_) throw tk_exception("Error opening file", tk_kind_error);
    auto fail = [this] {
        std::fclose(stream_);
        stream_ = nullptr;
        throw tk_exception("Error reading from file", tk_kind_error);
    };
    if (std::fseek(stream_, 0, SEEK_END) != 0) fail();
    long size = std::ftell(stream_);
    // The image is addressed with 32-bit offsets.
    if (size < 0 || static_cast<unsigned long>(size) > UINT32_MAX) fail();
    if (std::fseek(stream_, 0, SEEK_SET) != 0) fail();
    image_.resize(static_cast<size_t>(size));
    if (size > 0 && std::fread(image_.data(), 1, image_.size(), stream_) != image_.size()) fail();
    std::fclose(stream_);
    stream_ = nullptr;
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
        throw tk_exception("Error reading from file", tk_kind_error);
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
    if (end > UINT32_MAX) throw tk_exception("Cannot write into file", tk_kind_error);
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
    FILE* f = std::fopen(name_.c_str(), "w+b");
    if (!f) {
        tk_log_printf(2, "fopen_s returns error: %08X", errno);
        throw tk_exception("Error opening file", tk_kind_error);
    }
    bool ok = image_.empty() || std::fwrite(image_.data(), 1, image_.size(), f) == image_.size();
    // Errors of buffered writes show up only at close.
    if (std::fclose(f) != 0) ok = false;
    if (!ok) throw tk_exception("Cannot write into file", tk_kind_error);
    dirty_ = false;
}

tk_huge_file::tk_huge_file(const std::string& file_name, bool writable, bool create)
    : name_(file_name) {
    tk_log_printf(2, "tk_huge_file::ctor('%s',%d)", file_name, writable);
    int flags = writable ? (create ? O_RDWR | O_CREAT : O_RDWR) : O_RDONLY;
    fd_ = ::open(file_name.c_str(), flags | O_CLOEXEC, 0666);
    if (fd_ < 0) throw tk_exception("Error opening file", tk_kind_error);
}

tk_huge_file::~tk_huge_file() {
    tk_log_printf(2, "tk_huge_file::dtor");
    if (fd_ >= 0) ::close(fd_);
}

void* tk_huge_file::get_at(int64_t offset, void* buffer, uint32_t length) {
    tk_log_printf(1, "tk_huge_file::get_at(%I64d, %d)", offset, length);
    auto* p = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_, p + done, length - done, offset + done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw tk_exception_ex("", tk_kind_error, errno);
        }
        if (n == 0) throw tk_exception("Error reading from file", tk_kind_error);
        done += static_cast<uint32_t>(n);
    }
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
    struct stat st;
    if (::fstat(fd_, &st) != 0) throw tk_exception_ex("", tk_kind_error, errno);
    return st.st_size;
}

void tk_huge_file::put_at(int64_t offset, const void* data, uint32_t length) {
    tk_log_printf(1, "tk_huge_file::put_at(%I64d, %d)", offset, length);
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = ::pwrite(fd_, p + done, length - done, offset + done);
        if (n < 0 && errno == EINTR) continue;
        // A full disk shows as an error or as a write that makes no progress.
        if (n <= 0) throw tk_exception("Cannot write into file", tk_kind_error);
        done += static_cast<uint32_t>(n);
    }
}

void tk_huge_file::set_size(int64_t size) {
    if (::ftruncate(fd_, size) != 0) throw tk_exception("Cannot write into file", tk_kind_error);
}
