#include "UDB/udb_prof.hpp"

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

namespace {

template <class T>
const T* find_named(std::span<const T> list, const std::wstring& name) {
    for (const T& item : list)
        if (tk_iequal(item.name, name)) return &item;
    return nullptr;
}

bool value_fits(udb_value_rule rule, const std::wstring& v) {
    switch (rule) {
        case udb_value_rule::flag:
            return v.empty() || v == L"0" || v == L"1";
        case udb_value_rule::mode:
            return v.empty() || (v.size() == 1 && v[0] >= L'0' && v[0] <= L'3');
        case udb_value_rule::any:
        case udb_value_rule::exact:
            break;
    }
    return true;
}

// A name or value as a message shows it: a runaway one is cut.
std::wstring shown(const std::wstring& text) {
    if (text.size() <= udb_max_name_length) return L"'" + text + L"'";
    return L"'" + text.substr(0, udb_max_name_length) + L"\u2026'";
}

}  // namespace

std::wstring udb_unpadded(std::wstring_view text) {
    constexpr std::wstring_view padding = L" \t\r";
    const size_t first = text.find_first_not_of(padding);
    if (first == std::wstring_view::npos) return {};
    return std::wstring(text.substr(first, text.find_last_not_of(padding) - first + 1));
}

std::wstring udb_name_over_limit(const std::wstring& name, size_t limit) {
    if (name.size() <= limit) return {};
    return L"a name of " + std::to_wstring(name.size()) + L" characters, " + shown(name) +
           L"; the server allows at most " + std::to_wstring(limit) + L".";
}

struct udb_profile::load_state {
    std::span<const udb_profile_section> rules;
    std::wstring file;
    size_t line = 0;
    std::wstring current;
    bool in_section = false;
    const udb_profile_section* section = nullptr;                  // the current section's rules
    std::map<std::pair<std::wstring, std::wstring>, size_t> seen;  // known keys: their line

    [[noreturn]] void refuse(const std::wstring& what) const {
        throw tk_exception(L"Profile " + file + L", line " + std::to_wstring(line) + L": " + what,
                           tk_kind_error);
    }
};

void udb_profile::add_pair(load_state& s, std::wstring key, std::wstring value,
                           const std::wstring* bare) {
    if (const udb_profile_section* rules = s.section) {
        if (rules->keys.empty()) {
            if (rules->name_limit && key.size() > rules->name_limit)
                s.refuse(udb_name_over_limit(key, rules->name_limit));
        } else {
            const udb_profile_key* known = find_named(rules->keys, key);
            if (!known) s.refuse(L"unknown setting " + shown(key) + L" in [" + s.current + L"].");
            key = known->name;
            if (known->rule != udb_value_rule::exact) value = udb_unpadded(value);
            if (!value_fits(known->rule, value))
                s.refuse(shown(key) + L" takes " +
                         (known->rule == udb_value_rule::flag ? L"0 or 1" : L"0, 1, 2 or 3") +
                         L", not " + shown(value) + L".");
            auto [first, fresh] = s.seen.emplace(std::pair(s.current, key), s.line);
            if (!fresh)
                s.refuse(shown(key) + L" is given a second time; line " +
                         std::to_wstring(first->second) + L" gives it first.");
        }
    }
    if (bare) bare_lines_[s.current].push_back(*bare);
    sections_[s.current].emplace_back(std::move(key), std::move(value));
}

bool udb_profile::load_line(std::string_view raw, load_state& s) {
    std::wstring line;
    if (s.rules.empty()) {
        line = tk_utf8_to_unicode(raw);
    } else if (pt::utf8_decode_into(raw, line) || line.find(L'\0') != std::wstring::npos) {
        s.refuse(L"this line is not UTF-8 text.");
    }
    const std::wstring trimmed = udb_unpadded(line);
    if (trimmed.size() >= 2 && trimmed.front() == L'[' && trimmed.back() == L']') {
        s.current = trimmed.substr(1, trimmed.size() - 2);
        if (!s.rules.empty()) {
            s.section = find_named(s.rules, s.current);
            if (!s.section) s.refuse(L"unknown section [" + s.current + L"].");
            s.current = s.section->name;
        }
        s.in_section = true;
        add_section(s.current);
        return true;
    }
    size_t eq = line.find(L'=');
    if (eq != std::wstring::npos) {
        if (!s.in_section) return false;
        // The value keeps its leading blanks, and tabs at its end, until its rule says.
        add_pair(s, udb_unpadded(std::wstring_view(line).substr(0, eq)),
                 tk_wstring(line.substr(eq + 1)).trim_right(), nullptr);
        return true;
    }
    if (trimmed.empty()) return true;
    if (!s.in_section) return false;
    // A bare line in "Selected Tables" is a selected table without a query.
    add_pair(s, trimmed, std::wstring(), &line);
    return true;
}

bool udb_profile::load(const std::wstring& path, std::span<const udb_profile_section> rules) {
    tk_log_wprintf(2, L"udb_profile::load(%s)", path);
    const std::string bytes = tk_read_input_file(
        tk_unicode_to_utf8(path),
        {"Profile", "Profile does not exist. Please verify the correct path/name was given.",
         "a profile"});
    std::string_view rest(bytes);
    // Editors that save UTF-8 with a byte-order mark put it before the first line.
    if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
    load_state s;
    s.rules = rules;
    s.file = path;
    return parse(rest, s);
}

bool udb_profile::parse(std::string_view rest, load_state& s) {
    while (!rest.empty()) {
        size_t nl = rest.find('\n');
        std::string_view raw = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        ++s.line;
        if (!load_line(raw, s)) return false;
    }
    return true;
}

std::wstring udb_profile::line_of(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& value) {
    // A plain selected table is written as a bare name.
    if (section == udb_selected_tables && value.empty()) return key + L"\r\n";
    return key + L"=" + value + L"\r\n";
}

udb_pairs udb_profile::unreadable_entries(std::span<const udb_profile_section> rules) const {
    udb_pairs found;
    for (const auto& [name, pairs] : sections_) {
        const std::wstring head = L"[" + name + L"]\r\n";
        for (const auto& pair : pairs) {
            // The entry alone under its section line, read as load() reads a file.
            udb_profile back;
            load_state s;
            s.rules = rules;
            bool read = false;
            try {
                read =
                    back.parse(pt::utf8_encode(head + line_of(name, pair.first, pair.second)), s);
            } catch (const tk_exception&) {
                // Refused by the rules: it would not load at all.
            }
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
