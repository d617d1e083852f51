// The DBF format's facts, shared by the table reader, the writer and their tests: version
// bytes, the header's terminator, table flags and the day numbers of date fields.
#pragma once

#include <cstdint>

// The first byte of a table file: its format and whether it has a memo file.
constexpr uint8_t dbf_version_foxbase = 0x02;  // FoxBASE: 16-byte descriptors, 16-bit count
constexpr uint8_t dbf_version_dbase3 = 0x03;   // dBASE III / FoxPro without memo
constexpr uint8_t dbf_version_level7 = 0x04;   // dBASE 7: 48-byte descriptors
constexpr uint8_t dbf_version_vfp = 0x30;      // Visual FoxPro; 0x31 and 0x32 too
constexpr uint8_t dbf_version_vfp_last = 0x32;
constexpr uint8_t dbf_version_dbase4_sql = 0x7B;   // dBASE IV with memo and SQL table
constexpr uint8_t dbf_version_dbase3_memo = 0x83;  // dBASE III with a DBT memo
constexpr uint8_t dbf_version_dbase4_memo = 0x8B;  // dBASE IV with a DBT memo
constexpr uint8_t dbf_version_level7_memo = 0x8C;  // dBASE 7 with a DBT memo
constexpr uint8_t dbf_version_dbase4_sql_memo = 0xCB;
constexpr uint8_t dbf_version_smt = 0xE5;  // an SMT memo
constexpr uint8_t dbf_version_dbase4_sys = 0xEB;
constexpr uint8_t dbf_version_fox_memo = 0xF5;  // FoxPro with an FPT memo

constexpr bool dbf_is_vfp(uint8_t version) {
    return version >= dbf_version_vfp && version <= dbf_version_vfp_last;
}

constexpr bool dbf_is_level7(uint8_t version) {
    return version == dbf_version_level7 || version == dbf_version_level7_memo;
}

// The fixed header and the field descriptors behind it, in bytes.
constexpr uint32_t dbf_header_size = 32;
constexpr uint32_t dbf_descriptor_size = 32;
constexpr uint32_t dbf_foxbase_descriptor_size = 16;
constexpr uint32_t dbf_level7_header_size = 68;
constexpr uint32_t dbf_level7_descriptor_size = 48;

// The most fields a table may have for dBASE and FoxPro to open it.
constexpr uint32_t dbf_max_fields = 255;

// Ends the field descriptors; in Visual FoxPro the container's back-link follows it.
constexpr uint8_t dbf_header_terminator = 0x0D;
// The back-link's room in a Visual FoxPro header: the container's file name, or zeros
// for a table of no container.
constexpr uint32_t dbf_vfp_backlink_size = 263;

// A memo field holds its block number as 10 digits in dBASE and FoxPro tables, and as a
// 32-bit little-endian number in Visual FoxPro tables.
constexpr uint8_t dbf_memo_length = 10;
constexpr uint8_t dbf_vfp_memo_length = 4;

// The header's table flags (byte 28), as Visual FoxPro sets them.
constexpr uint8_t dbf_flag_memo = 0x02;       // the table has a memo file
constexpr uint8_t dbf_flag_container = 0x04;  // the table is a database container

// FPT memo files (FoxPro and Visual FoxPro): a header of 512 bytes, its next free block
// (big-endian) at byte 0 and its block size at bytes 6-7, then blocks; each memo starts a
// block with a header of 8 bytes, its type and its length (both big-endian). A new file
// is the header and one byte: 513 bytes, next free block 8 of 64 bytes.
constexpr uint32_t fpt_header_size = 512;
constexpr uint32_t fpt_block_size = 64;
constexpr uint32_t fpt_memo_header_size = 8;
constexpr uint32_t fpt_new_file_size = 513;
constexpr uint32_t fpt_memo_type_text = 1;  // the type of a memo of text

// Ends a dBASE III memo, twice.
constexpr uint8_t dbf_memo_end = 0x1A;
// What may follow a table's last record.
constexpr uint8_t dbf_end_of_file = 0x1A;

// Julian day numbers of the proleptic Gregorian calendar (2451545 is 2000-01-01).
constexpr int64_t dbf_julian_1899_12_30 = 2415019;  // the day the date values count from
constexpr int64_t dbf_julian_0001_01_01 = 1721426;
constexpr int64_t dbf_julian_9999_12_31 = 5373484;
