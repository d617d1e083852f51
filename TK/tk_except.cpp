#include "TK/tk_except.hpp"

#include "TK/tk_log.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"

tk_exception::tk_exception(const std::string& text, int32_t kind)
    : message_(text.empty() ? "Unknown exception" : text), kind_(kind) {}

tk_exception::tk_exception(const std::wstring& text, int32_t kind)
    : message_(pt::utf8_encode(text)), kind_(kind) {}

tk_exception::tk_exception(int32_t kind) : message_("Unknown exception"), kind_(kind) {}

tk_exception_ex::tk_exception_ex(const std::string& text, int32_t kind, int os_error)
    : tk_exception(kind) {
    set_code(static_cast<uint32_t>(os_error));
    std::string sys = pt::error_text(os_error);
    if (sys.empty()) return;  // stays "Unknown exception"
    // The caller's text says what failed, the system's text why, set apart as in every
    // other message: "Cannot write profile /p.mvl: Permission denied".
    set_message(text.empty() ? sys : text + ": " + sys);
    tk_log_printf(2, "GetLastError: %s", sys);
}

std::string make_err_meggase(const char* file, int line) {
    tk_log_printf(2, "make_err_meggase(%s, %d)", file ? file : "", line);
    std::string pos = std::string(file ? file : "") + "\\" + std::to_string(line);
    tk_log_printf(2, "result=%s", pos);
    static const char hex[] = "0123456789abcdef";
    std::string out = "Internal error: \ncode=";
    out.reserve(out.size() + 2 * pos.size());
    for (unsigned char c : pos) {
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
    }
    return out;
}

tk_mail_assertion::tk_mail_assertion(const char* file, int line)
    : tk_exception(make_err_meggase(file, line), tk_kind_internal) {
    tk_log_printf(2, "tk_mail_assertion::ctor(%s)", file ? file : "");
}

tk_final_exception::tk_final_exception() {
    tk_log_printf(2, "tk_final_exception::ctor");
}
