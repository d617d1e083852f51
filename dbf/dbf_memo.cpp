#include "dbf/dbf_memo.hpp"

#include <algorithm>
#include <cstring>

#include "TK/tk_bytes.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "dbf/dbf_except.hpp"
#include "dbf/dbf_format.hpp"

namespace {

// The text of a memo block ends at its first NUL.
void cut_at_nul(std::string& text) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
}

// The largest piece of a memo written with one call.
constexpr size_t chunk_limit = size_t{1} << 20;
// Small memos gathered for one call: as many as a few page-cache copies' worth, in a
// buffer that stays small enough to be reused warm.
constexpr size_t gather_limit = 256 * 1024;

[[noreturn]] void memo_corrupted() {
    throw dbf_exception(dbf_bad_memo_text, tk_kind_continue);
}

[[noreturn]] void memo_full() {
    throw tk_exception("Memo file is full: an FPT file cannot pass 4 GB", tk_kind_continue);
}

}  // namespace

dbf_memo_file::dbf_memo_file(const std::string& file_name, int32_t mode)
    : tk_huge_file(file_name, (mode & tk_file_write) != 0, mode == tk_file_create) {
    tk_log_printf(2, "dbf_memo_file::ctor");
    if (mode == tk_file_create) set_size(0);
    int64_t size = get_size();
    size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
}

dbf_memo_file::~dbf_memo_file() = default;

uint32_t dbf_memo_file::get_block_number(const uint8_t* field, size_t size) {
    tk_log_printf(1, "dbf_memo_file::get_block_number");
    if (!field) throw tk_mail_assertion("dbf_memo.cpp", 30);
    // The "%d" reading of the field's first 10 bytes: blanks, a sign, digits.
    size_t n = std::min<size_t>(size, 10), i = 0;
    if (tk_log_on(1))
        tk_log_write("tmp_buf=%s", std::string(reinterpret_cast<const char*>(field), n));
    while (i < n && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < n && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    uint64_t v = 0;
    size_t digits = 0;
    for (; i < n && field[i] >= '0' && field[i] <= '9'; ++i, ++digits)
        v = v * 10 + static_cast<uint64_t>(field[i] - '0');
    if (digits == 0 || negative || v > UINT32_MAX) {
        tk_log_printf(1, "Invalid MEMO block!");
        return 0;
    }
    return static_cast<uint32_t>(v);
}

void dbf_memo_file::write_memo(uint32_t block, const std::string& text) {
    tk_log_printf(1, "dbf_memo_file::write_memo(%d,%s)", block, text);
}

void dbf_memo_file::read_until(uint64_t pos, uint8_t terminator, std::string& text) {
    text.clear();
    uint8_t buf[4096];
    while (pos < size_) {
        auto n = static_cast<uint32_t>(std::min<uint64_t>(sizeof buf, size_ - pos));
        get_at(static_cast<int64_t>(pos), buf, n);
        const void* end = std::memchr(buf, terminator, n);
        if (end) {
            text.append(reinterpret_cast<const char*>(buf), static_cast<const uint8_t*>(end) - buf);
            return;
        }
        text.append(reinterpret_cast<const char*>(buf), n);
        pos += n;
    }
}

bool dbf_is_memo_header(std::string_view head, uint64_t file_size, std::wstring_view extension) {
    constexpr uint64_t header = 512;
    if (file_size < header || head.size() < 8) return false;
    const auto* h = reinterpret_cast<const uint8_t*>(head.data());
    auto is = [&](const wchar_t* ext) {
        if (extension.size() != 3) return false;
        for (size_t i = 0; i < 3; ++i)
            if ((extension[i] | 0x20) != ext[i]) return false;
        return true;
    };
    if (is(L"fpt") || is(L"dct")) {
        const uint64_t block = (uint64_t{h[6]} << 8) | h[7];
        const uint64_t next = uint64_t{tk_be32(h)} * block;
        return block > 0 && next >= fpt_header_size &&
               next <= (file_size + block - 1) / block * block;
    }
    // dBASE and SMT files count their next free block in blocks of 512 bytes or more.
    const uint64_t next = tk_le32(h);
    return next >= 1 && next <= (file_size + header - 1) / header + 1;
}

// ---------------------------------------------------------------- FPT

fpt_memo_file::fpt_memo_file(const std::string& file_name, int32_t mode, int32_t kind)
    : dbf_memo_file(file_name, mode), kind_(kind) {
    tk_log_printf(2, "fpt_memo_file::ctor");
    if (mode == tk_file_create) {
        const std::string header = empty_file();
        tk_log_printf(2, "%08X %08X", fpt_header_size / fpt_block_size, fpt_block_size);
        put_at(0, header.data(), static_cast<uint32_t>(header.size()));
        size_ = header.size();
    }
    if (size_ < 8) memo_corrupted();
    uint8_t h[8];  // the next free block and the block size
    get_at(0, h, 8);
    next_free_ = tk_be32(h);
    stored_next_free_ = next_free_;
    block_size_ = static_cast<uint32_t>((h[6] << 8) | h[7]);
    tk_log_printf(2, "FPT block size=%d", block_size_);
    if (block_size_ == 0) memo_corrupted();
}

std::string fpt_memo_file::empty_file() {
    std::string header(fpt_new_file_size, '\0');
    tk_put_be32(reinterpret_cast<uint8_t*>(header.data()), fpt_header_size / fpt_block_size);
    header[7] = static_cast<char>(fpt_block_size);
    return header;
}

uint32_t fpt_memo_file::get_block_number(const uint8_t* field, size_t size) {
    if (kind_ != dbf_memo_vfp && kind_ != dbf_memo_dct)
        return dbf_memo_file::get_block_number(field, size);
    tk_log_printf(1, "fpt_memo_file::get_block_number");
    if (!field) throw tk_mail_assertion("dbf_memo.cpp", 30);
    // Visual FoxPro keeps the block number in binary, also in a container's memo.
    return size >= 4 ? tk_le32(field) : 0;
}

void fpt_memo_file::read_memo(uint32_t block, std::string& text) {
    tk_log_printf(1, "fpt_memo_file::read_memo(%d)", block);
    flush_memos();
    text.clear();
    uint64_t pos = uint64_t{block} * block_size_;
    tk_log_printf(1, "Reading MEMO at position=%I64d", pos);
    if (pos + fpt_memo_header_size > size_) {
        tk_log_printf(2, "Reading MEMO out of range: pos=%I64d", pos);
        return;
    }
    uint8_t h[fpt_memo_header_size];
    get_at(static_cast<int64_t>(pos), h, fpt_memo_header_size);
    uint32_t length = tk_be32(h + 4);
    tk_log_printf(1, "memo_len=%d", length);
    if (pos + fpt_memo_header_size + length > size_) {
        tk_log_printf(2, "MEMO has invalid size: %d", length);
        return;
    }
    if (length == 0) {
        tk_log_printf(1, "Got empty MEMO");
        return;
    }
    text.resize(length);
    get_at(static_cast<int64_t>(pos + fpt_memo_header_size), text.data(), length);
    cut_at_nul(text);
    tk_log_printf(1, "fpt_memo_file::read_memo - END");
}

void fpt_memo_file::check_writable() {
    // A next free block inside the header would overwrite it; one past the file's last
    // block would leave a hole of up to 4 GB before the first new memo.
    const uint64_t next = uint64_t{next_free_} * block_size_;
    if (next < fpt_header_size || next > (size_ + block_size_ - 1) / block_size_ * block_size_)
        memo_corrupted();
}

uint32_t fpt_memo_file::write_block(uint32_t block, const dbf_memo_source& memo) {
    const uint64_t n = memo.size();
    const uint64_t pos = uint64_t{block} * block_size_;
    if (pos < fpt_header_size) memo_corrupted();
    if (pos + fpt_memo_header_size + n > dbf_max_file_size) memo_full();
    const uint64_t blocks = (n + fpt_memo_header_size + block_size_ - 1) / block_size_;
    if (tk_log_on(1)) {
        tk_log_write("block_size=%d", block_size_);
        tk_log_write("pos=%I64d, memo_length=%I64d, n_blocks=%I64d", pos, n, blocks);
    }
    if (uint64_t{block} + blocks > UINT32_MAX) memo_full();

    // Memos are appended one after another, so small ones are gathered and written
    // together; the gaps up to each block boundary are zeros, as on disk.
    if (!pending_.empty() && pos < pending_pos_ + pending_.size()) flush_pending();
    if (n + fpt_memo_header_size <= gather_limit) {
        if (pending_.empty()) pending_pos_ = pos;
        pending_.resize(static_cast<size_t>(pos - pending_pos_), 0);
        const size_t at = pending_.size();
        // The memo's bytes are filled in whole below.
        pending_.resize(at + fpt_memo_header_size + static_cast<size_t>(n));
        tk_put_be32(pending_.data() + at, fpt_memo_type_text);
        tk_put_be32(pending_.data() + at + 4, static_cast<uint32_t>(n));
        memo.fill(0, pending_.data() + at + fpt_memo_header_size, static_cast<size_t>(n));
        size_ = std::max(size_, pos + fpt_memo_header_size + n);
        if (pending_.size() >= gather_limit) flush_pending();
        return static_cast<uint32_t>(blocks);
    }

    flush_pending();
    const size_t first =
        static_cast<size_t>(std::min<uint64_t>(n + fpt_memo_header_size, chunk_limit));
    if (chunk_.size() < first) chunk_.resize(first);
    tk_put_be32(chunk_.data(), fpt_memo_type_text);
    tk_put_be32(chunk_.data() + 4, static_cast<uint32_t>(n));
    memo.fill(0, chunk_.data() + fpt_memo_header_size, first - fpt_memo_header_size);
    put_at(static_cast<int64_t>(pos), chunk_.data(), static_cast<uint32_t>(first));
    for (uint64_t done = first - fpt_memo_header_size; done < n;) {
        auto piece = static_cast<size_t>(std::min<uint64_t>(n - done, chunk_limit));
        memo.fill(done, chunk_.data(), piece);
        put_at(static_cast<int64_t>(pos + fpt_memo_header_size + done), chunk_.data(),
               static_cast<uint32_t>(piece));
        done += piece;
    }
    size_ = std::max(size_, pos + fpt_memo_header_size + n);
    return static_cast<uint32_t>(blocks);
}

void fpt_memo_file::flush_pending() {
    if (pending_.empty()) return;
    put_at(static_cast<int64_t>(pending_pos_), pending_.data(),
           static_cast<uint32_t>(pending_.size()));
    pending_.clear();
}

void fpt_memo_file::flush() {
    flush_pending();
    if (stored_next_free_ != next_free_) {
        uint8_t b[4];
        tk_put_be32(b, next_free_);
        put_at(0, b, 4);
        stored_next_free_ = next_free_;
    }
}

void fpt_memo_file::restore_next_free(uint32_t next_free) {
    // The memos of a failed record are dropped from what is still to be written.
    const uint64_t end = uint64_t{next_free} * block_size_;
    if (!pending_.empty() && end < pending_pos_ + pending_.size())
        pending_.resize(end > pending_pos_ ? static_cast<size_t>(end - pending_pos_) : 0);
    next_free_ = next_free;
}

void fpt_memo_file::write_memo(uint32_t block, const std::string& text) {
    tk_log_printf(1, "fpt_memo_file::write_memo(%d,%s)", block, text);
    if (text.empty()) return;
    uint32_t used = write_block(block, dbf_bytes_source(text));
    next_free_ = block + used;
    flush();
}

fpt_memo_file::~fpt_memo_file() {
    // The table writer flushes explicitly and reports failures; this is the last resort.
    try {
        flush();
    } catch (const std::exception& e) {
        tk_log_printf(3, "Memo file '%s': %s", name(), e.what());
    }
}

uint32_t fpt_memo_file::append(const dbf_memo_source& memo) {
    uint32_t block = next_free_;
    next_free_ = block + write_block(block, memo);
    return block;
}

// ---------------------------------------------------------------- dBASE IV DBT

dbt_memo_file::dbt_memo_file(const std::string& file_name, int32_t mode)
    : dbf_memo_file(file_name, mode) {
    tk_log_printf(2, "dbt_memo_file::ctor");
    if (size_ < 24) memo_corrupted();
    uint8_t h[24];
    get_at(0, h, 24);
    block_size_ = tk_le16(h + 20);
    tk_log_printf(2, "DBT block size=%d", block_size_);
    if (block_size_ == 0) memo_corrupted();
}

void dbt_memo_file::read_memo(uint32_t block, std::string& text) {
    tk_log_printf(1, "dbt_memo_file::read_memo(%d)", block);
    text.clear();
    uint64_t pos = uint64_t{block} * block_size_;
    tk_log_printf(1, "Reading MEMO at position=%I64d", pos);
    if (pos + 8 > size_) {
        tk_log_printf(2, "Reading MEMO out of range: pos=%I64d", pos);
        return;
    }
    uint8_t h[8];
    get_at(static_cast<int64_t>(pos), h, 8);
    // The stored length counts the block's own 8 bytes.
    int64_t length = int64_t{tk_le32(h + 4)} - 8;
    tk_log_printf(1, "MEMO length=%d", length);
    if (length < 0 || pos + 8 + static_cast<uint64_t>(length) > size_) {
        tk_log_printf(2, "MEMO has invalid size: %d", length);
        return;
    }
    if (length == 0) {
        tk_log_printf(1, "Got empty MEMO");
        return;
    }
    text.resize(static_cast<size_t>(length));
    get_at(static_cast<int64_t>(pos + 8), text.data(), static_cast<uint32_t>(length));
    cut_at_nul(text);
}

// ---------------------------------------------------------------- dBASE III DBT

old_memo_file::old_memo_file(const std::string& file_name, int32_t mode)
    : dbf_memo_file(file_name, mode) {
    tk_log_printf(2, "old_memo_file::ctor");
    if (mode == tk_file_create) {
        // A whole 512-byte header: readers refuse shorter ones.
        uint8_t header[512] = {};
        tk_put_le32(header, 1);
        header[16] = 0x03;
        put_at(0, header, sizeof header);
        size_ = sizeof header;
        next_free_ = 1;
        return;
    }
    if (size_ < 4) memo_corrupted();
    next_free_ = get_ulong(0);
    tk_log_printf(2, "Next block=%d", next_free_);
    if (next_free_ == 0) throw dbf_exception("Failed to read MEMO field", tk_kind_continue);
}

void old_memo_file::read_memo(uint32_t block, std::string& text) {
    tk_log_printf(1, "old_memo_file::read_memo(%d)", block);
    uint64_t pos = uint64_t{block} * 512;
    tk_log_printf(1, "Reading MEMO at position=%I64d", pos);
    text.clear();
    if (pos >= size_) {
        tk_log_printf(2, "Reading MEMO out of range: pos=%I64d", pos);
        return;
    }
    read_until(pos, dbf_memo_end, text);
}

void old_memo_file::write_memo(uint32_t block, const std::string& text) {
    tk_log_printf(1, "old_memo_file::write_memo(%d,%s)", block, text);
    if (text.empty()) return;
    const uint64_t n = text.size();
    const uint64_t blocks = (n + 2 + 511) / 512;
    const uint64_t pos = uint64_t{block} * 512;
    tk_log_printf(1, "pos=%I64d, memo_length=%I64d, n_blocks=%I64d", pos, n, blocks);
    if (pos < 512) memo_corrupted();
    if (pos + n + 2 > dbf_max_file_size) memo_full();
    std::string data = text + "\x1A\x1A";
    put_at(static_cast<int64_t>(pos), data.data(), static_cast<uint32_t>(data.size()));
    size_ = std::max(size_, pos + data.size());
    next_free_ = static_cast<uint32_t>(block + blocks);
    uint8_t b[4];
    tk_put_le32(b, next_free_);
    put_at(0, b, 4);
}

// ---------------------------------------------------------------- SMT

smt_memo_file::smt_memo_file(const std::string& file_name, int32_t mode)
    : dbf_memo_file(file_name, mode) {
    tk_log_printf(2, "smt_memo_file::ctor");
    if (size_ < 512) memo_corrupted();
    block_size_ = get_ulong(4);
}

uint32_t smt_memo_file::get_block_number(const uint8_t* field, size_t size) {
    tk_log_printf(1, "smt_memo_file::get_block_number");
    if (!field) throw tk_mail_assertion("dbf_memo.cpp", 384);
    if (size < 10) return 0;
    if (std::all_of(field, field + 10, [](uint8_t b) { return b == ' '; })) {
        tk_log_printf(1, "No MEMO block!");
        return 0;
    }
    return tk_le32(field + 6);
}

void smt_memo_file::read_memo(uint32_t block, std::string& text) {
    tk_log_printf(1, "smt_memo_file::read_memo(%d)", block);
    uint64_t pos = uint64_t{block} * block_size_;
    tk_log_printf(1, "Reading MEMO at position=%I64d", pos);
    text.clear();
    if (pos >= size_) {
        tk_log_printf(2, "Reading MEMO out of range: pos=%I64d", pos);
        return;
    }
    read_until(pos, 0, text);
}
