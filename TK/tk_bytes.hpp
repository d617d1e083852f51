// Fixed-width integers in byte layouts: little-endian for the DBF header, fields and the
// dBASE memo files, big-endian for the FPT memo file's block numbers and lengths; either
// in the server's well-known binary form of a point.
// Header-only so that every call on the per-record path is inlined.
#pragma once

#include <cstdint>

constexpr uint16_t tk_le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr uint32_t tk_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint64_t tk_le64(const uint8_t* p) {
    return uint64_t{tk_le32(p)} | (uint64_t{tk_le32(p + 4)} << 32);
}

constexpr uint32_t tk_be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

constexpr uint64_t tk_be64(const uint8_t* p) {
    return (uint64_t{tk_be32(p)} << 32) | uint64_t{tk_be32(p + 4)};
}

constexpr void tk_put_le16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr void tk_put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr void tk_put_le64(uint8_t* p, uint64_t v) {
    tk_put_le32(p, static_cast<uint32_t>(v));
    tk_put_le32(p + 4, static_cast<uint32_t>(v >> 32));
}

constexpr void tk_put_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
