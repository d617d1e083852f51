// One row as it travels from the source engine to the destination engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ole/ole_var.hpp"

class udb_field : public ole_variant {
  public:
    udb_field();
    udb_field(const std::wstring& name, uint32_t size, const ole_variant& value, bool flag1 = false,
              bool flag2 = false);
    udb_field(const std::wstring& name, uint32_t size, ole_variant&& value);
    udb_field(const udb_field& that);
    udb_field& operator=(const udb_field& that) = default;
    ~udb_field() override = default;

    VARTYPE get_type() const override;
    const std::wstring& get_name() const { return name_; }
    // Element count of a byte array, characters of a text, else the declared size.
    uint32_t get_length() const;
    uint32_t get_size() const { return size_; }
    ole_variant& value() { return *this; }
    const ole_variant& value() const { return *this; }

  protected:
    void set_size(uint32_t size) { size_ = size; }

  private:
    uint32_t size_ = 0;
    std::wstring name_;
    bool flag1_ = false;
    bool flag2_ = false;
};

class udb_record {
  public:
    udb_record() = default;
    virtual ~udb_record();
    udb_record(const udb_record&) = delete;
    udb_record& operator=(const udb_record&) = delete;

    void push_back(std::unique_ptr<udb_field> field) { fields_.push_back(std::move(field)); }
    size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    udb_field& operator[](size_t i) { return *fields_[i]; }
    const udb_field& operator[](size_t i) const { return *fields_[i]; }
    void clear() { fields_.clear(); }

    // Lookups ignore case; the first match wins.
    bool find_field(const std::wstring& name) const;
    // The field of that name, or an empty field that belongs to no record.
    const udb_field& get_field(const std::wstring& name) const;
    // Sum of the lengths of the fields that hold a value.
    uint32_t get_total_size() const;

  private:
    std::vector<std::unique_ptr<udb_field>> fields_;
};
