// The destination folder as a database of DBF tables.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "TK/tk_singl.hpp"
#include "UDB/udb_db.hpp"
#include "dbf/dbf_path.hpp"
#include "dbf/dbf_type.hpp"

class dbf_dbc;
class dbf_recordset;

// The field descriptors create_table writes for these columns, in order: the names made
// safe in the DBF code page, the letters, lengths and decimals (displacements 0), the
// memo fields in the form of the table's layout (4 bytes in a Visual FoxPro table).
std::vector<dbf_field_descriptor> dbf_table_fields(const udb_schema& schema);
// True when the table is a DBF table whose fields are, one by one, those create_table
// would write for the columns (names compared as DBF programs do; memo fields in the
// form of the table's own layout): a table made from such a source, which takes its
// rows whatever its columns' types.
bool dbf_made_from(const udb_recordset& table, const udb_schema& schema);
// Whether the table takes the rows of a source with these columns in a merge (mode 3),
// and sets how. Where a column's field name (as dbf_table_fields gives it) is the name
// of a field at another position, every column must find its field by name, each such
// field equal to what create_table would write for its column or of a type the
// column's values conform to: the values then go by name. Otherwise they go by
// position, as dbf_made_from or the positional type conformance allow.
bool dbf_merge_into(udb_recordset& table, const udb_schema& schema);

// What is said of a file named like a table that is not one (`why` as not_a_table
// gives it): "File PATH is not a DBF table; it is left as it is".
std::string dbf_left_as_is(const std::string& why);

// How many DBF tables of the folder a mode-0 run would find to delete (before it leaves
// out those it writes): its files named *.dbf, any case, that are tables by their
// header. The folder is only read; 0 when it cannot be.
size_t dbf_count_tables(const std::wstring& folder);

class dbf_database : public tk_singleton<dbf_database>, public udb_database {
  public:
    // Scans the folder once for its tables ("*.dbf", regular files), and removes the
    // temporary files that a killed run left in it. A folder that cannot be read is a
    // kind-1 error. The open mode is only stored.
    dbf_database(const std::wstring& folder, int32_t open_mode, uint8_t user_code_page,
                 bool use_container);
    ~dbf_database() override;

    // A new table from the source's columns, or the existing table of that name opened
    // for appending; the index list is not read. Refuses, before writing anything, a
    // table the DBF format cannot hold, or whose table or memo file's name a folder or
    // FIFO has taken (kind 0), and leaves no file behind on failure. The memo file
    // takes the letter case of the table file's extension.
    // A new table is written under temporary names and takes its place at commit_table.
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    using udb_database::create_table;
    // A new table, as create_table writes one, that takes the place of the existing table
    // of the name (its memo and index files with it) at commit_table; until then the
    // existing table stays as it is.
    std::unique_ptr<udb_recordset> replace_table(const std::wstring& name,
                                                 const udb_schema& schema);
    // Makes what was appended to a table of this database part of it (dbf_recordset::
    // commit), and puts a new table in its place: its memo file, then its table file,
    // never beside the memo file of another table. A table dropped without this is left
    // as it was. A file that cannot be written, moved or deleted is a kind-1 error.
    // The path of the table's file.
    std::wstring commit_table(udb_recordset& table);
    // Deletes the table's file and its memo and index files. A file of the name that is
    // not a DBF table (or cannot be read), or a memo file's name taken by a folder or
    // FIFO, leaves everything as it is: a kind-0 error naming it.
    bool delete_tab(const std::wstring& name) override;
    // The same kind-0 error, when the table's file is there and is not a DBF table; such
    // a file is never emptied, skipped or appended to as a table.
    void check_table_file(const std::wstring& name) const;
    // The list of table names, looked up by hash: the folder may hold thousands.
    bool is_table_exist(const std::wstring& name) override;
    // A dbf_recordset on the table (modes as for dbf_recordset).
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int32_t mode) override;
    std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&) override {
        return nullptr;
    }
    bool query(const std::wstring&, udb_no_result_t) override { return false; }
    using udb_database::query;

    // The folder, a separator and the table's file: the one the folder holds under that
    // name (case ignored), else the name itself with ".dbf" unless it has a DBF-family
    // extension already.
    std::wstring get_full_table_name(const std::wstring& name) const;
    void create_memo_file(const std::wstring& name);
    // Deletes every table of the list but those named in `keep` (any case); a file that is
    // not a DBF table stays, as does a folder or FIFO of a table's name and a file in a
    // memo file's place that is no memo file, and what comes back says of each such entry
    // why ("PATH is not a DBF table", "PATH is not a memo file"), sorted.
    std::vector<std::string> delete_all_tables(const std::vector<std::wstring>& keep = {});
    // Opens the database container once; only its base name is used, found in the
    // folder without regard to case.
    void init_dbc(const std::string& name);

    dbf_dbc* get_dbc() const { return dbc_.get(); }
    // The listing of the database's folder when the path lies in it, else none.
    const dbf_listing* listing_of(const std::wstring& path) const;

  private:
    // The file of a table name: an exact match first, else the first without regard to case.
    const std::wstring* find_file(const std::wstring& name) const;
    void add_table(const std::wstring& name, const std::wstring& file);
    // The table's file: the mapped or given name, else one that differs in case only.
    std::wstring table_file(const std::wstring& name) const;
    // Why the file at `full` is not to be taken for a table ("PATH is not a DBF table",
    // "PATH cannot be read: REASON"); none for a table, and for a file that is not there.
    std::optional<std::string> not_a_table(const std::wstring& full) const;
    // Deletes the table file at `full` and the companion files that belong to it; a memo
    // file's name held by what is no memo file is left, and said in `left`.
    void delete_files(const std::wstring& full, std::vector<std::string>* left = nullptr);
    // The new table written under temporary names (create_table, replace_table).
    std::unique_ptr<udb_recordset> write_new_table(const std::wstring& name,
                                                   const udb_schema& schema);
    // The kind-0 error when the name of the table's memo file is held by something that
    // is no memo file.
    void check_memo_names(const std::wstring& full) const;
    // Removes the folder entry when it is a temporary file of a table or memo file whose
    // writer was killed; true when it did.
    bool remove_orphaned_temp(const std::wstring& entry);
    // Keeps the count of names in step after the base removed one from the list.
    void forget_table(const std::wstring& name);

    bool use_container_;
    uint8_t user_code_page_;
    bool opening_container_ = false;
    std::unique_ptr<dbf_dbc> dbc_;
    // Table name (as it is, and folded) to file name, from the folder scan.
    std::unordered_map<std::wstring, std::wstring> files_;
    std::unordered_map<std::wstring, std::wstring> files_nocase_;
    // How many names of the list fold to each key, and the list's length they count.
    std::unordered_map<std::wstring, uint32_t> table_keys_;
    size_t table_count_ = 0;
    // Entries named like tables that are no files (folders, FIFOs, sockets, devices).
    std::vector<std::wstring> odd_entries_;
    dbf_listing listing_;
    std::wstring folder_;  // the folder part of the database's paths
};
