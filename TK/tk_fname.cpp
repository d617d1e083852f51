#include "TK/tk_fname.hpp"

#include <cerrno>
#include <unistd.h>
#include <vector>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files.hpp"

std::string tk_absolute_path(const std::string& path) {
    std::string full;
    if (!path.empty() && path[0] == '/') {
        full = path;
    } else {
        std::string cwd;
        for (size_t size = 4096;; size *= 2) {
            cwd.resize(size);
            if (getcwd(cwd.data(), size)) {
                cwd.resize(cwd.find('\0'));
                break;
            }
            if (errno != ERANGE || size > (1u << 20))
                throw tk_exception("The program cannot resolve the path specified", tk_kind_error);
        }
        full = cwd + "/" + path;
    }
    // Lexical normalisation; a trailing separator is kept, since it says "folder".
    bool trailing = full.size() > 1 && full.back() == '/';
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < full.size()) {
        size_t j = full.find('/', i);
        if (j == std::string::npos) j = full.size();
        std::string part = full.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    if (out.empty()) return "/";
    if (trailing) out += "/";
    return out;
}

namespace {

template <class S>
void split_parts(const S& full, S& directory, S& name, S& extension) {
    auto slash = full.rfind(typename S::value_type('/'));
    S rest = slash == S::npos ? full : full.substr(slash + 1);
    directory = slash == S::npos ? S() : full.substr(0, slash + 1);
    auto dot = rest.rfind(typename S::value_type('.'));
    if (dot == S::npos) {
        name = rest;
        extension.clear();
    } else {
        name = rest.substr(0, dot);
        extension = rest.substr(dot);
    }
}

}  // namespace

tk_file_name::tk_file_name(const char* path) {
    if (!path) throw tk_mail_assertion("tk_fname.cpp", 31);
    tk_log_printf(2, "tk_file_name::ctor(%s)", path);
    split(path);
}

tk_file_name::tk_file_name(const std::string& path) : tk_file_name(path.c_str()) {}

void tk_file_name::split(const std::string& path) {
    if (path.empty()) {
        split_parts(tk_get_module_path(), directory, name, extension);
        name.clear();
        return;
    }
    split_parts(tk_absolute_path(path), directory, name, extension);
}

void tk_file_name::set_extension(const std::string& ext) {
    if (ext.empty())
        extension.clear();
    else
        extension = ext[0] == '.' ? ext : "." + ext;
}

tk_file_wname::tk_file_wname(const wchar_t* path) {
    if (!path) throw tk_mail_assertion("tk_fname.cpp", 83);
    tk_log_wprintf(2, L"tk_file_name::ctor(%s)", path);
    tk_log_wprintf(2, L"tk_file_wname::initialize(%s)", path);
    std::wstring p(path);
    if (p.empty()) {
        split_parts(tk_utf8_to_unicode(tk_get_module_path()), directory, name, extension);
        name.clear();
        return;
    }
    std::wstring full = tk_utf8_to_unicode(tk_absolute_path(tk_unicode_to_utf8(p)));
    split_parts(full, directory, name, extension);
}

tk_file_wname::tk_file_wname(const std::wstring& path) : tk_file_wname(path.c_str()) {}

void tk_file_wname::set_extension(const std::wstring& ext) {
    if (ext.empty())
        extension.clear();
    else
        extension = ext[0] == L'.' ? ext : L"." + ext;
}

std::wstring tk_make_full_path(const std::wstring& folder, const std::wstring& name,
                               const std::wstring& ext, bool keep_name) {
    if (keep_name) return name;
    // The given folder is used whenever there is one; only an empty folder text
    // means the program's folder.
    tk_file_wname parts(folder.empty() ? tk_utf8_to_unicode(tk_get_module_path()) : folder);
    parts.name = name;
    parts.set_extension(ext);
    return parts.make_path();
}

void common_create_path(const std::wstring& path) {
    tk_log_wprintf(2, L"common_create_path(%s)", path);
    if (tk_is_path_exist(path)) return;
    std::string full = tk_absolute_path(tk_unicode_to_utf8(path));
    while (full.size() > 1 && full.back() == '/') full.pop_back();

    // Walk up to the first existing folder, remembering the missing levels.
    std::vector<std::string> missing;
    std::string cur = full;
    for (;;) {
        auto slash = cur.rfind('/');
        std::string name = cur.substr(slash + 1);
        std::string parent = slash == 0 ? "/" : cur.substr(0, slash);
        tk_log_printf(2, "Store level '%s'", name);
        tk_log_printf(2, "Drivepath=%s", parent);
        if (name.empty())
            throw tk_exception("The program cannot resolve the path specified", tk_kind_error);
        missing.push_back(name);
        pt::path_status st;
        if (pt::stat_path(parent, st) == 0) {
            // A file where a folder must be: say so, and which one.
            if (st.kind != pt::path_kind::folder)
                throw tk_exception_ex(parent, tk_kind_error, ENOTDIR);
            cur = parent == "/" ? "" : parent;
            break;
        }
        if (parent == "/")
            throw tk_exception("The program cannot resolve the path specified", tk_kind_error);
        cur = parent;
    }
    while (!missing.empty()) {
        cur += "/" + missing.back();
        missing.pop_back();
        tk_log_printf(2, "tmp_path=%s", cur);
        if (int err = pt::make_folder(cur, 0777)) {
            pt::path_status st;
            // Another process may have made it meanwhile; a file of that name is still an error.
            if (err == EEXIST && pt::stat_path(cur, st) == 0 && st.kind == pt::path_kind::folder)
                continue;
            throw tk_exception_ex(cur, tk_kind_error, err);
        }
    }
}
