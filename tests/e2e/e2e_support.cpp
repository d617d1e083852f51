#include "tests/e2e/e2e_support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/test_support.hpp"

namespace {

// The environment of a child: ours, with `locale` its one locale variable.
std::vector<std::string> child_environment(const std::string& locale) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v(*e);
        if (v.rfind("LC_", 0) == 0 || v.rfind("LANG=", 0) == 0 || v.rfind("LANGUAGE=", 0) == 0 ||
            v.rfind("DBF_ENCODING=", 0) == 0 || v.rfind("PYTHONIOENCODING=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back(locale);
    env.push_back("PYTHONIOENCODING=utf-8");
    return env;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& out_file, const std::string& err_file,
            const std::vector<int>& closed = {}, const std::string& locale = "LC_ALL=C") {
    std::vector<std::string> env = child_environment(locale);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (int fd : closed) close(fd);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

run_result run_program(const std::string& program, const std::vector<std::string>& args) {
    tmp_dir d;
    run_result r;
    r.code = wait_talvorin(spawn(program, args, d.file("out"), d.file("err")));
    r.out = read_file_bytes(d.file("out"));
    r.err = read_file_bytes(d.file("err"));
    return r;
}

}  // namespace

std::string source_dir() {
    const char* d = std::getenv("TORVANE_SOURCE_DIR");
    return d ? d : ".";
}

run_result run_talvorin(const std::vector<std::string>& args) {
    return run_program(TALVORIN_BINARY, args);
}

pid_t start_talvorin(const std::vector<std::string>& args, const std::string& out_file,
                     const std::string& err_file, const std::string& locale) {
    return spawn(TALVORIN_BINARY, args, out_file, err_file, {}, locale);
}

pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    const std::string& out_file, const std::string& err_file,
                    const std::vector<int>& closed) {
    return spawn(program, args, out_file, err_file, closed);
}

int wait_at_most(pid_t pid, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid != 0)
            return wait_talvorin(pid);
        if (std::chrono::steady_clock::now() > end) kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool waits_for_pipe_writer(pid_t pid) {
    return read_file_bytes("/proc/" + std::to_string(pid) + "/wchan") == "wait_for_partner";
}

int wait_talvorin(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::vector<std::string> server_args() {
    const test_server& s = test_server::get();
    return {"--mysqlh=" + s.host, "--port=" + std::to_string(s.port), "--mysqlu=" + s.user,
            "--mysqlp=" + s.password};
}

std::vector<std::string> with_server(std::vector<std::string> more) {
    std::vector<std::string> all = server_args();
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

dbf_read read_dbf(const std::string& path, dbf_reader reader) {
    dbf_read t;
    run_result r = run_program(
        "/usr/bin/python3",
        reader == dbf_reader::dbfread
            ? std::vector<std::string>{source_dir() + "/scripts/dbf-read", "dump", path}
            : std::vector<std::string>{source_dir() + "/tests/support/dbf_dump.py", path});
    if (r.code != 0) {
        t.error = r.err.empty() ? "reader exit " + std::to_string(r.code) : r.err;
        return t;
    }
    std::istringstream in(r.out);
    std::string line;
    if (std::getline(in, line)) {
        unsigned version = 0;
        long records = 0;
        if (std::sscanf(line.c_str(), "version=0x%x records=%ld", &version, &records) == 2) {
            t.version = static_cast<int>(version);
            t.records = records;
        }
    }
    if (std::getline(in, line) && line.rfind("fields=", 0) == 0) t.fields = line.substr(7);
    while (std::getline(in, line)) t.rows.push_back(line);
    return t;
}

long dbf_header_records(const std::string& path) {
    if (!std::filesystem::exists(path)) return -1;
    const std::string head = read_file_bytes(path).substr(0, 8);
    if (head.size() < 8) return -2;
    return static_cast<unsigned char>(head[4]) | static_cast<unsigned char>(head[5]) << 8 |
           static_cast<unsigned char>(head[6]) << 16 | static_cast<unsigned char>(head[7]) << 24;
}

void expect_whole_records_of_part(const std::string& dbf_path, uint64_t total) {
    const std::string dbf = read_file_bytes(dbf_path);
    ASSERT_GE(dbf.size(), 32u);
    const uint64_t count = le32_at(dbf, 4);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, total);
    EXPECT_EQ(le16_at(dbf, 8) + count * le16_at(dbf, 10), dbf.size());
}

const char* const usage =
    "TALVORIN v4.3\n"
    "Usage: TALVORIN.EXE OPTIONS\n"
    "\n"
    "   --blob2memo    convert MySQL BLOB into DBF MEMO\n"
    "   --dest=...     path to DBF database name\n"
    "   --help         display this help message and exit\n"
    "   --logfile=...  path to the file where execution trace will be written\n"
    "   --mode=...     how to process an existing DBF database\n"
    "                  (0 - overwrite the entire database, 1 - overwrite existing\n"
    "                  tables only, 2 - skip existing tables, 3 - merge)\n"
    "   --mysqlh=...   MySQL server IP address or network name\n"
    "   --mysqlu=...   MySQL user name\n"
    "   --mysqlp=...   MySQL user password\n"
    "   --port=...     MySQL port\n"
    "   --profile=...  path to the file to load conversion settings from\n"
    "   --silent       disable program output\n"
    "   --skip_idx     skip converting indexes\n"
    "   --src=...      MySQL database name\n"
    "   --tab_def      convert table definitions only\n"
    "   --tab_file=... file containing the list of tables to convert\n"
    "                  (one table name per line)\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'mysqlh' parameter to connect local MySQL server.\n"
    "   2) It is necessary to specify 'port' parameter only if it differs from\n"
    "      the default MySQL port 3306.\n"
    "   3) If you omit 'tab_file' parameter, all database tables will be converted\n"
    "   4) If you omit 'mode' parameter, default mode 'overwrite the entire\n"
    "      database' will be used.\n"
    "   5) Command line parameters that contain spaces must be enclosed in quotes\n"
    "      (for example --dest=\"my database\")\n";
