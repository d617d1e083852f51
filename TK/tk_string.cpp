#include "TK/tk_string.hpp"

#include <cerrno>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "platform/text.hpp"

namespace {

template <class S>
S trim_right_of(const S& s) {
    auto end = s.find_last_not_of(static_cast<typename S::value_type>(' '));
    if (end == S::npos) {
        if (!s.empty()) tk_log_printf(1, "Special processing for all-spaces-string");
        return S();
    }
    return S(s.substr(0, end + 1));
}

template <class S>
S trim_left_of(const S& s) {
    auto start = s.find_first_not_of(static_cast<typename S::value_type>(' '));
    return start == S::npos ? S() : S(s.substr(start));
}

template <class S>
void replace_all_in(S& s, const S& search, const S& replacement) {
    if (search.empty()) return;  // nothing to find; scanning would never advance
    for (size_t pos = s.find(search); pos != S::npos;
         pos = s.find(search, pos + replacement.size())) {
        s.replace(pos, search.size(), replacement);
    }
}

template <class V>
V up_to_nul(V v) {
    auto n = v.find(typename V::value_type(0));
    return n == V::npos ? v : v.substr(0, n);
}

}  // namespace

tk_string tk_string::trim_right() const {
    return trim_right_of<std::string>(*this);
}
tk_string tk_string::trim_left() const {
    return trim_left_of<std::string>(*this);
}
tk_string tk_string::trim() const {
    return tk_string(trim_right()).trim_left();
}

tk_string tk_string::pad_left(size_t width, char pad) {
    tk_log_printf(1, "tk_string::pad_left(%d)", width);
    if (size() < width) insert(0, width - size(), pad);
    return *this;
}

tk_string tk_string::pad_right(size_t width, char pad) {
    tk_log_printf(1, "tk_string::pad_right(%d)", width);
    if (size() < width) append(width - size(), pad);
    return *this;
}

tk_string tk_string::replace_all(const std::string& search, const std::string& replacement) {
    tk_log_printf(1, "tk_string::replace_all('%s','%s')", search, replacement);
    replace_all_in<std::string>(*this, search, replacement);
    return *this;
}

std::vector<std::string> tk_string::split(char separator) const {
    std::vector<std::string> pieces;
    std::string_view s = up_to_nul(std::string_view(*this));
    if (s.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(separator, start);
        if (pos == std::string_view::npos) {
            pieces.emplace_back(s.substr(start));
            break;
        }
        pieces.emplace_back(s.substr(start, pos - start));
        start = pos + 1;
    }
    return pieces;
}

tk_wstring tk_wstring::trim_right() const {
    return trim_right_of<std::wstring>(*this);
}
tk_wstring tk_wstring::trim_left() const {
    return trim_left_of<std::wstring>(*this);
}
tk_wstring tk_wstring::trim() const {
    return tk_wstring(trim_right()).trim_left();
}

tk_wstring tk_wstring::replace_all(const std::wstring& search, const std::wstring& replacement) {
    tk_log_wprintf(1, L"tk_wstring::replace_all(%s,%s)", search, replacement);
    replace_all_in<std::wstring>(*this, search, replacement);
    return *this;
}

tk_wstring tk_wstring::to_lower() {
    tk_log_wprintf(1, L"tk_wstring::to_lower(%s)", static_cast<const std::wstring&>(*this));
    for (wchar_t& c : *this) {
        if (c == 0) break;
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    }
    return *this;
}

bool tk_wstring::ends_with(std::wstring_view s, std::wstring_view suffix, bool exact) {
    if (suffix.empty()) return true;
    if (suffix.size() > s.size()) return false;
    std::wstring_view tail = s.substr(s.size() - suffix.size());
    return exact ? tail == suffix : pt::iequal(tail, suffix);
}

bool tk_iequal(std::wstring_view a, std::wstring_view b) {
    return pt::iequal(a, b);
}

std::wstring tk_grouped(uint64_t n) {
    const std::wstring digits = std::to_wstring(n);
    std::wstring out;
    out.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += L',';
        out += digits[i];
    }
    return out;
}

std::wstring tk_ansi_to_unicode(std::string_view text, int code_page) {
    std::wstring out;
    if (!pt::cp_decode(code_page, up_to_nul(text), out))
        throw tk_exception_ex("Cannot convert to UNICODE string", tk_kind_continue, EINVAL);
    return out;
}

std::wstring tk_utf8_to_unicode(std::string_view text) {
    return pt::utf8_decode(up_to_nul(text));
}

std::string tk_unicode_to_ansi(std::wstring_view text, int code_page) {
    std::string out;
    if (!pt::cp_encode(code_page, up_to_nul(text), out))
        throw tk_exception_ex("Cannot convert to ANSI string", tk_kind_continue, EINVAL);
    return out;
}

std::string tk_unicode_to_utf8(std::wstring_view text) {
    return pt::utf8_encode(up_to_nul(text));
}

bool tk_to_wide(const char* text, std::wstring& out) {
    if (!text) return false;
    out = pt::utf8_decode(text);
    return true;
}

bool tk_unicode_to_ansi1(const wchar_t* text, std::string& out) {
    if (!text) return false;
    std::wstring_view v(text);
    out = pt::utf8_encode(v);
    tk_log_printf(1, "n_ansi=%d, n_unicode=%d", out.size(), v.size());
    return true;
}

bool tk_unicode_to_ansi2(const wchar_t* text, std::string& out) {
    tk_log_printf(1, "tk_unicode_to_ansi2");
    if (!text) return false;
    out = pt::utf8_encode(text);
    return true;
}

bool tk_unicode_to_ansi3(std::wstring_view text, std::string& out) {
    out = pt::utf8_encode(up_to_nul(text));
    tk_log_printf(1, "tk_unicode_to_ansi3 - return true");
    return true;
}
