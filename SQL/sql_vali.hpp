// MySQL's rules for the names of fields, indexes and tables: servers from 4.1.0 on
// forbid a few punctuation characters; older servers allow letters, digits, "_" and "$"
// only, and refuse their reserved words.
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_ftd.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_vali.hpp"

class sql_new_validator : public udb_validator {
  public:
    sql_new_validator();
    bool is_acceptable(const std::wstring& name) override;
    std::wstring get_safe_name(const std::wstring& name) override;

  protected:
    // The first `count` characters of the forbidden-character table.
    void forbid(size_t count);
};

class sql_new_fn_validator : public sql_new_validator {
  public:
    explicit sql_new_fn_validator(const udb_record& record);
    explicit sql_new_fn_validator(const udb_schema& schema);
};

class sql_new_in_validator : public sql_new_validator {
  public:
    explicit sql_new_in_validator(const udb_indexes& indexes);
};

class sql_new_tn_validator : public sql_new_validator {
  public:
    sql_new_tn_validator(const std::vector<std::wstring>& names1,
                         const std::vector<std::wstring>& names2);
};

class sql_old_validator : public udb_validator {
  public:
    sql_old_validator();
    bool is_acceptable(const std::wstring& name) override;
    std::wstring get_safe_name(const std::wstring& name) override;
};

class sql_old_fn_validator : public sql_old_validator {
  public:
    explicit sql_old_fn_validator(const udb_record& record);
    explicit sql_old_fn_validator(const udb_schema& schema);
};

class sql_old_in_validator : public sql_old_validator {
  public:
    explicit sql_old_in_validator(const udb_indexes& indexes);
};

class sql_old_tn_validator : public sql_old_validator {
  public:
    sql_old_tn_validator(const std::vector<std::wstring>& names1,
                         const std::vector<std::wstring>& names2);
};
