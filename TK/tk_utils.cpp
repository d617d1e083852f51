#include "TK/tk_utils.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <unistd.h>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"

namespace {

bool is_valid_utf8(const std::string& s) {
    return pt::utf8_encode(pt::utf8_decode(s)) == s;
}

std::string current_dir() {
    std::string cwd(PATH_MAX, '\0');
    if (!getcwd(cwd.data(), cwd.size())) return {};
    cwd.resize(cwd.find('\0'));
    return cwd;
}

// Wildcard match without regard to case: '*' any run, '?' one character.
bool match_mask(std::wstring_view mask, std::wstring_view name) {
    size_t m = 0, n = 0, star = std::wstring_view::npos, back = 0;
    while (n < name.size()) {
        if (m < mask.size() &&
            (mask[m] == L'?' || pt::fold_case(mask[m]) == pt::fold_case(name[n]))) {
            ++m, ++n;
        } else if (m < mask.size() && mask[m] == L'*') {
            star = m++;
            back = n;
        } else if (star != std::wstring_view::npos) {
            m = star + 1;
            n = ++back;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == L'*') ++m;
    return m == mask.size();
}

}  // namespace

std::string tk_get_module_path() {
    std::string buf(PATH_MAX, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) throw tk_mail_assertion("tk_utils.cpp", 119);
    buf.resize(static_cast<size_t>(n));
    return buf;
}

std::wstring tk_get_module_file_name_w() {
    std::string p;
    try {
        p = tk_get_module_path();
    } catch (const tk_mail_assertion&) {
        throw tk_mail_assertion("tk_utils.cpp", 132);
    }
    return pt::utf8_decode(p);
}

std::string tk_get_program_folder() {
    std::string p = tk_get_module_path();
    return p.substr(0, p.rfind('/') + 1);
}

std::wstring tk_get_program_wfolder() {
    return pt::utf8_decode(tk_get_program_folder());
}

bool tk_is_file_exist1(const std::string& path, unsigned mode) {
    tk_log_printf(1, "tk_is_file_exist1(%s,%d)", path, mode);
    pt::path_status st;
    if (path.empty() || pt::stat_path(path, st) != 0 || st.kind == pt::path_kind::folder)
        return false;
    if (mode & tk_exist_writable) return st.writable;
    return true;
}

bool tk_is_file_exist2(const std::wstring& path, unsigned mode) {
    tk_log_wprintf(1, L"tk_is_file_exist2(%s,%08X)", path, mode);
    return tk_is_file_exist1(pt::utf8_encode(path), mode);
}

bool tk_is_path_exist(const std::string& path) {
    tk_log_printf(1, "tk_is_path_exist(%s)", path);
    if (path.empty()) return true;
    pt::path_status st;
    return pt::stat_path(path, st) == 0 && st.kind == pt::path_kind::folder;
}

bool tk_is_path_exist(const std::wstring& path) {
    tk_log_wprintf(1, L"tk_is_path_exist(%s)", path);
    return tk_is_path_exist(pt::utf8_encode(path));
}

bool tk_has_write_access(const std::string& folder) {
    return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) ==
           0;
}

bool tk_find_files(const std::wstring& folder, const std::wstring& mask,
                   std::vector<std::wstring>& names) {
    tk_log_wprintf(1, L"tk_temp_chdir::find_files(%s)", mask);
    names.clear();
    std::string dir = folder.empty() ? "." : pt::utf8_encode(folder);
    std::vector<pt::folder_entry> entries;
    if (pt::list_folder(dir, entries) != 0 && entries.empty()) {
        tk_log_printf(1, "No files found");
        return false;
    }
    bool matched = false;  // any entry at all, "." and folders included
    for (const auto& e : entries) {
        const std::string& n = e.name;
        if (!is_valid_utf8(n)) {
            tk_log_printf(1, "...ignored");
            continue;
        }
        std::wstring wn = pt::utf8_decode(n);
        if (!match_mask(mask, wn)) continue;
        matched = true;
        // A link counts as what it leads to, a dangling one as a file.
        if (n == "." || n == ".." || e.kind != pt::path_kind::file) continue;
        tk_log_wprintf(1, L"Found file: %s", wn);
        names.push_back(std::move(wn));
    }
    std::sort(names.begin(), names.end());
    if (!matched) {
        tk_log_printf(1, "No files found");
        return false;
    }
    tk_log_printf(1, "No more files");
    return true;
}

std::optional<std::wstring> tk_resolve_nocase(const std::wstring& folder,
                                              const std::wstring& name) {
    std::string dir = folder.empty() ? "." : pt::utf8_encode(folder);
    pt::path_status st;
    std::string exact = dir + "/" + pt::utf8_encode(name);
    if (pt::stat_path(exact, st, false) == 0) return name;
    std::vector<pt::folder_entry> entries;
    if (pt::list_folder(dir, entries) != 0 && entries.empty()) return std::nullopt;
    std::vector<std::wstring> found;
    for (const auto& e : entries) {
        const std::string& n = e.name;
        if (!is_valid_utf8(n)) continue;
        std::wstring wn = pt::utf8_decode(n);
        if (pt::iequal(wn, name)) found.push_back(std::move(wn));
    }
    if (found.empty()) return std::nullopt;
    // Several spellings may exist on a case-sensitive file system; take a fixed one.
    return *std::min_element(found.begin(), found.end());
}

std::wstring tk_join_path(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    if (folder.back() == L'/') return folder + name;
    return folder + L"/" + name;
}

tk_temp_chdir::tk_temp_chdir(const std::string& path) {
    tk_log_printf(1, "tk_temp_chdir::ctor");
    initialize(path.empty() ? tk_get_program_folder() : path);
}

void tk_temp_chdir::initialize(const std::string& path) {
    tk_log_printf(1, "tk_temp_chdir::initialize(%s)", path);
    tk_log_printf(1, "Step #1");
    saved_ = current_dir();
    if (saved_.empty()) {
        tk_log_printf(1, "_getcwd failed");
        return;
    }
    tk_log_printf(1, "Step #2");
    changed_ = ::chdir(path.c_str()) == 0;
    if (!changed_) tk_log_printf(1, "_chdir failed");
}

tk_temp_chdir::~tk_temp_chdir() {
    tk_log_printf(1, "tk_temp_chdir::dtor");
    if (changed_ && ::chdir(saved_.c_str()) != 0) tk_log_printf(1, "_chdir failed");
    tk_log_printf(1, "tk_temp_chdir::dtor - at the END");
}

bool tk_temp_chdir::find_files(const std::wstring& mask, std::vector<std::wstring>& names) {
    return tk_find_files(L".", mask, names);
}

tk_temp_chdir_w::tk_temp_chdir_w(const std::wstring& path) {
    std::string p = path.empty() ? tk_get_program_folder() : pt::utf8_encode(path);
    tk_log_printf(1, "tk_temp_chdir_w::initialize(%s)", p);
    saved_ = current_dir();
    if (saved_.empty()) {
        tk_log_printf(1, "_wgetcwd failed");
        return;
    }
    changed_ = ::chdir(p.c_str()) == 0;
    if (!changed_) tk_log_printf(1, "_wchdir failed");
}

tk_temp_chdir_w::~tk_temp_chdir_w() {
    if (changed_ && ::chdir(saved_.c_str()) != 0) tk_log_printf(1, "_wchdir failed");
}

std::string tk_read_input_file(const std::string& path, const tk_input_file& kind) {
    const std::string noun = kind.noun;
    pt::path_status st;
    const int missing = pt::stat_path(path, st);
    if (missing == ENOENT || missing == ENOTDIR) throw tk_exception(kind.missing, tk_kind_error);
    if (!missing && st.kind == pt::path_kind::folder)
        throw tk_exception(noun + " " + path +
                               " is a folder, not a file.\nPlease verify the correct path/name "
                               "was given.",
                           tk_kind_error);
    std::string bytes;
    bool opened = false;
    if (int err = pt::read_file(path, bytes, &opened, tk_input_max_bytes)) {
        if (err == EFBIG)
            throw tk_exception(noun + " " + path + " is too large: " + kind.holds +
                                   " holds at most " + std::to_string(tk_input_max_bytes >> 20) +
                                   " MB.",
                               tk_kind_error);
        std::string lower = noun;
        lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
        throw tk_exception_ex((opened ? "Cannot read " : "Cannot open ") + lower + " " + path,
                              tk_kind_error, err);
    }
    return bytes;
}
