#include "platform/files.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

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

TEST(replace_file, a_write_that_fails_halfway_leaves_the_old_file_whole) {
    tmp_dir d;
    std::string f = d.file("a.conf");
    write_file_bytes(f, "old");
    // A file-size limit makes the write fail part way, for root as well.
    struct rlimit old_limit;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int err = pt::replace_file(f, std::string(5000, 'x'), 0600);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(read_file_bytes(f), "old");
    EXPECT_EQ(entries(d.path()), 1u);
}
