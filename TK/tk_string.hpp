// Narrow and wide string utilities and the code-page conversions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class tk_string : public std::string {
  public:
    tk_string() = default;
    tk_string(const std::string& s) : std::string(s) {}
    tk_string(std::string&& s) : std::string(std::move(s)) {}
    tk_string(const char* s) : std::string(s ? s : "") {}

    // Only the space is a blank; a string of spaces only becomes empty.
    tk_string trim_right() const;
    tk_string trim_left() const;
    tk_string trim() const;
    // Change the string in place and return a copy.
    tk_string pad_left(size_t width, char pad);
    tk_string pad_right(size_t width, char pad);
    tk_string replace_all(const std::string& search, const std::string& replacement);
    // Pieces between separators, empty ones kept; stops at an embedded NUL.
    std::vector<std::string> split(char separator) const;
};

class tk_wstring : public std::wstring {
  public:
    tk_wstring() = default;
    tk_wstring(const std::wstring& s) : std::wstring(s) {}
    tk_wstring(std::wstring&& s) : std::wstring(std::move(s)) {}
    tk_wstring(const wchar_t* s) : std::wstring(s ? s : L"") {}

    tk_wstring trim_right() const;
    tk_wstring trim_left() const;
    tk_wstring trim() const;
    tk_wstring replace_all(const std::wstring& search, const std::wstring& replacement);
    // Lower-cases A-Z only, up to the first NUL, whatever the environment's locale
    // (safe file names must not depend on it). In place, and a copy returned.
    tk_wstring to_lower();

    // An empty suffix is true; exact compares code units, otherwise case is ignored.
    static bool ends_with(std::wstring_view s, std::wstring_view suffix, bool exact);
};

// Name equality without regard to case (simple case folding, fixed locale).
bool tk_iequal(std::wstring_view a, std::wstring_view b);

// A count as people read it, its digits grouped by threes with commas ("82,432"),
// whatever the environment's locale.
std::wstring tk_grouped(uint64_t n);

// Code-page conversions. Code page -1 (and 0, 3) is the system code page, UTF-8.
// They stop at the first NUL of the input. Only an unsupported code page fails:
// tk_exception_ex of kind 0 with the texts below.
std::wstring tk_ansi_to_unicode(std::string_view text, int code_page = -1);
std::wstring tk_utf8_to_unicode(std::string_view text);
std::string tk_unicode_to_ansi(std::wstring_view text, int code_page = -1);
std::string tk_unicode_to_utf8(std::wstring_view text);

// The Boolean forms: false for a null text or a failed conversion.
bool tk_to_wide(const char* text, std::wstring& out);
bool tk_unicode_to_ansi1(const wchar_t* text, std::string& out);
bool tk_unicode_to_ansi2(const wchar_t* text, std::string& out);
bool tk_unicode_to_ansi3(std::wstring_view text, std::string& out);
