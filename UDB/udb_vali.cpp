#include "UDB/udb_vali.hpp"

#include <algorithm>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

udb_validator::udb_validator(uint32_t max_length) : max_length_(max_length) {
    tk_log_printf(2, "udb_validator::ctor");
}

bool udb_validator::is_acceptable(const std::wstring& name) {
    tk_log_wprintf(2, L"udb_validator::is_acceptable(%s)", name);
    if (max_length_ != 0 && name.size() > max_length_) {
        tk_log_printf(1, "The name is too long");
        return false;
    }
    for (const auto& word : reserved_words_) {
        if (tk_iequal(name, word)) {
            tk_log_printf(2, "The name is restricted");
            return false;
        }
    }
    for (wchar_t c : forbidden_chars_) {
        if (name.find(c) != std::wstring::npos) {
            tk_log_wprintf(2, L"The name contains illegal: %c", c);
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) {
    tk_log_wprintf(2, L"udb_validator::is_duplicated(%s)", name);
    for (const auto& existing : existing_names_) {
        tk_log_wprintf(1, L"Processing %s", existing);
        if (tk_iequal(existing, name)) {
            tk_log_printf(2, "Name is duplicated");
            return true;
        }
    }
    return false;
}

std::wstring udb_validator::get_safe_name(const std::wstring& name) {
    tk_log_wprintf(1, L"udb_validator::get_safe_name(%s)", name);
    // Lower-casing is pinned to A-Z so that safe names do not depend on the environment.
    tk_wstring safe(name);
    safe.to_lower();
    if (max_length_ != 0 && safe.size() > max_length_) safe.resize(max_length_ - 1);
    for (wchar_t c : forbidden_chars_) std::replace(safe.begin(), safe.end(), c, L'_');
    if (is_acceptable(safe) && !is_duplicated(safe)) return safe;

    if (max_length_ >= 6 && safe.size() > max_length_ - 5) safe.resize(max_length_ - 6);
    for (int counter = 0; counter <= 99999; ++counter) {
        std::wstring candidate = tk_wformat(L"%s%05d", safe, counter);
        if (is_acceptable(candidate) && !is_duplicated(candidate)) return candidate;
    }
    throw tk_mail_assertion("udb_vali.cpp", 55);
}

void udb_validator::add_existing_name(const std::wstring& name) {
    tk_log_wprintf(1, L"udb_validator::add_existing_name(%s)", name);
    existing_names_.push_back(name);
}

void udb_validator::add_mapped_pair(const std::wstring& name, const std::wstring& mapped) {
    tk_log_wprintf(1, L"udb_validator::add_mapped_pair(%s,%s)", name, mapped);
    tk_log_wprintf(1, L"t_names_map::add(%s,%s)", name, mapped);
    mapped_pairs_.insert_or_assign(name, mapped);
}
