// Memo files: the block files beside a table that hold the text of its memo fields.
// FPT is written and read; the dBASE III DBT can be written by its class (no operation
// of the system does); the dBASE IV DBT and SMT are read only.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "TK/tk_buffer.hpp"
#include "TK/tk_file.hpp"

// Memo kinds, chosen from a table's version byte.
enum : int32_t {
    dbf_memo_none = 0,
    dbf_memo_old = 1,   // .dbt, FoxBASE / dBASE III
    dbf_memo_dbt = 3,   // .dbt, dBASE IV
    dbf_memo_fpt = 4,   // .fpt, decimal block numbers
    dbf_memo_vfp = 8,   // .fpt, Visual FoxPro: 32-bit binary block numbers
    dbf_memo_dct = 12,  // .dct of a database container
    dbf_memo_smt = 16,
};

// The bytes of one memo as the writer produces them, piece by piece, so that a large
// value never needs a second copy of itself in memory.
class dbf_memo_source {
  public:
    virtual ~dbf_memo_source() = default;
    virtual uint64_t size() const = 0;
    // n bytes of the memo from byte `offset`.
    virtual void fill(uint64_t offset, uint8_t* out, size_t n) const = 0;
};

// A memo whose bytes are at hand as they are.
class dbf_bytes_source : public dbf_memo_source {
  public:
    explicit dbf_bytes_source(std::string_view bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    void fill(uint64_t offset, uint8_t* out, size_t n) const override {
        std::memcpy(out, bytes_.data() + offset, n);
    }

  private:
    std::string_view bytes_;
};

class dbf_memo_file : public tk_huge_file {
  public:
    // Open modes of tk_file: read, write (the file must exist: a memo file is never
    // created by opening it) and create (a new empty file).
    dbf_memo_file(const std::string& file_name, int32_t mode);
    virtual ~dbf_memo_file();

    // 0 means no memo. The field's bytes are given with their count.
    virtual uint32_t get_block_number(const uint8_t* field, size_t size);
    virtual void read_memo(uint32_t block, std::string& text) = 0;
    virtual void write_memo(uint32_t block, const std::string& text);

  protected:
    // Reads from pos up to the terminator or the end of the file, in chunks.
    void read_until(uint64_t pos, uint8_t terminator, std::string& text);
    uint64_t size_ = 0;
};

class fpt_memo_file : public dbf_memo_file {
  public:
    // The bytes of a new, empty FPT file: next free block 8, block size 64.
    static std::string empty_file();

    fpt_memo_file(const std::string& file_name, int32_t mode, int32_t kind);
    ~fpt_memo_file() override;

    uint32_t get_block_number(const uint8_t* field, size_t size) override;
    void read_memo(uint32_t block, std::string& text) override;
    void write_memo(uint32_t block, const std::string& text) override;

    // The writer's road: stores the memo at the next free block and returns that block.
    // The header's next free block is written by flush, after the memos themselves.
    uint32_t append(const dbf_memo_source& memo);
    // Forgets memos written after the header was last stored (their record failed).
    void restore_next_free(uint32_t next_free);
    // Writes the gathered memos, then the header's next free block.
    void flush();
    // Writes the gathered memos only: the header still gives their blocks as free.
    void flush_memos() { flush_pending(); }
    // Refuses a file whose next free block lies inside the header before writing to it.
    void check_writable();

    uint32_t next_free() const { return next_free_; }
    uint32_t block_size() const { return block_size_; }

  private:
    // Writes one memo block at `block`; returns the blocks it takes.
    uint32_t write_block(uint32_t block, const dbf_memo_source& memo);
    void flush_pending();

    int32_t kind_;
    uint32_t next_free_ = 0;
    uint32_t stored_next_free_ = 0;  // what the header on disk says
    uint32_t block_size_ = 0;
    std::vector<uint8_t> chunk_;
    tk_byte_buffer pending_;  // memos not yet written, from pending_pos_ on
    uint64_t pending_pos_ = 0;
};

// dBASE IV DBT: read only.
class dbt_memo_file : public dbf_memo_file {
  public:
    dbt_memo_file(const std::string& file_name, int32_t mode);
    void read_memo(uint32_t block, std::string& text) override;

  private:
    uint32_t block_size_ = 0;
};

// FoxBASE / dBASE III DBT: 512-byte blocks, each memo ended by 0x1A 0x1A.
class old_memo_file : public dbf_memo_file {
  public:
    old_memo_file(const std::string& file_name, int32_t mode);
    void read_memo(uint32_t block, std::string& text) override;
    void write_memo(uint32_t block, const std::string& text) override;

    uint32_t next_free() const { return next_free_; }

  private:
    uint32_t next_free_ = 0;
};

// SMT: read only; binary block numbers at bytes 6-9 of the field, text up to NUL.
class smt_memo_file : public dbf_memo_file {
  public:
    smt_memo_file(const std::string& file_name, int32_t mode);
    uint32_t get_block_number(const uint8_t* field, size_t size) override;
    void read_memo(uint32_t block, std::string& text) override;

  private:
    uint32_t block_size_ = 0;
};

// Whether the first bytes of a file (its first 512 at least, when it has them) are the
// header of a memo file of that extension ("fpt", "dct", "dbt", "smt"; any case): a
// header whole in the file, whose next free block lies behind it and inside the file.
// Text or another program's file in a memo file's place is none.
bool dbf_is_memo_header(std::string_view head, uint64_t file_size, std::wstring_view extension);

// What a memo or table file can address: offsets are 32-bit in the formats.
constexpr uint64_t dbf_max_file_size = 0xFFFFFFFFull;
