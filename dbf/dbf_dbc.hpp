// The Visual FoxPro database container: long field names of the tables that belong to it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "dbf/dbf_rs.hpp"

// ASCII case ignored: the common length first, then the shorter name first.
struct dbf_name_less {
    bool operator()(const std::string& a, const std::string& b) const;
};

class dbf_dbc : public dbf_recordset {
  public:
    using field_map = std::map<std::string, std::string, dbf_name_less>;  // short -> long

    dbf_dbc(const std::wstring& full_path, uint8_t user_code_page);
    ~dbf_dbc() override;

    // The long names of a table's fields, or null when the container has none.
    const field_map* find_table(const std::string& table) const;

  private:
    void initialize();

    std::map<std::string, field_map, dbf_name_less> tables_;
    std::map<int32_t, std::string> ids_;
};
