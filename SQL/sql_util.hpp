// How MySQL's column types become the VARTYPE codes that the whole system uses.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <string_view>

#include "platform/oa/oa_types.hpp"

// The character-set number of binary strings: BINARY, VARBINARY and the BLOBs.
constexpr unsigned sql_binary_charset = 63;

// The VARTYPE of the values of a column, from its type code, flags, character set and
// length. BLOB-coded and string columns are binary exactly when their character set is
// the binary one; they read as text when the engine's BLOB-to-text setting is on. BIT(1)
// is a Boolean, wider BIT columns unsigned integers of 32 or 64 bits.
VARTYPE get_vartype(const MYSQL_FIELD& field);
VARTYPE get_vartype(unsigned type, unsigned flags, unsigned charsetnr, unsigned long length,
                    bool blob_to_text);

// DECIMAL's precision (digits) from the column's display length, which counts a
// point when there are decimals and a sign unless the column is unsigned.
int32_t sql_decimal_precision(const MYSQL_FIELD& field);

// A default value text that means "the current time" in any of the forms servers
// report: CURRENT_TIMESTAMP, current_timestamp(), current_timestamp(6), now(), ...
bool sql_is_current_time_default(std::wstring_view text);
