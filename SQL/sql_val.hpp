// Values as literals of MySQL statements: NULL, a bare number, a quoted and escaped
// text, a hexadecimal byte literal, a date in one canonical form, a geometry
// constructor, or a placeholder. Every quoted literal is escaped by the client library
// for the connection (null: the engine's), so no value can change a statement's meaning.
#pragma once

#include <mysql.h>

#include <string>
#include <string_view>

#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"

// The literal of a value. Byte arrays are 0x followed by hexadecimal digits (X'' when
// empty); texts are taken whole, NULs included; a float is the shortest text that the
// server reads back as that float, within the float's range, and a double has seventeen
// significant digits. A floating-point value
// that is not finite raises kind 0.
std::string to_mysql_str(const ole_variant& value, MYSQL* connection = nullptr);
// The literal of a value's text read as `vartype`: numbers stand bare only when the
// text is one, dates are written in one canonical form (a text that is no date raises
// kind 0), everything else is quoted.
std::string to_mysql_str(std::string_view utf8, VARTYPE vartype, MYSQL* connection = nullptr);
std::wstring to_mysql_wstr(std::wstring_view text, VARTYPE vartype, MYSQL* connection = nullptr);

// The value of a record field for the column, as UTF-8. With placeholders allowed a
// field longer than 1 MiB gives "?" and travels as long data of a prepared statement.
// An empty value for a NOT NULL column takes the column's default (or 0 for numbers).
// A date-time value for a TIME column is its time of day. A longer text that holds a
// GUID becomes that GUID for a GUID column (a text column of 36 characters) only;
// `cut`, when given, then receives a message naming the column and the value.
std::string get_fld_append_str(const udb_field& field, const t_ftd& column, bool placeholders,
                               MYSQL* connection = nullptr, std::string* cut = nullptr);
// The same without the default in place of an empty value: what a WHERE condition
// compares with must be the value itself, as the column stores it.
std::string get_fld_condition_str(const udb_field& field, const t_ftd& column,
                                  MYSQL* connection = nullptr);
// A number as a FLOAT column stores it, written as that float's exact value: the column
// compares as a double, so 0.1 never finds the stored 0.1f. A text that is no number,
// or beyond the float's range, is returned as it is.
std::string sql_float_as_stored(std::string_view number);

// The DEFAULT of a CREATE TABLE column clause; empty when none is to be written.
std::wstring make_mysql_def_val(const t_ftd& column, uint32_t version, MYSQL* connection = nullptr);

// The field is longer than what a statement should carry inline.
bool sql_is_long_field(const udb_field& field);
