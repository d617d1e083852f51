// One open DBF table: its header and fields, its memo file, a cursor over its records,
// and the writer that appends records to it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TK/tk_file.hpp"
#include "UDB/udb_rs.hpp"
#include "dbf/dbf_cp.hpp"
#include "dbf/dbf_format.hpp"
#include "dbf/dbf_memo.hpp"
#include "dbf/dbf_rec.hpp"
#include "dbf/dbf_type.hpp"

// One field as the writer encodes it, worked out once per table.
struct dbf_write_field {
    char letter;
    uint8_t length;
    uint8_t decimals;
    uint8_t pad_scale;  // decimals completed in exact numbers: N's own, 0 for F
    uint32_t offset;
    uint32_t width;
    int32_t column;  // -1 for a null-flags field, which gets zeros
    // The value of the record it takes: the one at `column` unless the rows come by name.
    int32_t source;
};

// The files of a table written anew: written under temporary names beside the files
// they become, which commit moves into place.
struct dbf_new_files {
    std::wstring name;        // the table's name in its database
    std::wstring table;       // the table file it becomes
    std::wstring memo;        // the memo file it becomes; empty for a table without memo
    std::wstring table_temp;  // where it is written
    std::wstring memo_temp;
};

class dbf_recordset : public udb_recordset {
  public:
    // Open mode 1 reads the table; mode 8 reads it and appends to it (only tables whose
    // every field the writer encodes exactly are accepted); any other mode opens the
    // file and reads nothing. A user code page (a code-page mark) other than 0 takes
    // the place of the header's.
    dbf_recordset(const std::wstring& full_path, uint32_t open_mode, uint8_t user_code_page);
    // A new table written under the temporary names of `files` (which must hold a table's
    // header, and an empty memo file when `files.memo` is set), opened for appending.
    dbf_recordset(const dbf_new_files& files, uint8_t user_code_page);
    // A table opened for appending and destroyed without commit is left as it was: the
    // records and memos appended to an existing table are cut off again, and the
    // temporary files of a new table are removed.
    ~dbf_recordset() override;

    void append_record(const udb_record& record) override;
    // Writes the records and memos gathered so far, without counting them in the
    // headers yet; raises the file error.
    void flush() override;
    // Makes the appended records part of the table: writes what is gathered, then the
    // memo file's next free block and the table's record count, after which the files
    // are closed. With `durable`, the records are on disk before they are counted (or,
    // in a new table, before it is moved into place): an earlier table it replaces is
    // never traded for one a crash could leave unwritten. A new table still needs its
    // database's commit_table to take its place. Then nothing more is appended (a kind-1
    // error) or read (get_item gives null).
    void commit(bool durable);
    // The files of a new table, for its database to move into place; null for a table
    // appended to where it stands. Each file left is removed when the recordset goes.
    dbf_new_files* new_files() { return new_files_ ? &*new_files_ : nullptr; }
    // What the values of the records appended so far lost.
    void add_losses_to(udb_losses& sum) const override;
    // The current record, kept by the recordset until the next call; null at the end.
    udb_record* get_item() override;
    bool is_eof() override { return current_ >= count_; }
    void next() override { ++current_; }
    void prev() override {
        if (current_ > 0) --current_;
    }
    void reset() override { current_ = 0; }

    // Long field names from the database container, when one is open.
    void refine_from_dbc();

    uint8_t get_version() const { return version_; }
    uint32_t get_record_count() const { return count_; }
    uint32_t get_record_length() const { return record_length_; }
    uint8_t get_code_page_mark() const { return mark_; }
    int32_t get_memo_kind() const { return memo_kind_; }
    const std::vector<dbf_read_descriptor>& get_descriptors() const { return descriptors_; }
    const std::vector<dbf_field_info>& get_fields() const { return fields_; }
    // The value of each appended record that each column of the schema takes
    // (`sources[column]`), worked out once per table; by default its own position.
    void take_values_from(const std::vector<int32_t>& sources);

  protected:
    // Whether opening this table may follow a back-link to a database container.
    bool is_container() const { return (flags_ & dbf_flag_container) != 0 && dbf_is_vfp(version_); }

  private:
    void open_table();
    void read_descriptors(const std::vector<uint8_t>& head, uint32_t first, uint32_t step,
                          uint32_t& stop);
    void fd7_post_process(const dbf_read_descriptor& fd);
    void read_back_link(const std::vector<uint8_t>& head, uint32_t stop);
    void choose_memo_kind();
    // The companion file of the table with that extension.
    std::wstring companion(const wchar_t* extension) const;
    void init_memo_file();
    void init_indexes();
    void prepare_append();
    // What the table file and the memo file hold after their last record and memo (up to
    // a limit), for roll_back to put back.
    void note_ends();
    // Puts the table back as it was opened; failures are only logged.
    void roll_back() noexcept;
    // Throws the exception being handled again; a file error of a new table's temporary
    // file is then said of the file it becomes, the one its user knows.
    [[noreturn]] void rethrow_named() const;
    [[noreturn]] void bad_format(const char* trace);

    std::unique_ptr<tk_huge_file> file_;
    uint32_t open_mode_;
    uint8_t user_code_page_;
    uint8_t version_ = 0;
    uint8_t flags_ = 0;
    uint8_t mark_ = 0;
    uint32_t count_ = 0;
    uint32_t header_length_ = 0;
    uint32_t record_length_ = 0;
    uint32_t current_ = 0;
    int32_t memo_kind_ = dbf_memo_none;
    const dbf_codec* codec_ = nullptr;
    std::unique_ptr<dbf_memo_file> memo_;
    fpt_memo_file* fpt_ = nullptr;  // memo_ when it is an FPT file
    std::vector<dbf_read_descriptor> descriptors_;
    std::vector<dbf_field_info> fields_;
    std::unique_ptr<dbf_record> record_;
    std::vector<uint8_t> read_buffer_;
    std::vector<dbf_write_field> plan_;
    bool appendable_ = false;
    // Records appended but not yet written, and the count the header holds.
    static constexpr size_t batch_bytes = 256 * 1024;
    std::vector<uint8_t> pending_;
    uint32_t stored_count_ = 0;
    // What the run's appending changes, and what puts it back.
    std::optional<dbf_new_files> new_files_;
    bool committed_ = false;
    int64_t table_size_ = 0;       // the table file's size when opened
    std::string table_tail_;       // its bytes after the last record
    int64_t memo_size_ = 0;        // the memo file's size when opened
    uint32_t memo_next_free_ = 0;  // and its next free block
    std::string memo_tail_;        // its bytes from that block on
    udb_losses losses_;
};

// Whether the first bytes of a file (up to 64 KiB of them) are a DBF table's header: a
// version byte of the format, field descriptors ended by the terminator inside the
// header, a header that fits in the file and records of one byte at least. The records
// are not looked at: a table cut short is still a table.
bool dbf_is_table_header(const std::string& head, uint64_t file_size);
