// The fuzz target's files, held in memory behind the platform's file calls, so that an
// input costs no disk traffic. Only the fuzz target and its regression test use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// While one lives, every file call of the process goes to an empty set of files in
// memory that has the current folder and nothing else. One at a time.
class dbf_fuzz_files {
  public:
    dbf_fuzz_files();
    ~dbf_fuzz_files();
    dbf_fuzz_files(const dbf_fuzz_files&) = delete;
    dbf_fuzz_files& operator=(const dbf_fuzz_files&) = delete;

    void add_folder(const std::string& path);
    void put(const std::string& path, const uint8_t* data, size_t size);
};
