// Memo files: the FPT that the writer makes and the forms that the reader takes.
#include <gtest/gtest.h>

#include <unistd.h>

#include "dbf/dbf_except.hpp"
#include "dbf/dbf_memo.hpp"
#include "tests/dbf/dbf_test_util.hpp"

namespace {

std::string read_memo(dbf_memo_file& m, uint32_t block) {
    std::string text = "stale";
    m.read_memo(block, text);
    return text;
}

}  // namespace

TEST(dbf_memo, fpt_blocks_as_written) {
    tmp_dir d;
    const std::string path = d.file("t.fpt");
    {
        fpt_memo_file m(path, tk_file_create, dbf_memo_fpt);
        m.write_memo(8, "hello");
        EXPECT_EQ(m.next_free(), 9u);
        m.write_memo(9, std::string(57, 'x'));  // 57 + 8 bytes take two blocks
        EXPECT_EQ(m.next_free(), 11u);
        m.write_memo(11, std::string(56, 'y'));  // 56 + 8 bytes fill one
        EXPECT_EQ(m.next_free(), 12u);
        m.write_memo(12, "");  // nothing at all
        EXPECT_EQ(m.next_free(), 12u);
        m.write_memo(12, std::string("ab\0cd", 5));
    }
    std::string bytes = read_file_bytes(path);
    EXPECT_EQ(bytes.substr(0, 8), be32s(13) + be32s(64));
    EXPECT_EQ(bytes.substr(512, 13), be32s(1) + be32s(5) + "hello");
    EXPECT_EQ(bytes.size(), 12u * 64 + 13);

    fpt_memo_file m(path, tk_file_read, dbf_memo_fpt);
    EXPECT_EQ(read_memo(m, 8), "hello");
    EXPECT_EQ(read_memo(m, 9), std::string(57, 'x'));
    EXPECT_EQ(read_memo(m, 11), std::string(56, 'y'));
    EXPECT_EQ(read_memo(m, 12), "ab");  // up to the NUL
    EXPECT_EQ(read_memo(m, 13), "");    // beyond the end
    EXPECT_EQ(read_memo(m, 0xFFFFFFFF), "");
}

TEST(dbf_memo, fpt_reads_stay_inside_the_file) {
    tmp_dir d;
    const std::string path = d.file("t.fpt");
    const std::string head = be32s(9) + be32s(64) + std::string(504, '\0');
    const struct {
        const char* name;
        std::string block;
        std::string text;
    } cases[] = {
        {"ends exactly at the end of the file", be32s(1) + be32s(4) + "abcd", "abcd"},
        {"one byte beyond: no text, no error", be32s(1) + be32s(5) + "abcd", ""},
        {"a length of 4 GB", be32s(1) + be32s(0xFFFFFFFF) + "abcd", ""},
        {"a length of 0", be32s(1) + be32s(0), ""},
        {"the length itself is cut off", be32s(1) + std::string("\0\0", 2), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file_bytes(path, head + c.block);
        fpt_memo_file m(path, tk_file_read, dbf_memo_fpt);
        EXPECT_EQ(read_memo(m, 8), c.text);
    }
}

TEST(dbf_memo, block_numbers_in_record_fields) {
    tmp_dir d;
    write_file_bytes(d.file("t.fpt"), be32s(8) + be32s(64) + std::string(505, '\0'));
    fpt_memo_file decimal(d.file("t.fpt"), tk_file_read, dbf_memo_fpt);
    fpt_memo_file binary(d.file("t.fpt"), tk_file_read, dbf_memo_vfp);
    struct {
        std::string field;
        uint32_t block;
    } cases[] = {
        {"         8", 8},           {"          ", 0}, {"8         ", 8}, {"  -5      ", 0},
        {"4294967295", 4294967295u}, {"4294967296", 0}, {"   x      ", 0}, {"  12", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decimal.get_block_number(reinterpret_cast<const uint8_t*>(c.field.data()),
                                           c.field.size()),
                  c.block)
            << c.field;
    std::string vfp = le32s(0x01020304);
    EXPECT_EQ(binary.get_block_number(reinterpret_cast<const uint8_t*>(vfp.data()), 4),
              0x01020304u);
    EXPECT_EQ(binary.get_block_number(reinterpret_cast<const uint8_t*>(vfp.data()), 3), 0u);
    EXPECT_EQ(error_of([&] { decimal.get_block_number(nullptr, 10); }).second,
              make_err_meggase("dbf_memo.cpp", 30));
}

TEST(dbf_memo, damaged_and_missing_memo_files) {
    tmp_dir d;
    const std::string path = d.file("m");
    const struct {
        const char* name;
        std::string bytes;
        int kind;  // of memo file
        std::string error;
    } cases[] = {
        {"FPT shorter than its header", std::string(7, '\0'), dbf_memo_fpt,
         "Memo file is corrupted"},
        {"FPT block size 0", be32s(8) + be32s(0), dbf_memo_fpt, "Memo file is corrupted"},
        {"DBT shorter than its header", std::string(23, '\0'), dbf_memo_dbt,
         "Memo file is corrupted"},
        {"DBT block size 0", std::string(24, '\0'), dbf_memo_dbt, "Memo file is corrupted"},
        {"SMT shorter than its header", std::string(511, '\0'), dbf_memo_smt,
         "Memo file is corrupted"},
        {"dBASE III shorter than its next block", std::string(3, '\0'), dbf_memo_old,
         "Memo file is corrupted"},
        {"dBASE III next block 0", std::string(512, '\0'), dbf_memo_old,
         "Failed to read MEMO field"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file_bytes(path, c.bytes);
        auto [kind, text] = error_of([&] {
            switch (c.kind) {
                case dbf_memo_fpt:
                    fpt_memo_file(path, tk_file_read, c.kind);
                    break;
                case dbf_memo_dbt:
                    dbt_memo_file(path, tk_file_read);
                    break;
                case dbf_memo_smt:
                    smt_memo_file(path, tk_file_read);
                    break;
                default:
                    old_memo_file(path, tk_file_read);
                    break;
            }
        });
        EXPECT_EQ(kind, 0);
        EXPECT_EQ(text, c.error);
    }
    // Opening a memo file for writing never creates it.
    EXPECT_EQ(
        error_of([&] { fpt_memo_file(d.file("none.fpt"), tk_file_write, dbf_memo_fpt); }).first, 1);
    EXPECT_NE(access(d.file("none.fpt").c_str(), F_OK), 0);
    // A next free block inside the header, or past the block that holds the file's last
    // byte (a file of 513 bytes ends in block 8), is refused before anything is written.
    for (auto [next, refused] : {std::pair{0u, true}, {8u, false}, {9u, false}, {10u, true}}) {
        write_file_bytes(path, be32s(next) + be32s(64) + std::string(505, '\0'));
        fpt_memo_file m(path, tk_file_write, dbf_memo_fpt);
        EXPECT_EQ(error_of([&] { m.check_writable(); }).second,
                  refused ? "Memo file is corrupted" : "")
            << next;
    }
    fpt_memo_file m(path, tk_file_write, dbf_memo_fpt);
    EXPECT_EQ(error_of([&] { m.write_memo(7, "x"); }).second, "Memo file is corrupted");
}

TEST(dbf_memo, dbase_and_smt_memos) {
    tmp_dir d;
    {
        // dBASE III: 512-byte blocks, each memo ended by 0x1A 0x1A.
        old_memo_file m(d.file("o.dbt"), tk_file_create);
        EXPECT_EQ(read_file_bytes(d.file("o.dbt")).size(), 512u);
        m.write_memo(1, std::string(510, 'a'));
        EXPECT_EQ(m.next_free(), 2u);
        m.write_memo(2, std::string(511, 'b'));
        EXPECT_EQ(m.next_free(), 4u);
    }
    std::string old = read_file_bytes(d.file("o.dbt"));
    EXPECT_EQ(old.substr(0, 4), le32s(4));
    EXPECT_EQ(old[16], '\x03');
    EXPECT_EQ(old.substr(1022, 2), "\x1A\x1A");
    old_memo_file o(d.file("o.dbt"), tk_file_read);
    EXPECT_EQ(read_memo(o, 1), std::string(510, 'a'));
    EXPECT_EQ(read_memo(o, 2), std::string(511, 'b'));
    EXPECT_EQ(read_memo(o, 9), "");

    // dBASE IV: block size at 20, a length that counts the block's own 8 bytes.
    std::string dbt = std::string(20, '\0') + std::string("\0\2", 2) + std::string(490, '\0');
    const std::string signature("\xFF\xFF\x08\x00", 4);
    dbt += signature + le32s(8 + 6) + std::string("memo\0x", 6);
    dbt += std::string(1024 - dbt.size(), '\0') + signature + le32s(8 + 7) + "cut";
    write_file_bytes(d.file("f.dbt"), dbt);
    dbt_memo_file f(d.file("f.dbt"), tk_file_read);
    EXPECT_EQ(read_memo(f, 1), "memo");
    EXPECT_EQ(read_memo(f, 2), "");  // its length passes the end of the file
    EXPECT_EQ(read_memo(f, 3), "");

    // SMT: block size at 4; the block number in bytes 6-9 of the field; text up to NUL.
    std::string smt = std::string(4, '\0') + le32s(16) + std::string(504, '\0');
    smt += std::string(4096, 'z') + std::string(1, '\0') + "after";
    write_file_bytes(d.file("s.smt"), smt);
    smt_memo_file s(d.file("s.smt"), tk_file_read);
    std::string field = "      " + le32s(32);
    EXPECT_EQ(s.get_block_number(reinterpret_cast<const uint8_t*>(field.data()), 10), 32u);
    EXPECT_EQ(s.get_block_number(reinterpret_cast<const uint8_t*>("          "), 10), 0u);
    EXPECT_EQ(read_memo(s, 32), std::string(4096, 'z'));
    EXPECT_EQ(read_memo(s, 32 + 4096 / 16), "");
    EXPECT_EQ(read_memo(s, 1000), "");
}

TEST(dbf_memo, a_memo_file_is_told_by_its_header) {
    const std::string fpt = fpt_memo_file::empty_file();  // 513 bytes, block 64
    auto fpt_with = [&](uint32_t next, uint16_t block, size_t size) {
        std::string s = with_be32(fpt, 0, next);
        s[6] = static_cast<char>(block >> 8);
        s[7] = static_cast<char>(block & 0xFF);
        s.resize(size, 'm');
        return s;
    };
    const struct {
        const char* what;
        std::string bytes;
        const wchar_t* extension;
        bool memo;
    } cases[] = {
        {"an empty FPT as written", fpt, L"fpt", true},
        {"the same, named in capitals", fpt, L"FPT", true},
        {"a container's memo file", fpt, L"dct", true},
        {"an FPT with memos", fpt_with(10, 64, 9 * 64 + 17), L"fpt", true},
        {"a FoxPro FPT of 512-byte blocks", fpt_with(2, 512, 532), L"fpt", true},
        {"a next free block at the end of the last block", fpt_with(9, 64, 513), L"fpt", true},
        {"a next free block past the last block", fpt_with(10, 64, 513), L"fpt", false},
        {"a next free block far past the end", fpt_with(3, 512, 532), L"fpt", false},
        {"a next free block inside the header", fpt_with(7, 64, 513), L"fpt", false},
        {"no block size", fpt_with(8, 0, 513), L"fpt", false},
        {"a short file", shrunk(fpt, 511), L"fpt", false},
        {"an empty file", "", L"fpt", false},
        {"text", std::string(600, 'x'), L"fpt", false},
        {"lines of text", std::string(40, '\n') + std::string(560, 'a'), L"fpt", false},
        {"a DBF table", build_dbf(0xF5, {{"M", 'M', 10}}, {}) + std::string(500, ' '), L"fpt",
         false},
        {"a DBT", empty_dbt(), L"dbt", true},
        {"a DBT with memos", with_le32(std::string(1100, 'm'), 0, 4), L"dbt", true},
        {"a DBT whose next free block is past the end", with_le32(std::string(1100, 'm'), 0, 5),
         L"dbt", false},
        {"a DBT without a next free block", with_le32(empty_dbt(), 0, 0), L"dbt", false},
        {"an SMT", empty_dbt(), L"smt", true},
        {"a DBT in an FPT's place", empty_dbt(), L"fpt", false},
        {"an FPT in a DBT's place", fpt, L"dbt", false},
        {"text in a DBT's place", std::string(600, 'x'), L"dbt", false},
    };
    for (const auto& c : cases) {
        // What the caller reads of the file: its first 512 bytes.
        EXPECT_EQ(dbf_is_memo_header(c.bytes.substr(0, 512), c.bytes.size(), c.extension), c.memo)
            << c.what;
    }
    // Only the head is at hand; the file's size decides what lies inside it.
    EXPECT_FALSE(dbf_is_memo_header(fpt.substr(0, 7), 513, L"fpt"));
    EXPECT_TRUE(dbf_is_memo_header(fpt.substr(0, 8), 513, L"fpt"));
}
