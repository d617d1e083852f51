// Binary files: a whole file held in memory (small files such as a DBF header) and
// a handle-based file with 64-bit offsets and no buffering.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TK/tk_bytes.hpp"
#include "TK/tk_except.hpp"

// The error of a file that cannot be written: "Cannot write into file", the file and the
// system's reason for the errno value, so that a full disk says so. Kind 1.
tk_exception tk_write_error(const std::string& file_name, int err);
// "Cannot open file NAME: REASON".
tk_exception tk_open_error(const std::string& file_name, int err);

// Open modes: bit 0 writable, 3 = create (empty the file or make it).
constexpr int32_t tk_file_read = 0;
constexpr int32_t tk_file_write = 1;
constexpr int32_t tk_file_create = 3;

class tk_file {
  public:
    tk_file(const std::string& file_name, int32_t mode);
    virtual ~tk_file();
    tk_file(const tk_file&) = delete;
    tk_file& operator=(const tk_file&) = delete;

    virtual void get_at(uint32_t offset, void* buffer, uint32_t length) = 0;
    virtual uint8_t get_byte(uint32_t offset) = 0;
    virtual uint16_t get_ushort(uint32_t offset) = 0;
    virtual uint32_t get_ulong(uint32_t offset) = 0;
    // The whole content is taken at construction, so no read is ever left pending.
    virtual bool eof() { return false; }
    virtual void put_at(uint32_t offset, const void* data, uint32_t length) = 0;
    virtual uint32_t get_size() = 0;

    const std::string& name() const { return name_; }
    int32_t mode() const { return mode_; }

  protected:
    int32_t mode_;
    std::string name_;
};

class tk_memory_file : public tk_file {
  public:
    tk_memory_file(const std::string& file_name, int32_t mode);
    // A writable file is written back here when flush was not called; a failure
    // then can only be traced, so writers call flush themselves.
    ~tk_memory_file() override;

    void get_at(uint32_t offset, void* buffer, uint32_t length) override;
    uint8_t get_byte(uint32_t offset) override;
    uint16_t get_ushort(uint32_t offset) override;
    uint32_t get_ulong(uint32_t offset) override;
    void put_at(uint32_t offset, const void* data, uint32_t length) override;
    uint32_t get_size() override { return static_cast<uint32_t>(image_.size()); }

    // Writes the whole image back; raises on failure.
    void flush();

  private:
    void initialize();
    std::vector<uint8_t> image_;
    bool dirty_ = false;
};

class tk_huge_file {
  public:
    // Read-only opens need an existing file; writable ones create it when missing,
    // unless create is false (a file that must already be there, such as a memo file).
    tk_huge_file(const std::string& file_name, bool writable, bool create = true);
    ~tk_huge_file();
    tk_huge_file(const tk_huge_file&) = delete;
    tk_huge_file& operator=(const tk_huge_file&) = delete;

    void* get_at(int64_t offset, void* buffer, uint32_t length);
    uint8_t get_byte(int64_t offset);
    uint16_t get_ushort(int64_t offset);
    uint32_t get_ulong(int64_t offset);
    int64_t get_size();
    // Writes all of it or raises tk_write_error.
    void put_at(int64_t offset, const void* data, uint32_t length);
    // Cuts or extends the file.
    void set_size(int64_t size);
    // Waits until what was written is on disk; raises tk_write_error.
    void sync();

    const std::string& name() const { return name_; }

  private:
    int fd_ = -1;
    std::string name_;
};
