// A cursor over one table, query result or server listing, and the writer of one
// table. The base gives the default of every operation; the engines override.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "UDB/udb_ftd.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_rec.hpp"

class udb_database;

// What the values of one table lost on the way in ways the README documents, counted so
// that the table's output can sum them up.
struct udb_losses {
    uint64_t unencodable = 0;  // texts with characters the code page lacks, written as '?'
    uint64_t fractions = 0;    // date-times written without their fractional seconds
    uint64_t zero_dates = 0;   // zero dates written as blank dates
    int32_t code_page = 0;     // the code page of the texts
    bool any() const { return unencodable || fractions || zero_dates; }
};

class udb_recordset {
  public:
    udb_recordset(udb_database* owner, const std::wstring& name, const std::wstring& query,
                  bool flag);
    udb_recordset(udb_database* owner, const std::wstring& name, bool flag);
    explicit udb_recordset(const std::wstring& name);
    virtual ~udb_recordset();
    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;

    virtual void append_record(const udb_record& record) = 0;
    // Writes what appended records are still held in memory; raises the file error.
    virtual void flush() {}
    virtual void update(const std::wstring& key, const udb_record& record);
    virtual void update(const udb_record& record);
    // The current record, which the recordset keeps; null when there is none.
    virtual udb_record* get_item();
    virtual bool is_eof();
    virtual bool is_query() const { return !query_.empty(); }
    virtual void move_to(uint32_t position);
    virtual void next() {}
    virtual void prev() {}
    virtual void reset() {}
    virtual void delete_key(const std::wstring& key) { (void)key; }
    virtual void delete_key(const udb_record& record) { (void)record; }
    // A new record of the key values of the given record, or null when the record
    // lacks a key field. Raises kind 1 when the table has no key.
    virtual std::unique_ptr<udb_record> get_key(const udb_record& record);
    // A condition from a tagged list of key values ("<id>5</id><name>x</name>"): a number
    // stands bare only for a numeric column, bytes only as a hexadecimal literal ("0x...",
    // X'' when empty); every other value is quoted.
    virtual std::wstring get_filter_subquery(const std::wstring& text);

    // Records one key or index; the primary key, else the first unique index, is the key.
    void add_index(const udb_index& index);

    const std::wstring& get_name() const { return name_; }
    const std::wstring& get_query_text() const { return query_; }
    udb_schema& get_schema() { return schema_; }
    const udb_schema& get_schema() const { return schema_; }
    udb_indexes& get_indexes() { return indexes_; }
    const udb_indexes& get_indexes() const { return indexes_; }
    int32_t get_key_index() const { return key_index_; }
    udb_database* get_owner() const { return owner_; }
    // The number of records the source expects to deliver, for progress only; the
    // end of the data is what is_eof says.
    uint64_t get_rec_count() const { return rec_count_; }
    // A source may count its records while they are read: false until get_rec_count
    // holds the count. Never waits.
    virtual bool is_rec_count_known() { return true; }
    // Waits for the count, one taken aside while the records stream at most `patience`:
    // true once get_rec_count holds it. A count that failed stays unknown; it costs no
    // record.
    virtual bool wait_rec_count(std::chrono::milliseconds patience) {
        (void)patience;
        return true;
    }
    // Adds what the values read or written so far lost (udb_losses) to `sum`.
    virtual void add_losses_to(udb_losses& sum) const { (void)sum; }

  protected:
    std::wstring query_;
    std::wstring name_;
    int32_t key_index_ = -1;
    udb_schema schema_;
    udb_indexes indexes_;
    udb_database* owner_ = nullptr;
    uint64_t rec_count_ = 0;
};

// Reads a tagged list of key values ("<id>5</id><name>x</name>"): `column` is called at
// the end of each opening tag with the element's name, `value` when the element is
// complete with its name and value. The closing tag's name is not read.
void udb_scan_key_text(
    const std::wstring& text, const std::function<void(const std::wstring& name)>& column,
    const std::function<void(const std::wstring& name, const std::wstring& value)>& value);
// A key value with &lt;, &gt; and &amp; as the characters they stand for.
std::wstring udb_unentity(const std::wstring& value);
