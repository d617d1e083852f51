#include "TK/tk_errh.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

namespace {

const char* const connect_text =
    "Cannot connect to the MySQL server. Check to verify that MySQL server\nis launched and the "
    "correct host/port values were given.";
const char* const auth_text =
    "The program does not support authentication protocol requested by server.\nSee "
    "'Troubleshooting' article of the product documentation.";

}  // namespace

const tk_error_record error_handler_codes[] = {
    {0x400414,
     "Access denied. Ask your system administrator to grant you\nthe necessary privileges to "
     "write into the database."},
    {0x400415,
     "Access denied. Verify the user name and password are correct, and you have\nthe necessary "
     "privileges to connect to the target MySQL server."},
    {0x400426,
     "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' "
     "article of the product documentation\nfor solution."},
    {0x40042F,
     "Primary key in the original database is too long.\nRestart the program with \"Skip "
     "converting indexes\"\ncheckbox selected in order to resolve the conflict.\n"},
    {0x40046A,
     "You are not allowed to connect to the destination MySQL server.\nAsk your system "
     "administrator to grant you necessary privileges\nto create new databases on target MySQL "
     "server."},
    {0x40041B,
     "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a "
     "different destination name."},
    // The MariaDB client reports a refused TCP connection as 2002 where other client
    // libraries say 2003; the user needs the same help for both.
    {0x4007D2, connect_text},
    {0x4007D3, connect_text},
    {0x4007D5, connect_text},
    {0x4007D6,
     "Transferred value is too big. Increase MySQL max packet size and try\nagain. See "
     "'Troubleshooting' article of the product documentation."},
    {0x4004E1, auth_text},
    {0x4004E2, auth_text},
    {0x4004E3, auth_text},
};
const int error_handler_code_count =
    static_cast<int>(sizeof error_handler_codes / sizeof error_handler_codes[0]);

namespace {

thread_local error_handler_gate* thread_gate = nullptr;

}  // namespace

void error_handler::settle_gate() {
    if (thread_gate) thread_gate->settle();
}

error_handler::gate_scope::gate_scope(error_handler_gate& gate) : previous_(thread_gate) {
    thread_gate = &gate;
}

error_handler::gate_scope::~gate_scope() {
    thread_gate = previous_;
}

error_handler::error_handler(int count, const tk_error_record* table) : texts_(count, table) {
    tk_log_printf(2, "error_handler::ctor");
}

void error_handler::set_context(const std::wstring& table) {
    context_ = tk_unicode_to_ansi(table);
}

void error_handler::set_record_context(const std::wstring& table, uint64_t record) {
    context_ = tk_unicode_to_ansi(tk_wformat(L"%s, record #%d", table, record));
}

std::string error_handler::build_message(const tk_exception& e) const {
    std::string message;
    if (!context_.empty()) message = context_ + ": ";
    return message + text_of(e);
}

std::string error_handler::text_of(const tk_exception& e) const {
    std::string text = texts_.convert(static_cast<int32_t>(e.code()));
    return text.empty() ? std::string(e.what()) : text;
}

std::string error_handler::on_one_line(std::string message) {
    for (char& c : message)
        if (c == '\n') c = ' ';
    return message;
}
