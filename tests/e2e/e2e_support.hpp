// Whole runs of the built TALVORIN against the test server, and an independent reader
// of what it wrote (python3-dbfread through scripts/dbf-read).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct run_result {
    int code = -1;  // the exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs TALVORIN with the arguments, in the C locale (DBF code page 1252).
run_result run_talvorin(const std::vector<std::string>& args);
// Starts TALVORIN without waiting; its output goes to the given files.
pid_t start_talvorin(const std::vector<std::string>& args, const std::string& out_file,
                     const std::string& err_file);
// Waits for a started program; its exit status or 128 + signal.
int wait_talvorin(pid_t pid);

// --mysqlh=, --port=, --mysqlu= and --mysqlp= of the test server.
std::vector<std::string> server_args();
// server_args() followed by more.
std::vector<std::string> with_server(std::vector<std::string> more);

// A DBF table as read by the independent reader.
struct dbf_read {
    int version = -1;
    long records = -1;
    std::string fields;             // "NAME:T:len:dec NAME:T:len:dec ..."
    std::vector<std::string> rows;  // values joined with '|'; NULL for an empty value
    std::string error;              // what the reader said when it failed
};
dbf_read read_dbf(const std::string& path);

// The record count of a DBF header (-1 when there is no such file).
long dbf_header_records(const std::string& path);

// The usage text as the program prints it.
extern const char* const usage;
