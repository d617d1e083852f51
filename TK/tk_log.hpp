// The trace logger and its printers. A line below the threshold, or with no
// enabled logger, costs one check: the arguments are not even evaluated.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_fmt.hpp"
#include "TK/tk_singl.hpp"

class tk_logger : public tk_singleton<tk_logger> {
  public:
    // A null name gives the program's path with the extension ".log".
    tk_logger(const char* file_name, bool enabled, int32_t threshold, bool time_stamps);
    ~tk_logger() override = default;

    void set_file_name(const char* name);
    void set_enabled(bool on) { enabled_ = on; }
    const std::string& file_name() const { return file_name_; }
    bool enabled() const { return enabled_; }
    int32_t threshold() const { return threshold_; }
    bool truncated() const { return truncated_; }

    // Empties the file the first time it is called while enabled.
    void truncate_once();
    // Appends one line: optional time stamp, the text, CR LF.
    void write_line(const std::string& utf8_text);

  private:
    std::string file_name_;
    int32_t threshold_;
    bool crlf_ = true;
    bool enabled_;
    bool truncated_ = false;
    bool time_stamps_;
    std::mutex mutex_;
};

// True when a line of this level will be written. Runs the truncate-once step first,
// so the first trace call after enabling empties the file whatever its level.
inline bool tk_log_on(int level) {
    tk_logger* l = tk_logger::find();
    if (!l || !l->enabled()) return false;
    if (!l->truncated()) l->truncate_once();
    return level >= l->threshold();
}

// Trace lines of work that a helper thread does ahead of time (the reader of a table's
// rows), kept and written when the work is taken over: the log then reads as if the
// work had been done at that moment, whatever the threads' timing.
class tk_log_capture {
  public:
    // Writes the lines kept and forgets them.
    void replay();
    bool empty() const { return lines_.empty(); }

  private:
    friend void tk_log_put(std::string&& line);
    std::vector<std::string> lines_;
};

// While it lives, the trace lines of the calling thread go to the capture.
class tk_log_capture_scope {
  public:
    explicit tk_log_capture_scope(tk_log_capture& capture);
    ~tk_log_capture_scope();
    tk_log_capture_scope(const tk_log_capture_scope&) = delete;
    tk_log_capture_scope& operator=(const tk_log_capture_scope&) = delete;

  private:
    tk_log_capture* previous_;
};

// One formatted line to the log, or to the thread's capture.
void tk_log_put(std::string&& line);

template <class... A>
void tk_log_write(std::string_view fmt, const A&... a) {
    if (tk_logger::find()) tk_log_put(tk_format(fmt, a...));
}

template <class... A>
void tk_log_write(std::wstring_view fmt, const A&... a) {
    if (tk_logger::find()) {
        const tk_fmt_arg args[sizeof...(A) + 1] = {tk_fmt_detail::make(a)...};
        tk_log_put(tk_vformat(fmt, std::span<const tk_fmt_arg>(args, sizeof...(A))));
    }
}

// tk_log_printf(level, narrow format, args...) and tk_log_wprintf(level, wide format,
// args...): the level test comes before the arguments are built.
#define tk_log_printf(level, ...)                            \
    do {                                                     \
        if (::tk_log_on(level)) ::tk_log_write(__VA_ARGS__); \
    } while (0)
#define tk_log_wprintf(level, ...)                           \
    do {                                                     \
        if (::tk_log_on(level)) ::tk_log_write(__VA_ARGS__); \
    } while (0)
