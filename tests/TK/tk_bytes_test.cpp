// Byte layouts: each width and order writes the bytes it reads, lowest address first.
#include <gtest/gtest.h>

#include <array>

#include "TK/tk_bytes.hpp"

namespace {

// Every byte differs and the top bit of the top byte is set, so that a swapped byte, a
// lost byte or a sign extension shows.
constexpr uint8_t pattern[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

}  // namespace

TEST(tk_bytes, each_layout_reads_and_writes_the_same_bytes) {
    const struct {
        const char* name;
        size_t size;
        uint64_t value;  // of `pattern` read in this layout
        uint64_t (*get)(const uint8_t*);
        void (*put)(uint8_t*, uint64_t);
    } cases[] = {
        {"le16", 2, 0x2301, [](const uint8_t* p) -> uint64_t { return tk_le16(p); },
         [](uint8_t* p, uint64_t v) { tk_put_le16(p, static_cast<uint16_t>(v)); }},
        {"le32", 4, 0x67452301, [](const uint8_t* p) -> uint64_t { return tk_le32(p); },
         [](uint8_t* p, uint64_t v) { tk_put_le32(p, static_cast<uint32_t>(v)); }},
        {"le64", 8, 0xEFCDAB8967452301, [](const uint8_t* p) -> uint64_t { return tk_le64(p); },
         [](uint8_t* p, uint64_t v) { tk_put_le64(p, v); }},
        {"be32", 4, 0x01234567, [](const uint8_t* p) -> uint64_t { return tk_be32(p); },
         [](uint8_t* p, uint64_t v) { tk_put_be32(p, static_cast<uint32_t>(v)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.get(pattern), c.value);
        // Writing touches exactly its own bytes.
        std::array<uint8_t, 10> out;
        out.fill(0x5A);
        c.put(out.data() + 1, c.value);
        EXPECT_EQ(out[0], 0x5A);
        EXPECT_EQ(out[1 + c.size], 0x5A);
        EXPECT_TRUE(std::equal(pattern, pattern + c.size, out.data() + 1));
    }
    // A high bit in the top byte gives a large number, never a negative one.
    const uint8_t high[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(tk_le32(high), 0xFFFFFFFFu);
    EXPECT_EQ(tk_be32(high), 0xFFFFFFFFu);
    static_assert(tk_le16(pattern) == 0x2301);
}
