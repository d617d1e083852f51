// DBF field descriptors and the mapping between them and the neutral column types.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "UDB/udb_ftd.hpp"

// A field descriptor as written: the 32-byte record of the DBF header.
struct dbf_field_descriptor {
    std::array<uint8_t, 32> bytes{};

    char letter() const { return static_cast<char>(bytes[11]); }
    uint8_t length() const { return bytes[16]; }
    uint8_t decimals() const { return bytes[17]; }
    void set(char letter, uint8_t length, uint8_t decimals) {
        bytes[11] = static_cast<uint8_t>(letter);
        bytes[16] = length;
        bytes[17] = decimals;
    }
};

// A field descriptor as read, whatever the layout of the file (name up to 32 bytes).
struct dbf_read_descriptor {
    std::string name;  // the name's bytes up to the first NUL
    char letter = 0;
    uint8_t length = 0;
    uint8_t decimals = 0;
};

dbf_field_descriptor dbf_create_field(const t_ftd& column);
// Record bytes of a field: 0 for G, M and P (the writer counts memo fields itself),
// length plus 256 x decimals for C and unknown letters.
uint32_t dbf_get_size_1(const dbf_field_descriptor& fd);
uint32_t dbf_get_size_2(const dbf_read_descriptor& fd);
// The bytes a field really takes in a record: memo fields included.
uint32_t dbf_field_width(const dbf_read_descriptor& fd);
VARTYPE dbf_get_vartype_2(const dbf_read_descriptor& fd);

inline bool dbf_is_memo_letter(char c) {
    return c == 'G' || c == 'M' || c == 'P';
}
