// Helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>
#include <sched.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "TK/tk_bytes.hpp"
#include "TK/tk_except.hpp"

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
    // The names of the folder's entries, sorted.
    std::vector<std::string> files() const;

  private:
    std::string path_;
};

// Keeps the calling thread, and the threads and programs it starts from now on, to the
// first `n` of the CPUs it may run on, until the end of the scope.
class on_cpus {
  public:
    explicit on_cpus(size_t n);
    ~on_cpus();
    on_cpus(const on_cpus&) = delete;
    on_cpus& operator=(const on_cpus&) = delete;

    // The CPUs the calling thread may run on.
    static size_t available();

  private:
    cpu_set_t saved_;
};

std::string read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::string& bytes);

// The kind and text of the tk_exception that `f` raises; {-1, ""} when it raises none.
template <class F>
std::pair<int, std::string> error_of(F&& f) {
    try {
        f();
    } catch (const tk_exception& e) {
        return {e.kind(), e.what()};
    }
    return {-1, ""};
}

// Numbers in byte layouts as strings of bytes, and read back from such strings.
inline std::string le16s(uint16_t v) {
    std::string s(2, '\0');
    tk_put_le16(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}
inline std::string le32s(uint32_t v) {
    std::string s(4, '\0');
    tk_put_le32(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}
inline std::string be32s(uint32_t v) {
    std::string s(4, '\0');
    tk_put_be32(reinterpret_cast<uint8_t*>(s.data()), v);
    return s;
}
inline const uint8_t* bytes_at(const std::string& s, size_t at) {
    return reinterpret_cast<const uint8_t*>(s.data() + at);
}
inline uint16_t le16_at(const std::string& s, size_t at) {
    return tk_le16(bytes_at(s, at));
}
inline uint32_t le32_at(const std::string& s, size_t at) {
    return tk_le32(bytes_at(s, at));
}
inline uint32_t be32_at(const std::string& s, size_t at) {
    return tk_be32(bytes_at(s, at));
}

// Damaged copies of a file's bytes, for the readers' tests.
inline std::string with_bytes(std::string s, size_t at, const std::string& bytes) {
    return s.replace(at, bytes.size(), bytes);
}
inline std::string with_byte(std::string s, size_t at, uint8_t v) {
    s[at] = static_cast<char>(v);
    return s;
}
inline std::string with_le16(std::string s, size_t at, uint16_t v) {
    return with_bytes(std::move(s), at, le16s(v));
}
inline std::string with_le32(std::string s, size_t at, uint32_t v) {
    return with_bytes(std::move(s), at, le32s(v));
}
inline std::string with_be32(std::string s, size_t at, uint32_t v) {
    return with_bytes(std::move(s), at, be32s(v));
}
inline std::string shrunk(std::string s, size_t size) {
    s.resize(size);
    return s;
}

// A DBF table without fields or records, for a folder where any table will do: what
// mode 0 deletes, unlike a file that is not a table.
inline std::string any_dbf_table() {
    std::string t(33, '\0');
    t[0] = 0x03;  // dBASE III, no memo
    t[8] = 33;    // header length
    t[10] = 1;    // record length: the deletion flag
    t[32] = 0x0D;
    return t;
}

// The throwaway MariaDB server that the CTest fixture starts.
struct test_server {
    bool available = false;
    std::string host, user, password, socket;
    unsigned port = 0;
    std::string why_unavailable;

    static const test_server& get();
};

// Skips the test with a clear message when no server can be had here.
#define REQUIRE_TEST_SERVER()                                                                  \
    do {                                                                                       \
        if (!test_server::get().available) GTEST_SKIP() << test_server::get().why_unavailable; \
    } while (0)

// What the test programs' error handler was given, in order.
struct reported_error {
    int32_t kind;
    std::string message;
    bool outermost;
};
std::vector<reported_error>& reported_errors();
