// A conversion's settings as a profile file: named sections of key=value lines, UTF-8,
// CR LF line ends.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using udb_pair = std::pair<std::wstring, std::wstring>;
using udb_pairs = std::vector<udb_pair>;

inline constexpr const wchar_t* udb_available_queries = L"Available Queries";
inline constexpr const wchar_t* udb_selected_tables = L"Selected Tables";
inline constexpr const wchar_t* udb_selected_views = L"Selected Views";
inline constexpr const wchar_t* udb_generic_settings = L"Generic settings";

class udb_profile {
  public:
    // Starts with the four sections above, empty.
    udb_profile();

    // Appends the pair (keys may repeat), creating the section when missing.
    void set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    void add_section(const std::wstring& section);
    // The value of the first pair whose key matches exactly; empty when there is none.
    std::wstring get_value(const std::wstring& section, const std::wstring& key) const;

    udb_pairs& available_queries() { return sections_[udb_available_queries]; }
    udb_pairs& selected_tables() { return sections_[udb_selected_tables]; }
    udb_pairs& selected_views() { return sections_[udb_selected_views]; }

    // Adds the file's content to what the profile holds. False when content comes before
    // the first section line (what was read until then stays). A missing file, or one
    // that cannot be opened or read, raises a kind-1 error.
    bool load(const std::wstring& path);
    // Writes the profile (mode 0600, it holds the password) as a whole: a failed store
    // raises a kind-1 error and leaves an earlier file as it was.
    void store(const std::wstring& path) const;
    // The entries that the file store() writes would not give back as they are (blanks
    // around a key, a line that reads as a section or as another key and value, a line
    // break in a text), as pairs of section and key, in the order they are held.
    udb_pairs unreadable_entries() const;

    const std::map<std::wstring, udb_pairs>& sections() const { return sections_; }
    // Lines without "=" as they were read, by section.
    const std::map<std::wstring, std::vector<std::wstring>>& bare_lines() const {
        return bare_lines_;
    }

  private:
    // The lines of a file's text, after its byte-order mark.
    bool parse(std::string_view text);
    bool load_line(std::string_view raw, std::wstring& current, bool& in_section);
    // One pair as store() writes it, with its line end.
    static std::wstring line_of(const std::wstring& section, const std::wstring& key,
                                const std::wstring& value);

    std::map<std::wstring, udb_pairs> sections_;
    std::map<std::wstring, std::vector<std::wstring>> bare_lines_;
};
