// A table's structure as it travels between the engines: one field type descriptor
// per column, in column order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ole/ole_var.hpp"

// The sub-kinds that refine a descriptor's VARTYPE, kept in its `reserved` field; the
// MySQL and DBF engines read and write them by these names only.
// Dates and times, in the low two bits; 0 is a date-time kept as text (a TIMESTAMP).
constexpr int32_t udb_date_time = 1, udb_date_only = 2, udb_time_only = 3;
constexpr int32_t udb_date_kind_mask = 3;
// A date column whose default is the current time (a date-time, by its low bits), the
// current date or the current time of day.
constexpr int32_t udb_current_time = 9, udb_current_date = 10, udb_current_time_of_day = 11;
// 64-bit integers.
constexpr int32_t udb_signed = 1, udb_unsigned = 2;
// Texts: a geometry (marked 2, or 8 by earlier writers), a CHAR of fixed width.
constexpr int32_t udb_geometry = 2, udb_geometry_old = 8, udb_fixed_char = 16;

struct t_ftd {
    t_ftd(int32_t size, const std::wstring& name, VARTYPE vartype, bool b_not_null, bool b_auto_num,
          const ole_variant& default_value = ole_variant(), int32_t reserved = 0,
          const std::wstring& aux_text = std::wstring());
    t_ftd() = default;

    // Type equality: decimal and currency are one type; texts also need equal sizes.
    bool operator==(const t_ftd& that) const;
    // Called on a source column: can its values be stored in the destination column?
    bool conform_to(const t_ftd& dest) const;

    int32_t size = 0;  // characters for text, bytes for BLOBs, display size otherwise; 0 = no limit
    int32_t precision = 0;
    int32_t scale = 0;
    std::wstring name;
    VARTYPE vartype = VT_EMPTY;
    std::wstring aux_text;
    bool b_auto_num = false;
    bool b_not_null = false;
    ole_variant default_value;
    int32_t reserved = 0;
    std::wstring description;
};

bool udb_is_numeric_vt(VARTYPE vt);  // 2-6, 11, 14, 16-23

// The date kind of a date column (udb_date_time, udb_date_only, udb_time_only, or 0).
inline int32_t udb_date_kind(const t_ftd& c) {
    return c.reserved & udb_date_kind_mask;
}
// A text column that holds a geometry.
inline bool udb_is_geometry_mark(const t_ftd& c) {
    return c.reserved == udb_geometry || c.reserved == udb_geometry_old;
}
bool udb_is_text_vt(VARTYPE vt);  // 8, 30, 31
// A text column of a geometry, as the server's columns are read.
inline bool udb_is_geometry(const t_ftd& c) {
    return udb_is_text_vt(c.vartype) && udb_is_geometry_mark(c);
}
bool udb_is_blob_vt(VARTYPE vt);  // 65, 70, 8209

class udb_schema {
  public:
    explicit udb_schema(bool flag = true);
    virtual ~udb_schema();
    udb_schema(const udb_schema&) = delete;
    udb_schema& operator=(const udb_schema&) = delete;

    // The schema keeps the descriptors it is given and deletes them with itself.
    void push_back(std::unique_ptr<t_ftd> ftd);
    void push_back(const t_ftd& ftd) { push_back(std::make_unique<t_ftd>(ftd)); }
    void clear() { fields_.clear(); }
    size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    t_ftd& operator[](size_t i) { return *fields_[i]; }
    const t_ftd& operator[](size_t i) const { return *fields_[i]; }

    // Called on the source schema; by position unless by_name.
    bool conform_to(const udb_schema& dest, bool by_name) const;
    // Lookups ignore case; the first match wins.
    bool find_field(const std::wstring& name) const;
    // The descriptor of that name, or an empty descriptor that belongs to no schema.
    const t_ftd& get_field1(const std::wstring& name) const;
    const t_ftd& get_field2(const std::wstring& name) const;
    // Position of the column, or -1.
    int find_index(const std::wstring& name) const;
    uint32_t get_field_size(const std::wstring& name) const;  // 0xFFFFFFFF when missing
    VARTYPE get_field_type(const std::wstring& name) const;   // VT_NULL when missing

    bool flag() const { return flag_; }
    // The last value of the table's auto-number column, when the source reads it.
    int64_t auto_num_value = 1;
    int32_t reserved_value = 1;

  private:
    const t_ftd* lookup(const std::wstring& name) const;
    std::vector<std::unique_ptr<t_ftd>> fields_;
    bool flag_;
};
