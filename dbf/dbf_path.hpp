// Paths of tables and their companion files.
#pragma once

#include <string>

// The folder part of a path ("" when it has none), without the last separator.
std::wstring dbf_folder_of(const std::wstring& path);
// The file name part of a path.
std::wstring dbf_file_of(const std::wstring& path);
// The file name without its extension.
std::wstring dbf_base_of(const std::wstring& path);
// A companion file of a table (its base name with another extension) in the table's
// folder: the one the folder holds without regard to case, else the name as formed.
std::wstring dbf_companion(const std::wstring& path, const std::wstring& extension);
