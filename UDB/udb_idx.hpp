// Keys and indexes of a table, and foreign keys between tables, as they travel
// between the engines.
#pragma once

#include <string>
#include <vector>

struct udb_index {
    udb_index(const std::wstring& name, bool unique, bool primary,
              const std::vector<std::wstring>& fields);

    // Whether the key begins with the given columns (case ignored); an empty list does.
    bool starts_with_fields(const std::vector<std::wstring>& columns) const;

    std::wstring name;
    bool unique;
    bool primary;
    bool unique_constraint = false;  // declared as a unique constraint
    std::vector<std::wstring> fields;
    std::vector<std::wstring> fields2;  // empty as both engines build it
};

// The indexes of one table in the order added; definitions of the same name merge.
class udb_indexes {
  public:
    // Adds the index, or merges it into the listed one of the same name (case ignored).
    void push_back(const udb_index& index);
    // Whether the column (exact spelling) belongs to an index, or to the primary key only.
    bool is_idx_field(const std::wstring& column, bool primary_only) const;
    // Position of the index of that name (case ignored), or -1.
    int find(const std::wstring& name) const;

    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const udb_index& operator[](size_t i) const { return items_[i]; }
    udb_index& operator[](size_t i) { return items_[i]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

  private:
    std::vector<udb_index> items_;
};

struct udb_relationship {
    udb_relationship(const std::wstring& name, const std::wstring& text2,
                     const std::wstring& fk_table, const std::wstring& pk_table,
                     const std::vector<std::wstring>& fk_flds,
                     const std::vector<std::wstring>& pk_flds, const std::wstring& rule);
    // A copy leaves the second text empty.
    udb_relationship(const udb_relationship& that);
    udb_relationship& operator=(const udb_relationship& that);

    std::wstring name;      // the constraint name
    std::wstring text2;     // not carried over by copies
    std::wstring fk_table;  // the table that holds the foreign key
    std::wstring pk_table;  // the referenced table
    std::wstring rule;      // the referential rule text as the server gave it
    std::vector<std::wstring> fk_flds;
    std::vector<std::wstring> pk_flds;
};
