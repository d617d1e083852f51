// Name rules of DBF field names and table (file) names.
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_ftd.hpp"
#include "UDB/udb_vali.hpp"

class dbf_validator : public udb_validator {
  public:
    explicit dbf_validator(uint32_t max_length);

    // Letters and digits of any script, "_" and "-"; reserved names are refused.
    bool is_acceptable(const std::wstring& name) override;
    std::wstring get_safe_name(const std::wstring& name) override;

    static bool is_legal_char(wchar_t c);

  protected:
    // A limit on the name's UTF-8 bytes (0: none), for names that become file names.
    size_t max_bytes_ = 0;
};

// Field names: at most 10 characters, not empty, no leading digit.
class dbf_fn_validator : public dbf_validator {
  public:
    explicit dbf_fn_validator(const udb_schema& columns);
    bool is_acceptable(const std::wstring& name) override;
};

// Table names: no length limit of their own, but the file name must stay within what
// the file system takes, must not be empty and must not be a Windows device name.
class dbf_tn_validator : public dbf_validator {
  public:
    dbf_tn_validator(const std::vector<std::wstring>& names,
                     const std::vector<std::wstring>& more_names);
    bool is_acceptable(const std::wstring& name) override;
};
