// The schema of a table about to be created on the server. A row may not exceed 65535
// bytes apart from its long text and BLOB columns, so when a new column pushes the
// estimate past that, the largest text columns become unlimited text until it fits.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "UDB/udb_ftd.hpp"

class sql_schema : public udb_schema {
  public:
    sql_schema();

    // Appends the column and applies the rule.
    void push_back(std::unique_ptr<t_ftd> column);

    uint32_t total_size() const { return total_size_; }
    // Positions of the text columns that may still become unlimited text, largest first.
    const std::vector<uint32_t>& lobs() const { return lobs_; }

  private:
    uint32_t total_size_ = 0;
    std::vector<uint32_t> lobs_;
};
