// The header of a new table, as create_table writes it before the first record.
#pragma once

#include <ctime>
#include <vector>

#include "UDB/udb_ftd.hpp"
#include "dbf/dbf_type.hpp"

// Whether a table of these fields is a Visual FoxPro table: one with a field of a type
// that only Visual FoxPro has (B, T), which readers that follow the version byte read
// only in such a table.
bool dbf_is_vfp_table(const std::vector<dbf_field_descriptor>& fields);

struct dbf_table_image {
    // Header, field descriptors, terminator and, in a Visual FoxPro table, the back-link.
    std::vector<uint8_t> bytes;
    bool has_memo = false;
};

// The image of an empty table of these columns (their fields as dbf_table_fields gives
// them), dated `date`: version 0x30 for a Visual FoxPro table, else 0xF5 with memo
// fields and 0x03 without. Refuses (kind 0) columns the format cannot hold.
dbf_table_image dbf_new_table_image(const udb_schema& schema, const std::tm& date);
