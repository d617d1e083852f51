// How MySQL's column types become the VARTYPE codes that the whole system uses.
#pragma once

#include <mysql.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "UDB/udb_ftd.hpp"
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
// The column's size from its length: for text, bytes of three-byte utf8 whatever the
// session's character set, so that the fields made from it keep their sizes.
int32_t sql_column_size(const MYSQL_FIELD& field);

// DECIMAL's precision (digits) from the column's display length, which counts a
// point when there are decimals and a sign unless the column is unsigned.
int32_t sql_decimal_precision(const MYSQL_FIELD& field);

// A default value text that means "the current time" in any of the forms servers
// report: CURRENT_TIMESTAMP, current_timestamp(), current_timestamp(6), now(), ...
bool sql_is_current_time_default(std::wstring_view text);

// --- Literals in statements ---

// A number that may stand bare in a statement: [+-]?digits[.digits][(e|E)[+-]?digits].
bool sql_is_number_literal(std::string_view text);
// "0x" and at least one hexadecimal digit: a byte literal.
bool sql_is_hex_literal(std::string_view text);
// The text between apostrophes, escaped by the client library for the connection (it
// knows NO_BACKSLASH_ESCAPES); null takes the engine's. NULs and line ends survive.
std::string sql_quote_literal(MYSQL* connection, std::string_view utf8);

// --- Column types on the write side ---

// The column type of a CREATE TABLE clause for a descriptor, on a server of `version`.
std::wstring get_sql_native_type2(const t_ftd& column, uint32_t version);
// The same on the engine's server.
std::wstring get_sql_native_type2(const t_ftd& column);
// The fractional-second digits of a date, time or timestamp descriptor (0 to 6), from
// its display size; 0 on servers before 5.6.4, which have none.
int sql_fractional_digits(const t_ftd& column, uint32_t version);
// The word of a native type number (0 "BINARY" ... 27 "TINYTEXT"), "<Unknown type>".
const wchar_t* sql_native_type_name(int code);

// True when the connection's socket has something to read: an answer, or, on an idle
// connection, the end the server closed it with. Waits at most `wait` for it.
bool sql_has_input(MYSQL* connection,
                   std::chrono::milliseconds wait = std::chrono::milliseconds(0));

// Position of the first case-insensitive match of `pattern` at or after `start`,
// `start` for an empty pattern, npos when none fits.
size_t sql_ifind(std::wstring_view text, size_t start, std::wstring_view pattern);
