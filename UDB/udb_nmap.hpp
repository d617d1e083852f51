// A database's table renames and per-table field renames, and the rewriting of texts
// (view definitions) that still use the old names.
#pragma once

#include <map>
#include <string>

class udb_names_map {
  public:
    using name_map = std::map<std::wstring, std::wstring>;

    void add_tn_mapping(const std::wstring& name, const std::wstring& mapped);
    // Keeps a copy of one table's field renames under the table name.
    void add_fn_map(const std::wstring& table, const name_map& fields);

    // The mapped name of a table, or the name itself.
    std::wstring get_tn_mapped_name(const std::wstring& name, bool case_sensitive) const;
    // The mapped name of a field of a table (both matched exactly), or the field itself.
    std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field) const;

    // The text with every table rename, then every field rename, applied as whole words.
    std::wstring do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                    const std::wstring& suffix) const;
    // The text with the renames of one map applied as whole words, ignoring case. The
    // prefix and suffix wrap each new name unless it already carries them.
    static std::wstring do_global_replace2(const std::wstring& text, const name_map& map,
                                           const std::wstring& prefix, const std::wstring& suffix);

    const name_map& table_names() const { return table_names_; }
    const std::map<std::wstring, name_map>& field_names() const { return field_names_; }

  private:
    name_map table_names_;
    std::map<std::wstring, name_map> field_names_;
};
