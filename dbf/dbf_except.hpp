// The DBF engine's exceptions. A dbf_exception raised while a record is read or
// appended concerns that record only: the run reports it and goes on.
#pragma once

#include <string>

#include "TK/tk_except.hpp"

class dbf_exception : public tk_exception {
  public:
    explicit dbf_exception(const std::string& text, int32_t kind = tk_kind_continue)
        : tk_exception(text, kind) {}
};

class dbf_no_memo_exception : public dbf_exception {
  public:
    dbf_no_memo_exception() : dbf_exception("Memo file not found", tk_kind_continue) {}
};

// The texts the engine raises more than once.
inline constexpr const char* dbf_bad_format_text = "File does not comply with DBF format";
inline constexpr const char* dbf_bad_memo_text = "Memo file is corrupted";
inline constexpr const char* dbf_not_conform_text =
    "The structure of data source does not conform to the destination table.";
