// Small file-system operations shared by both programs.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The program's own full path and its folder (ending in '/').
std::string tk_get_module_path();
std::wstring tk_get_module_file_name_w();
std::string tk_get_program_folder();
std::wstring tk_get_program_wfolder();

// Existence tests. Mode 0x4000: the path exists and is not a folder. Mode 1: also
// not read-only (no write permission bit at all).
constexpr unsigned tk_exist_file = 0x4000;
constexpr unsigned tk_exist_writable = 1;
bool tk_is_file_exist1(const std::string& path, unsigned mode);
bool tk_is_file_exist2(const std::wstring& path, unsigned mode);

// True for an existing folder; an empty path stands for the program's folder.
// Never changes the current directory.
bool tk_is_path_exist(const std::string& path);
bool tk_is_path_exist(const std::wstring& path);

// True when the process may create files in the folder.
bool tk_has_write_access(const std::string& folder);

// Lists the files of a folder (not folders) whose names match the mask (wildcards
// * and ?, case ignored), sorted by name. False when the folder cannot be read or
// no entry at all matches; names that are not UTF-8 are skipped.
bool tk_find_files(const std::wstring& folder, const std::wstring& mask,
                   std::vector<std::wstring>& names);

// The name of an existing entry of the folder that equals name without regard to
// case (an exact match first), or nothing.
std::optional<std::wstring> tk_resolve_nocase(const std::wstring& folder, const std::wstring& name);

// A file of settings or names that a program reads whole: a profile, a table list.
struct tk_input_file {
    const char* noun;     // "Profile": the start of each message
    const char* missing;  // the message for a path where nothing is
    const char* holds;    // "a profile": what the size limit is said of
};
// Far more than any list of settings or tables needs, little enough that a device or a
// runaway pipe named by mistake cannot fill the memory.
constexpr size_t tk_input_max_bytes = 8 << 20;
// The whole content, a pipe's or a FIFO's to its end. A path where nothing is, a
// folder, a file that cannot be opened or read, and more than tk_input_max_bytes raise
// a kind-1 tk_exception that says so.
std::string tk_read_input_file(const std::string& path, const tk_input_file& kind);

// Joins a folder and a file name with one separator.
std::wstring tk_join_path(const std::wstring& folder, const std::wstring& name);

// Changes the current directory for the object's lifetime. Process-wide: only for
// code that runs while no other thread works with relative paths.
class tk_temp_chdir {
  public:
    explicit tk_temp_chdir(const std::string& path);
    ~tk_temp_chdir();
    tk_temp_chdir(const tk_temp_chdir&) = delete;
    tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;

    bool changed() const { return changed_; }
    // Files of the current directory matching the mask.
    bool find_files(const std::wstring& mask, std::vector<std::wstring>& names);

  private:
    void initialize(const std::string& path);
    bool changed_ = false;
    std::string saved_;
};

class tk_temp_chdir_w {
  public:
    explicit tk_temp_chdir_w(const std::wstring& path);
    ~tk_temp_chdir_w();
    tk_temp_chdir_w(const tk_temp_chdir_w&) = delete;
    tk_temp_chdir_w& operator=(const tk_temp_chdir_w&) = delete;
    bool changed() const { return changed_; }

  private:
    bool changed_ = false;
    std::string saved_;
};
