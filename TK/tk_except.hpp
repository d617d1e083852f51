// The system's exception family. The thrower picks the kind; the error handler is
// the one place that reports.
#pragma once

#include <cerrno>
#include <cstdint>
#include <exception>
#include <string>

// Kinds: 0 the run may go on, 1 serious (the run stops), 2 internal error.
enum : int32_t { tk_kind_continue = 0, tk_kind_error = 1, tk_kind_internal = 2 };

class tk_exception : public std::exception {
  public:
    tk_exception(const std::string& text, int32_t kind);
    tk_exception(const char* text, int32_t kind)
        : tk_exception(std::string(text ? text : ""), kind) {}
    // Wide text is stored in the system code page; an empty text stays empty.
    tk_exception(const std::wstring& text, int32_t kind);
    tk_exception(const wchar_t* text, int32_t kind)
        : tk_exception(std::wstring(text ? text : L""), kind) {}
    explicit tk_exception(int32_t kind);

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }
    uint32_t code() const noexcept { return code_; }
    int32_t kind() const noexcept { return kind_; }

  protected:
    void set_message(std::string m) { message_ = std::move(m); }
    void set_code(uint32_t c) { code_ = c; }

  private:
    std::string message_;
    uint32_t code_ = 0;
    int32_t kind_;
};

// An operating-system failure: the code is the OS error number (captured by the
// caller's default argument before anything else can change errno) and the message
// is the caller's text, ": " and the system's text (the system's text alone when the
// caller gives none).
class tk_exception_ex : public tk_exception {
  public:
    explicit tk_exception_ex(const std::string& text, int32_t kind = tk_kind_error,
                             int os_error = errno);
    tk_exception_ex() : tk_exception_ex(std::string(), tk_kind_error, errno) {}
};

// A broken internal rule. Carries only the encoded source position, built from the
// literal file names the code gives (never __FILE__), since users report it.
class tk_mail_assertion : public tk_exception {
  public:
    tk_mail_assertion(const char* file, int line);
};

// "Internal error: \ncode=" followed by the hex encoding of "file\line".
std::string make_err_meggase(const char* file, int line);

// Ends a run after the user chose Abort; deliberately outside the tk_exception family
// so that no per-table or per-record handler takes it.
class tk_final_exception : public std::exception {
  public:
    tk_final_exception();
    const char* what() const noexcept override { return "std::exception"; }
};

// Raises tk_mail_assertion when the condition does not hold.
#define TK_ASSERT(cond, file, line)                             \
    do {                                                        \
        if (!(cond)) throw ::tk_mail_assertion((file), (line)); \
    } while (0)
