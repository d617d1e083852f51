// Helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// A fresh temporary folder, removed with everything in it at the end of the test.
class tmp_dir {
public:
    tmp_dir();
    ~tmp_dir();
    tmp_dir(const tmp_dir&) = delete;
    tmp_dir& operator=(const tmp_dir&) = delete;

    const std::string& path() const { return path_; }
    std::wstring wpath() const;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::string& bytes);

// The throwaway MariaDB server that the CTest fixture starts.
struct test_server {
    bool available = false;
    std::string host, user, password, socket;
    unsigned port = 0;
    std::string why_unavailable;

    static const test_server& get();
};

// Skips the test with a clear message when no server can be had here.
#define REQUIRE_TEST_SERVER()                                                  \
    do {                                                                       \
        if (!test_server::get().available)                                     \
            GTEST_SKIP() << test_server::get().why_unavailable;                \
    } while (0)

// What the test programs' error handler was given, in order.
struct reported_error {
    int32_t kind;
    std::string message;
    bool outermost;
};
std::vector<reported_error>& reported_errors();
