#include "tests/support/test_support.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/text.hpp"

on_cpus::on_cpus(size_t n) {
    if (sched_getaffinity(0, sizeof saved_, &saved_) != 0)
        throw std::runtime_error("sched_getaffinity");
    cpu_set_t some;
    CPU_ZERO(&some);
    for (int cpu = 0; cpu < CPU_SETSIZE && static_cast<size_t>(CPU_COUNT(&some)) < n; ++cpu)
        if (CPU_ISSET(cpu, &saved_)) CPU_SET(cpu, &some);
    if (static_cast<size_t>(CPU_COUNT(&some)) != n || sched_setaffinity(0, sizeof some, &some) != 0)
        throw std::runtime_error("cannot keep the test to " + std::to_string(n) + " CPUs");
}

on_cpus::~on_cpus() {
    sched_setaffinity(0, sizeof saved_, &saved_);
}

size_t on_cpus::available() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 0;
    return static_cast<size_t>(CPU_COUNT(&set));
}

tmp_dir::tmp_dir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "torvane-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

tmp_dir::~tmp_dir() {
    std::error_code ec;
    // Tests may leave read-only entries behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::wstring tmp_dir::wpath() const {
    return pt::utf8_decode(path_);
}

std::vector<std::string> tmp_dir::files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_file_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void write_file_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const test_server& test_server::get() {
    static const test_server s = [] {
        test_server t;
        const char* env = std::getenv("TORVANE_TEST_SERVER_ENV");
        if (!env || !*env) {
            t.why_unavailable =
                "no test server: run through ctest, which starts scripts/test-server";
            return t;
        }
        std::ifstream f(env);
        if (!f) {
            t.why_unavailable = std::string("test server environment not found: ") + env;
            return t;
        }
        std::string line;
        std::string state;
        while (std::getline(f, line)) {
            auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string k = line.substr(0, eq), v = line.substr(eq + 1);
            if (k == "TORVANE_TEST_SERVER") state = v;
            if (k == "TORVANE_TEST_HOST") t.host = v;
            if (k == "TORVANE_TEST_PORT") t.port = static_cast<unsigned>(std::stoul(v));
            if (k == "TORVANE_TEST_USER") t.user = v;
            if (k == "TORVANE_TEST_PASSWORD") t.password = v;
            if (k == "TORVANE_TEST_SOCKET") t.socket = v;
        }
        t.available = state == "running";
        if (!t.available) t.why_unavailable = "mariadbd is not installed; server tests skipped";
        return t;
    }();
    return s;
}
