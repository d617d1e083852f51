#include "TK/tk_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "TK/tk_except.hpp"
#include "tests/support/file_faults.hpp"
#include "tests/support/test_support.hpp"

namespace {

std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const tk_exception& e) {
        return e.what();
    }
    return "(no exception)";
}

}  // namespace

TEST(tk_memory_file, grows_with_zeros_and_writes_back_on_destruction) {
    tmp_dir d;
    std::string f = d.file("h.dbf");
    {
        tk_memory_file m(f, tk_file_create);
        EXPECT_EQ(m.get_size(), 0u);
        std::string a(32, 'A');
        m.put_at(0, a.data(), 32);
        uint8_t one = 0x0D;
        m.put_at(64, &one, 1);
        EXPECT_EQ(m.get_size(), 65u);
    }
    std::string bytes = read_file_bytes(f);
    ASSERT_EQ(bytes.size(), 65u);
    EXPECT_EQ(bytes.substr(0, 32), std::string(32, 'A'));
    EXPECT_EQ(bytes.substr(32, 32), std::string(32, '\0'));
    EXPECT_EQ(bytes[64], '\x0D');
}

TEST(tk_memory_file, reads_are_range_checked) {
    tmp_dir d;
    std::string f = d.file("r");
    std::string content(64, 'x');
    content[0] = 1, content[1] = 2, content[2] = 3, content[3] = 4;
    write_file_bytes(f, content);
    tk_memory_file m(f, tk_file_read);
    EXPECT_EQ(m.get_ulong(0), 0x04030201u);
    EXPECT_EQ(m.get_ushort(1), 0x0302u);
    uint8_t buf[4];
    struct {
        uint32_t offset, length;
        bool ok;
    } cases[] = {{60, 4, true},
                 {62, 4, false},
                 {64, 0, true},
                 {0xFFFFFFF0u, 0x20, false},
                 {1, 0xFFFFFFFFu, false}};
    for (const auto& c : cases) {
        std::vector<uint8_t> big(c.ok ? c.length : 0);
        auto read = [&] { m.get_at(c.offset, c.ok ? big.data() : buf, c.length); };
        EXPECT_EQ(message_of(read),
                  c.ok ? "(no exception)" : "Cannot read from file " + f + ": it ends too early")
            << c.offset << "+" << c.length;
    }
}

TEST(tk_memory_file, opening_rules) {
    tmp_dir d;
    EXPECT_EQ(message_of([&] { tk_memory_file m(d.file("missing"), tk_file_read); }),
              "Cannot open file " + d.file("missing") + ": No such file or directory");
    // A read-only file is never written back.
    std::string f = d.file("ro");
    write_file_bytes(f, "abc");
    {
        tk_memory_file m(f, tk_file_read);
        EXPECT_THROW(m.flush(), tk_mail_assertion);
    }
    EXPECT_EQ(read_file_bytes(f), "abc");
    // An explicit flush reports a failed write-back.
    std::string gone = d.file("sub/x");
    ::mkdir(d.file("sub").c_str(), 0755);
    tk_memory_file m(gone, tk_file_create);
    ::unlink(gone.c_str());
    ::rmdir(d.file("sub").c_str());
    EXPECT_EQ(message_of([&] { m.flush(); }),
              "Cannot write into file " + gone + ": No such file or directory");
}

TEST(tk_huge_file, read_only_open_of_a_missing_file_creates_nothing) {
    tmp_dir d;
    const std::string none = "Cannot open file " + d.file("none") + ": No such file or directory";
    EXPECT_EQ(message_of([&] { tk_huge_file h(d.file("none"), false); }), none);
    EXPECT_EQ(::access(d.file("none").c_str(), F_OK), -1);
    tk_huge_file w(d.file("new"), true);
    EXPECT_EQ(w.get_size(), 0);
    uint8_t b;
    EXPECT_EQ(message_of([&] { w.get_at(0, &b, 1); }),
              "Cannot read from file " + d.file("new") + ": it ends too early");
    // A writable open that must not create fails like a read-only one.
    EXPECT_EQ(message_of([&] { tk_huge_file h(d.file("none"), true, false); }), none);
    EXPECT_EQ(::access(d.file("none").c_str(), F_OK), -1);
}

TEST(tk_huge_file, offsets_past_4_gib_on_a_sparse_file) {
    tmp_dir d;
    tk_huge_file h(d.file("sparse"), true);
    const int64_t far = (int64_t{5} << 30) + 3;
    uint8_t v[4] = {0x78, 0x56, 0x34, 0x12};
    h.put_at(far, v, 4);
    EXPECT_EQ(h.get_size(), far + 4);
    EXPECT_EQ(h.get_ulong(far), 0x12345678u);
    EXPECT_EQ(h.get_ushort(far + 2), 0x1234u);
    EXPECT_EQ(h.get_byte(far - 1), 0);
    h.set_size(far);
    EXPECT_EQ(h.get_size(), far);
}

TEST(tk_huge_file, a_write_that_cannot_complete_raises) {
    {
        tk_huge_file full("/dev/full", true);
        uint8_t b[16] = {};
        EXPECT_EQ(message_of([&] { full.put_at(0, b, 16); }),
                  "Cannot write into file /dev/full: No space left on device");
    }
    // A short write: the disk takes part of the data, then is full.
    tmp_dir d;
    tk_huge_file h(d.file("limited"), true);
    std::string data(150, 'z');
    std::string msg;
    {
        file_fault_scope faults({.write_budget = 100, .write_error = EFBIG});
        msg = message_of([&] { h.put_at(0, data.data(), 150); });
    }
    EXPECT_EQ(msg, "Cannot write into file " + d.file("limited") + ": File too large");
    EXPECT_EQ(h.get_size(), 100);
}
