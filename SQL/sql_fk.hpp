// Foreign keys read from a table's CREATE TABLE text, and the names under which a
// record's fields can stand in MySQL statements.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UDB/udb_idx.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_vali.hpp"

class sql_fk_parser {
  public:
    // create_text: what SHOW CREATE TABLE gives for the table.
    sql_fk_parser(const std::wstring& table, const std::wstring& create_text);
    sql_fk_parser(const std::wstring& table, std::string_view utf8_create_text);

    // Appends one relationship per foreign-key constraint line, in text order. Only
    // lines that begin with CONSTRAINT are read; text it cannot read is skipped.
    void do_parse(std::vector<udb_relationship>& list) const;

    // Appends the backtick-quoted names of the text ("``" stands for one backtick).
    static bool get_columns(const std::wstring& text, std::vector<std::wstring>& out);

  private:
    std::wstring table_;
    std::vector<std::wstring> chunks_;
};

class sql_field_finder {
  public:
    explicit sql_field_finder(const udb_record& record);
    void initialize(const udb_record& record);
    // Position of the name (case ignored) in the names list, or -1.
    int32_t get_field_idx(const std::wstring& name) const;
    const std::vector<std::wstring>& names() const { return names_; }

  private:
    std::unique_ptr<udb_validator> validator_;
    std::vector<std::wstring> names_;
};

// The referential rule of a foreign key as it may stand in ALTER TABLE: up to one
// ON DELETE and one ON UPDATE clause with RESTRICT, CASCADE, SET NULL, SET DEFAULT or
// NO ACTION, in capitals. False for any other text, which is never written.
bool sql_fk_rule(const std::wstring& text, std::wstring& rule);
