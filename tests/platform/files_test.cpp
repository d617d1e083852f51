#include "platform/files.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/file_faults.hpp"
#include "tests/support/test_support.hpp"

namespace {

size_t entries(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

}  // namespace

TEST(replace_file, writes_the_whole_content_with_the_mode_asked_for) {
    tmp_dir d;
    std::string f = d.file("a.conf");
    write_file_bytes(f, "old and longer content");
    ::chmod(f.c_str(), 0644);
    ASSERT_EQ(pt::replace_file(f, "new", 0600), 0);
    EXPECT_EQ(read_file_bytes(f), "new");
    struct stat st;
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(entries(d.path()), 1u);  // no temporary file left behind

    EXPECT_EQ(pt::replace_file(d.file("missing/x"), "x", 0600), ENOENT);
    EXPECT_EQ(entries(d.path()), 1u);
}

// Each failure on the way to the rename: the old file stays whole, the error is the
// system's, and no temporary file is left.
TEST(atomic_writers, a_failure_on_the_way_leaves_the_old_file_and_nothing_else) {
    struct fault_case {
        const char* name;
        file_faults faults;
        int expected;
        int expected_new;  // a new file is not flushed: it has no old content to keep
    };
    const fault_case cases[] = {
        {"the write fails part way", {.write_budget = 1000, .write_error = EFBIG}, EFBIG, EFBIG},
        {"the first write fails", {.write_fails_at = 1}, ENOSPC, ENOSPC},
        {"fsync fails", {.fsync_error = EIO}, EIO, 0},
        {"rename fails", {.rename_error = EXDEV}, EXDEV, EXDEV},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tmp_dir d;
        std::string f = d.file("a.conf");
        write_file_bytes(f, "old");
        auto with_faults = [&](auto&& call) {
            file_fault_scope faults(c.faults);
            return call();
        };
        EXPECT_EQ(with_faults([&] { return pt::replace_file(f, std::string(5000, 'x'), 0600); }),
                  c.expected);
        EXPECT_EQ(with_faults([&] { return pt::create_file(d.file("n"), std::string(5000, 'x')); }),
                  c.expected_new);
        EXPECT_EQ(read_file_bytes(f), "old");
        EXPECT_EQ(entries(d.path()), c.expected_new == 0 ? 2u : 1u);
    }
}

// Interrupted calls and short transfers are the system's everyday answers: the data
// arrives whole all the same.
TEST(file_calls, go_on_through_interruptions_and_short_transfers) {
    struct transfer_case {
        const char* name;
        file_faults faults;
    };
    const transfer_case cases[] = {
        {"every call interrupted once", {.interrupt = true}},
        {"7 bytes a transfer", {.max_transfer = 7}},
        {"both", {.max_transfer = 7, .interrupt = true}},
    };
    std::string data(70001, 'x');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 23);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tmp_dir d;
        std::string back;
        {
            file_fault_scope faults(c.faults);
            ASSERT_EQ(pt::replace_file(d.file("r"), data, 0600), 0);
            ASSERT_EQ(pt::create_file(d.file("n"), data), 0);
            ASSERT_EQ(pt::read_file(d.file("r"), back), 0);
        }
        EXPECT_EQ(back, data);
        EXPECT_EQ(read_file_bytes(d.file("n")), data);
        EXPECT_EQ(entries(d.path()), 2u);  // no temporary file left behind
    }
}

TEST(create_file, never_replaces_what_is_there) {
    tmp_dir d;
    std::string f = d.file("t.dbf");
    ASSERT_EQ(pt::create_file(f, "first"), 0);
    EXPECT_EQ(pt::create_file(f, "second"), EEXIST);
    EXPECT_EQ(read_file_bytes(f), "first");
    EXPECT_EQ(entries(d.path()), 1u);
}

TEST(read_file, tells_a_file_that_cannot_be_opened_from_one_that_cannot_be_read) {
    tmp_dir d;
    std::string data = "stale";
    bool opened = true;
    EXPECT_EQ(pt::read_file(d.file("missing"), data, &opened), ENOENT);
    EXPECT_FALSE(opened);
    EXPECT_EQ(pt::read_file(d.path(), data, &opened), EISDIR);
    EXPECT_TRUE(opened);
    // More than one transfer's worth.
    const std::string big(200000, 'b');
    write_file_bytes(d.file("big"), big);
    ASSERT_EQ(pt::read_file(d.file("big"), data), 0);
    EXPECT_EQ(data, big);
}
