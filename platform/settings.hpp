// The settings store that stands in for the per-user registry: one small UTF-8 file
// per key path, holding typed values as "name=type:value" lines. Only the wizard uses
// it. Pure file work: no exceptions, no logging; failures come back as errno values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pt {

// One stored value: a 32-bit number or a text (UTF-8).
struct setting_value {
    enum kind_t : uint8_t { number, text } kind = number;
    uint32_t num = 0;
    std::string str;
};

// The file that holds a key path such as "Software\Quillmark\Torvane":
// $XDG_CONFIG_HOME/Quillmark/Torvane.conf, with ~/.config when XDG_CONFIG_HOME is unset
// or not absolute. Empty when the path cannot name a file inside that folder (nothing
// after "Software", an empty, "." or ".." component, a '/' in a component) or when no
// home folder is known.
std::string settings_file_for_key(std::string_view key_path);

// What a failure of a settings file says after the file's name: the system's text of
// err, or for EISDIR at a path that is no folder, what it is ("Is a FIFO (named pipe),
// not a regular file").
std::string settings_error_text(const std::string& path, int err);

// A settings file holds a few short values. One larger than this is none of ours, and
// reading it whole at every value would hold up the program's start for minutes.
inline constexpr int64_t settings_max_size = 1 << 20;

// The values of one settings file, in file order. Lines that do not parse are kept as
// they are, so that rewriting the file loses nothing.
class settings_file {
  public:
    explicit settings_file(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // Reads the file; a missing file reads as empty. 0 or the errno of the failure
    // (EFBIG, without reading it, for a file over settings_max_size; EISDIR, without
    // opening it, for a path that holds no regular file: a FIFO would hold the program
    // up until something writes into it, and a device may never end).
    int load();
    // Makes the missing folders (mode 0700) and an empty file (mode 0600) when the file
    // does not exist yet; created tells whether it did. EISDIR when the path holds
    // something other than a regular file.
    int create(bool& created);
    // Moves a file over settings_max_size to `aside` (the file's name and ".bad"), so
    // that it can still be looked at and the settings start afresh; `aside` stays empty
    // when the file is not oversized. 0 or the errno of the failure.
    int set_aside_if_oversized(std::string& aside) const;

    // Value names are compared without regard to case, as registry names are.
    const setting_value* find(std::string_view name) const;
    void set(std::string_view name, const setting_value& value);

    // Writes everything to a temporary file (mode 0600) beside the file, then renames it
    // over the file, so a failed save leaves the old file whole.
    int save() const;

  private:
    struct line {
        std::string raw;  // kept for lines that do not parse
        bool parsed = false;
        std::string name;
        setting_value value;
    };
    std::string path_;
    std::vector<line> lines_;
};

}  // namespace pt
