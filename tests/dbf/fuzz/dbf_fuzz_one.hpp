// One fuzz input: a table, its memo file and a database container, each cut from the
// bytes; opened, read to the end and appended to by the DBF engine. The files are
// held in memory, never written to disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Layout of an input: a 16-bit little-endian length and that many bytes of the table,
// the same for the memo file (written as t.fpt, t.dbt, t.smt and t.dct), then the
// container (c.dbc, whose memo is the same memo bytes).
//
// The outcome: "refused: " and the message when the engine would not open the table,
// "read, not appended to: " and the message when it read the table but would not
// append to it, "read and appended to" (records that failed on their own do not
// count), or "internal: " and the message of an internal error, which a damaged file
// must never cause.
std::string dbf_fuzz_one(const uint8_t* data, size_t size);
