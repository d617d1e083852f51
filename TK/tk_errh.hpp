// The process-wide reporter of errors. Declared down here because the engines report
// the failures they survive through it; the reporting itself (`handle`) has one
// body per program, defined by the program (and by the test programs).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "TK/tk_errco.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_singl.hpp"

class error_handler : public tk_singleton<error_handler> {
  public:
    error_handler(int count, const tk_error_record* table);
    ~error_handler() override = default;

    // The context prefixes every message: a table, or a table and a record.
    void set_context(const std::wstring& table);
    void set_record_context(const std::wstring& table, uint64_t record);
    void set_context_text(const std::string& text) { context_ = text; }
    const std::string& get_context() const { return context_; }

    // Context, ": ", then the code's text when the code has one, else what().
    std::string build_message(const tk_exception& e) const;
    // What the user is shown: every line feed of the message becomes a blank.
    static std::string on_one_line(std::string message);

    // Reports one exception: returns, throws tk_final_exception, or ends the process.
    void handle(const tk_exception& e, bool outermost);

    // Written by the worker's reports and read by the GUI thread's.
    std::atomic<bool> do_not_show{false};

  private:
    std::string context_;
    tk_error_converter texts_;
};

// The MySQL errors that have a text of their own (0x400000 + error number).
extern const tk_error_record error_handler_codes[];
extern const int error_handler_code_count;
