// One DBF record read into neutral fields.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UDB/udb_rec.hpp"
#include "dbf/dbf_cp.hpp"
#include "dbf/dbf_type.hpp"

class dbf_memo_file;

// A descriptor as the record reader and writer use it, worked out once per table.
struct dbf_field_info {
    dbf_read_descriptor fd;
    uint32_t offset = 0;  // of the field's first byte in the record (the flag is byte 0)
    uint32_t width = 0;   // bytes the field takes in the record
    uint32_t size = 0;    // dbf_get_size_2
    VARTYPE vartype = VT_EMPTY;
    std::wstring name;    // in wide text, through the table's code page
    int32_t column = -1;  // its column in the schema; -1 for a field the schema leaves out
};

class dbf_field : public udb_field {
  public:
    dbf_field(const uint8_t* bytes, const dbf_field_info& info, const dbf_codec& codec);
    // The value of a field's bytes (exactly info.width of them) by its letter.
    static ole_variant get_variant(const uint8_t* bytes, const dbf_field_info& info,
                                   const dbf_codec& codec);
};

class dbf_record : public udb_record {
  public:
    // data holds one whole record; the infos lie inside it (checked when the table opened).
    dbf_record(const std::vector<dbf_field_info>& fields, const uint8_t* data, dbf_memo_file* memo,
               const dbf_codec& codec);
    ~dbf_record() override;

    bool is_deleted() const { return deleted_; }
    std::unique_ptr<udb_field> get_memo_field(const dbf_field_info& info, const uint8_t* bytes,
                                              bool wide);

  private:
    dbf_memo_file* memo_;
    const dbf_codec& codec_;
    bool deleted_ = false;
};

// Julian day numbers of the proleptic Gregorian calendar (2451545 is 2000-01-01).
int64_t dbf_julian_day(int year, int month, int day);
void dbf_date_of_julian_day(int64_t day, int64_t& year, int& month, int& d);
