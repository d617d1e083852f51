#include "UDB/udb_nmap.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/text.hpp"

namespace {

// Simple case folding maps one character to one, so positions stay the same.
std::wstring folded(std::wstring_view s) {
    std::wstring out(s);
    for (wchar_t& c : out) c = pt::fold_case(c);
    return out;
}

}  // namespace

void udb_names_map::add_tn_mapping(const std::wstring& name, const std::wstring& mapped) {
    tk_log_wprintf(2, L"udb_names_map::add_tn_mapping(%s,%s)", name, mapped);
    table_names_.insert_or_assign(name, mapped);
}

void udb_names_map::add_fn_map(const std::wstring& table, const name_map& fields) {
    tk_log_wprintf(2, L"udb_names_map::add_fn_map(%s)", table);
    field_names_.insert_or_assign(table, fields);
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& name,
                                               bool case_sensitive) const {
    tk_log_wprintf(1, L"udb_names_map::get_tn_mapped_name(%s)", name);
    for (const auto& [source, mapped] : table_names_) {
        tk_log_wprintf(1, L"Comparing with (%s,%s)", source, mapped);
        if (case_sensitive ? source == name : tk_iequal(source, name)) {
            tk_log_wprintf(1, L"Got mapped name: %s", mapped);
            return mapped;
        }
    }
    return name;
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table,
                                               const std::wstring& field) const {
    tk_log_wprintf(1, L"udb_names_map::get_fn_mapped_name(%s,%s)", table, field);
    auto t = field_names_.find(table);
    if (t == field_names_.end()) {
        tk_log_wprintf(1, L"Table '%s' not found", table);
        return field;
    }
    auto f = t->second.find(field);
    if (f == t->second.end()) return field;
    tk_log_wprintf(1, L"Got mapped name: %s", f->second);
    return f->second;
}

std::wstring udb_names_map::do_global_replace2(const std::wstring& text, const name_map& map,
                                               const std::wstring& prefix,
                                               const std::wstring& suffix) {
    tk_log_wprintf(2, L"udb_names_map::do_global_replace2(%s)", text);
    std::wstring out = text;
    for (const auto& [old_name, new_name] : map) {
        if (old_name.empty()) continue;  // an empty name matches everywhere and never ends
        std::wstring replacement;
        if (!prefix.empty() && !new_name.starts_with(prefix)) replacement += prefix;
        replacement += new_name;
        if (!suffix.empty() && !new_name.ends_with(suffix)) replacement += suffix;
        tk_log_wprintf(1, L"Testing pair ('%s','%s')", old_name, replacement);

        const std::wstring old_folded = folded(old_name);
        const std::wstring replacement_folded = folded(replacement);
        std::wstring haystack = folded(out);
        size_t pos = haystack.find(old_folded);
        while (pos != std::wstring::npos) {
            tk_log_wprintf(1, L"'%s' was found at pos=%d", old_name, pos);
            size_t end = pos + old_name.size();
            bool whole = (pos == 0 || !pt::is_alnum(out[pos - 1])) &&
                         (end == out.size() || !pt::is_alnum(out[end]));
            if (whole) {
                out.replace(pos, old_name.size(), replacement);
                haystack.replace(pos, old_name.size(), replacement_folded);
                end = pos + replacement.size();
            }
            pos = haystack.find(old_folded, end);
        }
    }
    return out;
}

std::wstring udb_names_map::do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                               const std::wstring& suffix) const {
    tk_log_wprintf(2, L"udb_names_map::do_global_replace1(%s)", text);
    std::wstring out = do_global_replace2(text, table_names_, prefix, suffix);
    for (const auto& [table, fields] : field_names_)
        out = do_global_replace2(out, fields, prefix, suffix);
    return out;
}
