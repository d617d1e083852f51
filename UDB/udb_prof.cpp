#include "UDB/udb_prof.hpp"

#include <cerrno>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"

udb_profile::udb_profile() {
    for (const wchar_t* name :
         {udb_available_queries, udb_selected_tables, udb_selected_views, udb_generic_settings})
        sections_[name];
}

void udb_profile::set_value(const std::wstring& section, const std::wstring& key,
                            const std::wstring& value) {
    sections_[section].emplace_back(key, value);
}

void udb_profile::add_section(const std::wstring& section) {
    sections_[section];
}

std::wstring udb_profile::get_value(const std::wstring& section, const std::wstring& key) const {
    auto s = sections_.find(section);
    if (s == sections_.end()) return {};
    for (const auto& [k, v] : s->second)
        if (k == key) return v;
    return {};
}

bool udb_profile::load_line(std::string_view raw, std::wstring& current, bool& in_section) {
    std::wstring line = tk_utf8_to_unicode(raw);
    std::wstring trimmed = tk_wstring(line).trim();
    if (trimmed.size() >= 2 && trimmed.front() == L'[' && trimmed.back() == L']') {
        current = trimmed.substr(1, trimmed.size() - 2);
        in_section = true;
        add_section(current);
        return true;
    }
    size_t eq = trimmed.find(L'=');
    if (eq != std::wstring::npos) {
        if (!in_section) return false;
        // The value keeps its leading blanks.
        sections_[current].emplace_back(tk_wstring(trimmed.substr(0, eq)).trim(),
                                        trimmed.substr(eq + 1));
        return true;
    }
    if (trimmed.empty()) return true;
    if (!in_section) return false;
    // A bare line in "Selected Tables" is a selected table without a query.
    bare_lines_[current].push_back(line);
    sections_[current].emplace_back(trimmed, std::wstring());
    return true;
}

bool udb_profile::load(const std::wstring& path) {
    tk_log_wprintf(2, L"udb_profile::load(%s)", path);
    if (!tk_is_file_exist2(path, tk_exist_file))
        throw tk_exception("Profile does not exist. Please verify the correct path/name was given.",
                           tk_kind_error);
    const std::string file = tk_unicode_to_utf8(path);
    std::string bytes;
    bool opened = false;
    if (int err = pt::read_file(file, bytes, &opened))
        throw tk_exception_ex((opened ? "Cannot read profile " : "Cannot open profile ") + file,
                              tk_kind_error, err);
    std::string_view rest(bytes);
    // Editors that save UTF-8 with a byte-order mark put it before the first line.
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    return parse(rest);
}

bool udb_profile::parse(std::string_view rest) {
    std::wstring current;
    bool in_section = false;
    while (!rest.empty()) {
        size_t nl = rest.find('\n');
        std::string_view raw = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        if (!load_line(raw, current, in_section)) return false;
    }
    return true;
}

std::wstring udb_profile::line_of(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& value) {
    // A plain selected table is written as a bare name.
    if (section == udb_selected_tables && value.empty()) return key + L"\r\n";
    return key + L"=" + value + L"\r\n";
}

udb_pairs udb_profile::unreadable_entries() const {
    udb_pairs found;
    for (const auto& [name, pairs] : sections_) {
        const std::wstring head = L"[" + name + L"]\r\n";
        for (const auto& pair : pairs) {
            // The entry alone under its section line, read as load() reads a file.
            udb_profile back;
            const bool read =
                back.parse(pt::utf8_encode(head + line_of(name, pair.first, pair.second)));
            bool same = read;
            for (const auto& [other, got] : back.sections_)
                same = same && (other == name ? got == udb_pairs{pair} : got.empty());
            if (!same) found.emplace_back(name, pair.first);
        }
    }
    return found;
}

void udb_profile::store(const std::wstring& path) const {
    tk_log_printf(2, "udb_profile::store)");
    std::wstring text;
    for (const auto& [name, pairs] : sections_) {
        text += L"[" + name + L"]\r\n";
        for (const auto& [key, value] : pairs) text += line_of(name, key, value);
        text += L"\r\n";
    }
    for (const auto& [name, lines] : bare_lines_) {
        text += L"[" + name + L"]\r\n";
        for (const auto& line : lines) text += line + L"\r\n";
    }
    const std::string file = tk_unicode_to_utf8(path);
    if (int err = pt::replace_file(file, pt::utf8_encode(text), 0600))
        throw tk_exception_ex("Cannot write profile " + file, tk_kind_error, err);
}
