// The header of a new table, as create_table writes it before the first record.
#pragma once

#include <ctime>
#include <vector>

#include "UDB/udb_ftd.hpp"
#include "dbf/dbf_type.hpp"

struct dbf_table_image {
    // Header, field descriptors and terminator.
    std::vector<uint8_t> bytes;
    bool has_memo = false;
};

// The image of an empty table of these columns (their fields as dbf_table_fields gives
// them), dated `date`: version 0xF5 with memo fields, 0x03 without. Refuses (kind 0)
// columns the format cannot hold.
dbf_table_image dbf_new_table_image(const udb_schema& schema, const std::tm& date);
