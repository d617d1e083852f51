#include "dbf/dbf_vali.hpp"

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

size_t utf8_length(wchar_t c) {
    auto u = static_cast<uint32_t>(c);
    return u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
}

size_t utf8_length(const std::wstring& s) {
    size_t n = 0;
    for (wchar_t c : s) n += utf8_length(c);
    return n;
}

// Cuts at a character boundary so that the UTF-8 form takes at most max bytes.
void cut_to_bytes(std::wstring& s, size_t max) {
    size_t n = 0, i = 0;
    for (; i < s.size(); ++i) {
        n += utf8_length(s[i]);
        if (n > max) break;
    }
    s.resize(i);
}

// The file name is the table name and ".dbf"; most file systems take 255 bytes.
constexpr size_t table_name_bytes = 255 - 4;

}  // namespace

dbf_validator::dbf_validator(uint32_t max_length) : udb_validator(max_length) {
    tk_log_printf(1, "dbf_validator::ctor");
}

bool dbf_validator::is_legal_char(wchar_t c) {
    return c == L'_' || c == L'-' || pt::is_alnum(c);
}

bool dbf_validator::is_acceptable(const std::wstring& name) {
    tk_log_wprintf(2, L"dbf_validator::is_acceptable(%s)", name);
    if (max_length_ != 0 && name.size() > max_length_) {
        tk_log_printf(2, ">>> not acceptable (too long)!");
        return false;
    }
    if (max_bytes_ != 0 && utf8_length(name) > max_bytes_) {
        tk_log_printf(2, ">>> not acceptable (too long)!");
        return false;
    }
    for (wchar_t c : name) {
        if (!is_legal_char(c)) {
            tk_log_printf(2, ">>> not acceptable (illegal symbol)!");
            return false;
        }
    }
    // Names used already in this run (and device names) are reserved, so that two
    // names that differ only in case never share one file.
    for (const auto& word : reserved_words_) {
        if (tk_iequal(name, word)) {
            tk_log_printf(2, ">>> not acceptable (reserved)!");
            return false;
        }
    }
    tk_log_printf(2, ">>> acceptable!");
    return true;
}

std::wstring dbf_validator::get_safe_name(const std::wstring& name) {
    tk_log_wprintf(2, L"dbf_validator::get_safe_name(%s)", name);
    std::wstring safe = name;
    if (safe.empty() || !pt::is_alpha(safe[0])) safe.insert(0, 1, L'A');
    if (max_length_ != 0 && safe.size() > max_length_) safe.resize(max_length_);
    if (max_bytes_ != 0) cut_to_bytes(safe, max_bytes_);
    for (wchar_t& c : safe)
        if (!is_legal_char(c)) c = L'_';
    if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

    if (max_length_ != 0 && safe.size() > max_length_ - 3) safe.resize(max_length_ - 3);
    if (max_bytes_ != 0) cut_to_bytes(safe, max_bytes_ - 3);
    for (int counter = 0; counter <= 999; ++counter) {
        std::wstring candidate = tk_wformat(L"%s%03d", safe, counter);
        if (is_acceptable(candidate) && !is_duplicated(candidate)) return candidate;
    }
    throw tk_mail_assertion("dbf_vali.cpp", 53);
}

dbf_fn_validator::dbf_fn_validator(const udb_schema& columns) : dbf_validator(10) {
    tk_log_printf(1, "dbf_fn_validator::ctor");
    for (size_t i = 0; i < columns.size(); ++i) add_existing_name(columns[i].name);
}

bool dbf_fn_validator::is_acceptable(const std::wstring& name) {
    tk_log_wprintf(1, L"dbf_fn_validator::is_acceptable(%s)", name);
    if (!dbf_validator::is_acceptable(name)) return false;
    return !name.empty() && !(name[0] >= L'0' && name[0] <= L'9');
}

dbf_tn_validator::dbf_tn_validator(const std::vector<std::wstring>& names,
                                   const std::vector<std::wstring>& more_names)
    : dbf_validator(0) {
    tk_log_printf(2, "dbf_tn_validator::ctor");
    max_bytes_ = table_name_bytes;
    for (const auto& n : names) add_existing_name(n);
    for (const auto& n : more_names) add_existing_name(n);
    // Device names of Windows: such a file would be unusable there.
    for (const wchar_t* d : {L"CON", L"PRN", L"AUX", L"NUL"}) reserved_words_.emplace_back(d);
    for (int i = 1; i <= 9; ++i) {
        reserved_words_.push_back(tk_wformat(L"COM%d", i));
        reserved_words_.push_back(tk_wformat(L"LPT%d", i));
    }
}

bool dbf_tn_validator::is_acceptable(const std::wstring& name) {
    return !name.empty() && dbf_validator::is_acceptable(name);
}
