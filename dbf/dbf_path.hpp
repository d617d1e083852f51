// Paths of tables and their companion files.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.hpp"

// The folder part of a path ("" when it has none), without the last separator.
std::wstring dbf_folder_of(const std::wstring& path);
// The file name part of a path.
std::wstring dbf_file_of(const std::wstring& path);
// The file name without its extension.
std::wstring dbf_base_of(const std::wstring& path);
// A name folded to its case-free form: two names that Windows takes for one are equal.
std::wstring dbf_folded(const std::wstring& name);
// The memo file of a table file: its base name with the extension "fpt" in the letter
// case of the table file's extension, letter by letter ("T.DBF" gives "T.FPT").
std::wstring dbf_memo_of(const std::wstring& table_path);

// What a path names. Anything but a regular file (a folder, a FIFO, a socket, a device,
// a link that leads nowhere) is never opened or deleted as a table or memo file:
// opening a FIFO would wait for a writer that never comes.
enum class dbf_entry { none, file, other };
dbf_entry dbf_entry_at(const std::wstring& path);

// An entry of a folder, with what it is (a link counts as what it leads to, a dangling
// link as a file).
struct dbf_folder_entry {
    std::wstring name;
    pt::path_kind kind;
};

// The files of one folder, listed once, so that finding a table's files without regard
// to case costs no further look at the folder. Whoever creates or deletes files in
// the folder keeps it up to date.
class dbf_listing {
  public:
    // Lists the folder's entries of every kind, sorted by name, so that a folder or FIFO
    // that has a table's name is found as a file would be; false when the folder cannot
    // be read.
    bool list(const std::wstring& folder, std::vector<dbf_folder_entry>* entries = nullptr);
    // The file spelled exactly so, else the first that equals it without regard to case.
    std::optional<std::wstring> find(const std::wstring& name) const;
    // The companion file (the table file's base name with another extension) of a
    // table file: the one spelled exactly so, else one that differs in case only,
    // unless that one is the companion of another table whose base name it matches
    // exactly ("t.fpt" belongs to "t.dbf", never to "T.dbf").
    std::optional<std::wstring> companion(const std::wstring& table_file,
                                          const std::wstring& extension) const;
    void add(const std::wstring& name);
    void remove(const std::wstring& name);

    // How many folders have been listed in this process; lets tests see that the
    // folder is not read again for every table.
    static uint64_t listings();

  private:
    bool has_table(const std::wstring& base) const;

    std::map<std::wstring, std::set<std::wstring>> names_;  // folded name, its spellings
};

// A companion file of a table (its base name with another extension) in the table's
// folder: the one spelled exactly so, else the one the listing gives (the folder is
// listed when no listing is given), else the name as formed.
std::wstring dbf_companion(const std::wstring& path, const std::wstring& extension,
                           const dbf_listing* listing = nullptr);
