// The hook through which user rules could spell a column's type or a value's text
// on the MySQL write side. No program registers rules, so it answers "no rule".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "TK/tk_singl.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"

class udb_conversion_rule {
  public:
    virtual ~udb_conversion_rule() = default;
    virtual bool accepts_field(const udb_field& field) const = 0;
    virtual bool accepts_column(const t_ftd& column) const = 0;
    virtual std::wstring value_text(const udb_field& field) const = 0;
    virtual std::wstring type_text(const t_ftd& column) const = 0;
};

// The process-wide rule list.
class udb_rule_list : public tk_singleton<udb_rule_list> {
  public:
    std::vector<std::unique_ptr<udb_conversion_rule>> rules;
};

class udb_custom_conversion {
  public:
    static bool is_acceptable1(const t_ftd& column);
    static std::wstring handle1(const t_ftd& column);
    static bool is_acceptable2(const udb_field& field);
    static std::wstring handle2(const udb_field& field);
};
