// The rows of one table, or of one query, streamed from the server in blocks.
#pragma once

#include <mysql.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "SQL/sql_rec.hpp"
#include "UDB/udb_ftd.hpp"

class sql_database;

constexpr size_t sql_block_size = 256;
using sql_block = std::array<std::unique_ptr<sql_record>, sql_block_size>;

class sql_limited_query {
  public:
    // Sends "SELECT * FROM `name`" (or "SELECT * FROM (name) as temp___table" for a
    // query) and opens the result as a stream; no other statement may run on the
    // connection until the query is destroyed. Throws sql_exception when refused.
    // `source` names the table in value reports.
    sql_limited_query(sql_database& db, const std::wstring& name, bool as_query,
                      const std::wstring& source = std::wstring());
    ~sql_limited_query();
    sql_limited_query(const sql_limited_query&) = delete;
    sql_limited_query& operator=(const sql_limited_query&) = delete;

    // Replaces the block's records with the next rows, up to 256, built with the schema
    // when it describes the result's columns (else from the column descriptions).
    // Returns the number stored; fewer than 256 means the stream has ended. A stream
    // that breaks (a lost connection, an oversized row) raises sql_exception.
    // first_row_number: the number (from 1) of the row that will land in slot 0.
    size_t store_to(sql_block& block, const udb_schema* schema, uint64_t first_row_number);

    bool is_exhausted() const { return exhausted_; }
    unsigned num_fields() const { return n_fields_; }
    const MYSQL_FIELD* fields() const { return fields_; }

  private:
    MYSQL* connection_;
    MYSQL_RES* result_ = nullptr;
    unsigned n_fields_ = 0;
    const MYSQL_FIELD* fields_ = nullptr;
    bool exhausted_ = false;
    std::wstring source_;
    std::optional<sql_columns> columns_;
    const udb_schema* columns_schema_ = nullptr;
};
