#include "dbf/dbf_path.hpp"

#include "TK/tk_utils.hpp"

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

std::wstring dbf_companion(const std::wstring& path, const std::wstring& extension) {
    size_t slash = path.rfind(L'/');
    std::wstring prefix = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    std::wstring name = dbf_base_of(path) + L"." + extension;
    if (auto found = tk_resolve_nocase(prefix.empty() ? L"." : prefix, name)) name = *found;
    return prefix + name;
}
