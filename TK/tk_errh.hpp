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

// What the reports of one thread wait for: a run that learns something of a table late
// (its record count) owes the user that before anything else of the table is reported.
// settle() may raise the error to report in place of the one at hand.
class error_handler_gate {
  public:
    virtual void settle() = 0;

  protected:
    ~error_handler_gate() = default;
};

class error_handler : public tk_singleton<error_handler> {
  public:
    error_handler(int count, const tk_error_record* table);
    ~error_handler() override = default;

    // The context prefixes every message: a table, or a table and a record.
    void set_context(const std::wstring& table);
    void set_record_context(const std::wstring& table, uint64_t record);
    void set_context_text(const std::string& text) { context_ = text; }
    const std::string& get_context() const { return context_; }

    // Context, ": ", then text_of.
    std::string build_message(const tk_exception& e) const;
    // The code's text when the code has one, else what().
    std::string text_of(const tk_exception& e) const;
    // What the user is shown: every line feed of the message becomes a blank.
    static std::string on_one_line(std::string message);

    // Reports one exception: returns, throws tk_final_exception, or ends the process.
    // Each program's body begins with settle_gate(), which may raise the error to
    // report in place of this one.
    void handle(const tk_exception& e, bool outermost);

    // Settles the calling thread's gate, when it has one.
    static void settle_gate();
    // While it lives, the reports of the constructing thread settle `gate` first.
    class gate_scope {
      public:
        explicit gate_scope(error_handler_gate& gate);
        ~gate_scope();
        gate_scope(const gate_scope&) = delete;
        gate_scope& operator=(const gate_scope&) = delete;

      private:
        error_handler_gate* previous_;
    };

    // Written by the worker's reports and read by the GUI thread's.
    std::atomic<bool> do_not_show{false};

  private:
    std::string context_;
    tk_error_converter texts_;
};

// The MySQL errors that have a text of their own (0x400000 + error number).
extern const tk_error_record error_handler_codes[];
extern const int error_handler_code_count;
