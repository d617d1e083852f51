// A conversion's settings as a profile file: named sections of key=value lines, UTF-8,
// CR LF line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
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

// The longest table or view name the server allows, in characters.
inline constexpr size_t udb_max_name_length = 64;

// The text without the blanks, tabs and CRs at either end that an editor leaves unseen.
std::wstring udb_unpadded(std::wstring_view text);

// Empty for a name of at most `limit` characters; else what a message says of it.
std::wstring udb_name_over_limit(const std::wstring& name, size_t limit = udb_max_name_length);

// What a program reads from a profile, so that a misspelt section or key, or a value the
// program would misread, is refused rather than silently passed over.
// Blanks, tabs and CRs around a value are no part of it (a file written by hand as
// "dest = /data/out" means /data/out), unless the rule is `exact`.
enum class udb_value_rule : uint8_t {
    any,
    exact,  // as written after "=" up to the blanks that end the line (a password's)
    flag,   // "0" or "1"
    mode,   // "0" to "3"
};
struct udb_profile_key {
    const wchar_t* name;
    udb_value_rule rule;
};
struct udb_profile_section {
    const wchar_t* name;
    // The keys the section knows; none: every key is a name of its own (a table).
    std::span<const udb_profile_key> keys;
    // The longest such name, in characters; 0: any length.
    size_t name_limit = 0;
};

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
    // the first section line (what was read until then stays). A missing file, a folder,
    // one that cannot be opened or read, or one over tk_input_max_bytes raises a kind-1
    // error. With rules, a line that is not UTF-8 text, a section or key the rules do not
    // know, a value its rule refuses, a name over its limit and a key given twice raise a
    // kind-1 error that names the line. Known names match without regard to case and are
    // kept as the rules spell them. Section names, keys and bare names are read without
    // blanks, tabs and CRs at either end; values as their rules say (without rules: with
    // the blanks after "=").
    bool load(const std::wstring& path, std::span<const udb_profile_section> rules = {});
    // Writes the profile (mode 0600, it holds the password) as a whole: a failed store
    // raises a kind-1 error and leaves an earlier file as it was.
    void store(const std::wstring& path) const;
    // The entries that the file store() writes would not give back as they are, read
    // with these rules (blanks around a key or a value the rules trim, a line that reads
    // as a section or as another key and value, a line break in a text, a name or value
    // the rules refuse), as pairs of section and key, in the order they are held.
    udb_pairs unreadable_entries(std::span<const udb_profile_section> rules = {}) const;

    const std::map<std::wstring, udb_pairs>& sections() const { return sections_; }
    // Lines without "=" as they were read, by section.
    const std::map<std::wstring, std::vector<std::wstring>>& bare_lines() const {
        return bare_lines_;
    }

  private:
    struct load_state;
    // The lines of a file's text, after its byte-order mark.
    bool parse(std::string_view text, load_state& s);
    bool load_line(std::string_view raw, load_state& s);
    void add_pair(load_state& s, std::wstring key, std::wstring value, const std::wstring* bare);
    // One pair as store() writes it, with its line end.
    static std::wstring line_of(const std::wstring& section, const std::wstring& key,
                                const std::wstring& value);

    std::map<std::wstring, udb_pairs> sections_;
    std::map<std::wstring, std::vector<std::wstring>> bare_lines_;
};
