// One fuzz input: a table, its memo file and a database container, each cut from the
// bytes; opened, read to the end and appended to by the DBF engine.
#pragma once

#include <cstddef>
#include <cstdint>

// Layout of an input: a 16-bit little-endian length and that many bytes of the table,
// the same for the memo file (written as t.fpt, t.dbt, t.smt and t.dct), then the
// container (c.dbc, whose memo is the same memo bytes).
void dbf_fuzz_one(const uint8_t* data, size_t size);
