// The clauses of CREATE TABLE on the write side: one per column (name, type, character
// set, NOT NULL, DEFAULT, AUTO_INCREMENT, COMMENT) and one per key. Names the server
// would refuse are replaced by safe ones, and the keys follow the columns' new names.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_engi.hpp"
#include "SQL/sql_sch.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_vali.hpp"

using sql_name_map = std::map<std::wstring, std::wstring>;

class sql_schema_initializer {
  public:
    // auto_num receives the name of the table's auto-number column (empty for none)
    // when get_init_chunks runs.
    sql_schema_initializer(const std::wstring& table, const udb_schema& source,
                           const udb_indexes& keys, std::wstring& auto_num);

    // Appends one clause per column, in schema order.
    void get_init_chunks(std::vector<std::wstring>& out, const sql_table_properties* properties);

    // The columns as they will be created.
    const sql_schema& get_schema() const { return schema_; }
    // Source column names and the names they are created under, for those renamed.
    const sql_name_map& get_column_map() const { return validator_->mapped_pairs(); }
    // A column's character set: its own property, else the engine's.
    static std::wstring column_charset(const t_ftd& column, const sql_table_properties* properties);

  private:
    std::wstring table_;
    sql_schema schema_;
    std::wstring& auto_num_;
    const udb_indexes& keys_;
    std::unique_ptr<udb_validator> validator_;
    const udb_schema& source_;
};

class sql_indexes_initializer {
  public:
    // key_limit: the most bytes a key may hold on the table's storage engine.
    sql_indexes_initializer(const sql_schema& schema, const udb_indexes& keys,
                            const std::wstring& auto_num, const sql_name_map& column_map,
                            uint32_t key_limit, const sql_table_properties* properties);

    // One clause per key that can be created, and one for the auto-number column when
    // no written key begins with it (the server refuses the table otherwise).
    void get_init_chunks(std::vector<std::wstring>& out);

  private:
    udb_indexes keys_;
    std::wstring auto_num_;
    const sql_schema& schema_;
    std::unique_ptr<udb_validator> validator_;
    uint32_t key_limit_;
    const sql_table_properties* properties_;
};

// The most bytes of one key on a storage engine of the server.
uint32_t sql_key_length_limit(uint32_t version, const std::wstring& storage_engine);
// The most bytes one character takes in a character set (4 when unknown).
int sql_bytes_per_char(const std::wstring& charset);
