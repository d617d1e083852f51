// Whole runs of the built TALVORIN against the test server, and independent readers of
// what it wrote (python3-dbfread through scripts/dbf-read, python3-dbf).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct run_result {
    int code = -1;  // the exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs TALVORIN with the arguments, in the C locale (DBF code page 1252).
run_result run_talvorin(const std::vector<std::string>& args);
// Starts TALVORIN without waiting; its output goes to the given files. `locale` is the
// one locale variable of its environment: the DBF code page follows its language.
pid_t start_talvorin(const std::vector<std::string>& args, const std::string& out_file,
                     const std::string& err_file, const std::string& locale = "LC_ALL=C");
// Starts a program as start_talvorin does, with the standard streams numbered in
// `closed` closed, as cron or a service manager may start it.
pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& out_file, const std::string& err_file,
                    const std::vector<int>& closed = {});
// Waits for a started program; its exit status or 128 + signal.
int wait_talvorin(pid_t pid);
// wait_talvorin, but a program still running after `limit` is killed first.
int wait_at_most(pid_t pid, std::chrono::seconds limit);
// The started program waits in the opening of a pipe (a FIFO) for a writer.
bool waits_for_pipe_writer(pid_t pid);

// The source folder (TORVANE_SOURCE_DIR), where the tests keep their files.
std::string source_dir();

// --mysqlh=, --port=, --mysqlu= and --mysqlp= of the test server.
std::vector<std::string> server_args();
// server_args() followed by more.
std::vector<std::string> with_server(std::vector<std::string> more);

// A DBF table as read by an independent reader.
struct dbf_read {
    int version = -1;
    long records = -1;
    std::string fields;             // "NAME:T:len:dec NAME:T:len:dec ..."
    std::vector<std::string> rows;  // values joined with '|'; NULL for an empty value
    std::string error;              // what the reader said when it failed
};
// python3-dbf follows the version byte: it opens a table only as the format the byte
// names. python3-dbfread takes any.
enum class dbf_reader { dbfread, python_dbf };
dbf_read read_dbf(const std::string& path, dbf_reader reader = dbf_reader::dbfread);

// The record count of a DBF header (-1 when there is no such file).
long dbf_header_records(const std::string& path);

// What a stopped run left of a table of `total` records: some of them, and whole ones
// only (the header counts exactly the records the file holds).
void expect_whole_records_of_part(const std::string& dbf_path, uint64_t total);

// The usage text as the program prints it.
extern const char* const usage;
