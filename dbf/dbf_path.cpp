#include "dbf/dbf_path.hpp"

#include <algorithm>
#include <atomic>

#include "platform/files.hpp"
#include "platform/text.hpp"

namespace {

std::atomic<uint64_t> listing_count{0};

}  // namespace

std::wstring dbf_folded(const std::wstring& name) {
    std::wstring key = name;
    for (wchar_t& c : key) c = pt::fold_case(c);
    return key;
}

std::wstring dbf_folder_of(const std::wstring& path) {
    size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring dbf_file_of(const std::wstring& path) {
    size_t slash = path.rfind(L'/');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring dbf_base_of(const std::wstring& path) {
    std::wstring file = dbf_file_of(path);
    size_t dot = file.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? file : file.substr(0, dot);
}

std::wstring dbf_memo_of(const std::wstring& table_path) {
    const std::wstring file = dbf_file_of(table_path);
    const std::wstring base = dbf_base_of(table_path);
    std::wstring extension = L"fpt";
    if (file.size() == base.size() + 4)
        for (size_t i = 0; i < 3; ++i) {
            const wchar_t c = file[base.size() + 1 + i];
            if (c >= L'A' && c <= L'Z') extension[i] = static_cast<wchar_t>(extension[i] - 32);
        }
    const size_t slash = table_path.rfind(L'/');
    const std::wstring prefix =
        slash == std::wstring::npos ? std::wstring() : table_path.substr(0, slash + 1);
    return prefix + base + L"." + extension;
}

dbf_entry dbf_entry_at(const std::wstring& path) {
    const std::string p = pt::utf8_encode(path);
    pt::path_status st;
    if (pt::stat_path(p, st, true) == 0)
        return st.kind == pt::path_kind::file ? dbf_entry::file : dbf_entry::other;
    // A link that leads nowhere is there all the same.
    return pt::stat_path(p, st, false) == 0 ? dbf_entry::other : dbf_entry::none;
}

bool dbf_listing::list(const std::wstring& folder, std::vector<dbf_folder_entry>* entries) {
    ++listing_count;
    names_.clear();
    std::vector<pt::folder_entry> found;
    if (pt::list_folder(folder.empty() ? "." : pt::utf8_encode(folder), found) != 0 &&
        found.empty())
        return false;
    std::vector<dbf_folder_entry> listed;
    for (const auto& e : found) {
        if (e.name == "." || e.name == "..") continue;
        bool ill_formed = false;
        std::wstring name = pt::utf8_decode(e.name, ill_formed);
        // A name that is not UTF-8 cannot be a table's: table names are text.
        if (ill_formed) continue;
        add(name);
        listed.push_back({std::move(name), e.kind});
    }
    std::sort(listed.begin(), listed.end(),
              [](const dbf_folder_entry& a, const dbf_folder_entry& b) { return a.name < b.name; });
    if (entries) *entries = std::move(listed);
    return true;
}

std::optional<std::wstring> dbf_listing::find(const std::wstring& name) const {
    auto it = names_.find(dbf_folded(name));
    if (it == names_.end()) return std::nullopt;
    if (it->second.count(name)) return name;
    return *it->second.begin();
}

bool dbf_listing::has_table(const std::wstring& base) const {
    auto it = names_.find(dbf_folded(base + L".dbf"));
    if (it == names_.end()) return false;
    for (const auto& file : it->second)
        if (dbf_base_of(file) == base) return true;
    return false;
}

std::optional<std::wstring> dbf_listing::companion(const std::wstring& table_file,
                                                   const std::wstring& extension) const {
    const std::wstring base = dbf_base_of(table_file);
    const std::wstring wanted = base + L"." + extension;
    auto it = names_.find(dbf_folded(wanted));
    if (it == names_.end()) return std::nullopt;
    if (it->second.count(wanted)) return wanted;
    // The table's own base name with the extension in another case comes first.
    for (const auto& file : it->second)
        if (dbf_base_of(file) == base) return file;
    for (const auto& file : it->second)
        if (!has_table(dbf_base_of(file))) return file;
    return std::nullopt;
}

void dbf_listing::add(const std::wstring& name) {
    names_[dbf_folded(name)].insert(name);
}

void dbf_listing::remove(const std::wstring& name) {
    auto it = names_.find(dbf_folded(name));
    if (it == names_.end()) return;
    it->second.erase(name);
    if (it->second.empty()) names_.erase(it);
}

uint64_t dbf_listing::listings() {
    return listing_count;
}

std::wstring dbf_companion(const std::wstring& path, const std::wstring& extension,
                           const dbf_listing* listing) {
    const std::wstring folder = dbf_folder_of(path);
    const std::wstring prefix =
        path.rfind(L'/') == std::wstring::npos ? std::wstring() : folder + L"/";
    const std::wstring name = dbf_base_of(path) + L"." + extension;
    pt::path_status st;
    if (pt::stat_path(pt::utf8_encode(prefix + name), st, false) == 0) return prefix + name;
    dbf_listing own;
    if (!listing) {
        own.list(folder.empty() && prefix.empty() ? L"." : prefix);
        listing = &own;
    }
    if (auto found = listing->companion(dbf_file_of(path), extension)) return prefix + *found;
    return prefix + name;
}
