// Paths split into drive, directory, name and extension, and joined again.
// '/' is the only separator; the drive is always empty here.
#pragma once

#include <string>

class tk_file_name {
  public:
    // An empty path stands for the program's own path with an empty name part.
    // Otherwise the path is made absolute against the current directory.
    explicit tk_file_name(const std::string& path);
    explicit tk_file_name(const char* path);

    std::string make_path() const { return drive + directory + name + extension; }
    std::string get_drive_dir() const { return drive + directory; }
    void set_extension(const std::string& ext);

    std::string extension;  // with its leading point, or empty
    std::string drive;
    std::string name;
    std::string directory;  // from the root, with leading and trailing separators

  private:
    void split(const std::string& path);
};

class tk_file_wname {
  public:
    explicit tk_file_wname(const std::wstring& path);
    explicit tk_file_wname(const wchar_t* path);

    std::wstring make_path() const { return drive + directory + name + extension; }
    std::wstring get_drive_dir() const { return drive + directory; }
    void set_extension(const std::wstring& ext);

    std::wstring extension;
    std::wstring drive;
    std::wstring name;
    std::wstring directory;
};

// Absolute, lexically normalised form of a path ("." and ".." resolved, no double
// separators); the file system is not consulted. Raises a kind-1 error when the
// current directory cannot be read.
std::string tk_absolute_path(const std::string& path);

// The folder's last component (unless it ends in a separator) is replaced by name
// and ext; keep_name returns name unchanged. An empty folder means the program's.
std::wstring tk_make_full_path(const std::wstring& folder, const std::wstring& name,
                               const std::wstring& ext, bool keep_name);

// Creates the folder and every missing folder above it (like mkdir -p).
void common_create_path(const std::wstring& path);
