#include "TK/tk_log.hpp"

#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "TK/tk_fname.hpp"
#include "TK/tk_utils.hpp"

namespace {

// A relative log path is pinned to the folder it was given in.
std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    return tk_file_name(path).make_path();
}

}  // namespace

// Building the name traces through this very logger, so it stays disabled until the
// name is known: enabled earlier, the first trace would spend truncate-once on no file.
tk_logger::tk_logger(const char* file_name, bool enabled, int32_t threshold, bool time_stamps)
    : threshold_(threshold), enabled_(false), time_stamps_(time_stamps) {
    if (file_name) {
        file_name_ = absolute(file_name);
    } else {
        tk_file_name module(tk_get_module_path());
        module.set_extension(".log");
        file_name_ = module.make_path();
    }
    enabled_ = enabled;
    if (enabled_) truncate_once();
}

void tk_logger::set_file_name(const char* name) {
    if (!name) throw tk_mail_assertion("..\\TK/tk_log.hpp", 82);
    // Outside the lock: making the path absolute writes trace lines, which take it.
    std::string path = absolute(name);
    std::lock_guard lock(mutex_);
    file_name_ = std::move(path);
}

void tk_logger::truncate_once() {
    std::lock_guard lock(mutex_);
    if (!enabled_ || truncated_) return;
    truncated_ = true;  // set whether or not the file could be opened
    if (FILE* f = std::fopen(file_name_.c_str(), "wb")) std::fclose(f);
}

void tk_logger::write_line(const std::string& text) {
    std::lock_guard lock(mutex_);
    FILE* f = std::fopen(file_name_.c_str(), "ab");
    if (!f) return;  // the line is lost; the next one tries again
    std::string line;
    line.reserve(text.size() + 11);
    if (time_stamps_) {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", tm.tm_hour, tm.tm_min, tm.tm_sec);
        line += stamp;
    }
    line += text;
    if (crlf_) line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

namespace {

thread_local tk_log_capture* capturing = nullptr;

}  // namespace

void tk_log_put(std::string&& line) {
    if (capturing) {
        capturing->lines_.push_back(std::move(line));
        return;
    }
    if (tk_logger* l = tk_logger::find()) l->write_line(line);
}

void tk_log_capture::replay() {
    std::vector<std::string> lines = std::move(lines_);
    lines_.clear();
    for (std::string& line : lines) tk_log_put(std::move(line));
}

tk_log_capture_scope::tk_log_capture_scope(tk_log_capture& capture) : previous_(capturing) {
    capturing = &capture;
}

tk_log_capture_scope::~tk_log_capture_scope() {
    capturing = previous_;
}
