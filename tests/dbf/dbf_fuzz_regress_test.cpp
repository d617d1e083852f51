// Every input that ever failed the fuzz target, with the outcome it must have now, and
// the seeds it starts from, run again.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/dbf/dbf_test_util.hpp"
#include "tests/dbf/fuzz/dbf_fuzz_one.hpp"

namespace {

std::string source_dir() {
    const char* root = std::getenv("TORVANE_SOURCE_DIR");
    return root ? root : ".";
}

std::map<std::string, std::string> files_of(const std::string& dir) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(source_dir() + dir, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.')
            files[name] = read_file_bytes(entry.path().string());
    }
    return files;
}

std::string run(const std::string& bytes) {
    reported_errors().clear();
    std::string outcome =
        dbf_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    // What the engine reports on its own (a missing memo file) must not be internal either.
    for (const auto& e : reported_errors())
        if (e.kind == tk_kind_internal) outcome += " (reported internal: " + e.message + ")";
    return outcome;
}

}  // namespace

TEST(dbf_fuzz, kept_inputs_have_their_expected_outcome) {
    error_handler handler(error_handler_code_count, error_handler_codes);
    // Named after what each one caught.
    const std::map<std::string, std::string> expected = {
        // A next free block far past the end of the memo file: appending made a sparse
        // file of gigabytes and reading it back took minutes.
        {"fpt-next-free-far-beyond-end", "read, not appended to: Memo file is corrupted"},
    };
    const auto kept = files_of("/tests/dbf/fuzz-regressions");
    for (const auto& [name, bytes] : kept) {
        auto it = expected.find(name);
        if (it == expected.end()) {
            ADD_FAILURE() << name << " is kept without an expected outcome: name it after what it "
                          << "caught and add it here (it gives \"" << run(bytes) << "\")";
            continue;
        }
        EXPECT_EQ(run(bytes), it->second) << name;
    }
    EXPECT_EQ(kept.size(), expected.size());
}

TEST(dbf_fuzz, seeds_are_read) {
    error_handler handler(error_handler_code_count, error_handler_codes);
    const auto seeds = files_of("/tests/dbf/fuzz-seeds");
    EXPECT_FALSE(seeds.empty());
    for (const auto& [name, bytes] : seeds) EXPECT_EQ(run(bytes).rfind("read", 0), 0u) << name;
}
