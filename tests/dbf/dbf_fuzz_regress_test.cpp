// Every input that ever crashed the fuzz target, and the seeds it starts from, run again.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/dbf/dbf_test_util.hpp"
#include "tests/dbf/fuzz/dbf_fuzz_one.hpp"

TEST(dbf_fuzz, kept_inputs_run_cleanly) {
    const char* root = std::getenv("TORVANE_SOURCE_DIR");
    ASSERT_TRUE(root);
    error_handler handler(error_handler_code_count, error_handler_codes);
    size_t count = 0;
    for (const char* dir : {"/tests/dbf/fuzz-regressions", "/tests/dbf/fuzz-seeds"}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(root) + dir, ec)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
            std::string bytes = read_file_bytes(entry.path().string());
            SCOPED_TRACE(entry.path().string());
            reported_errors().clear();
            dbf_fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++count;
        }
    }
    EXPECT_GT(count, 0u);
}
