#include "TK/tk_threa.hpp"

#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include "TK/tk_except.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files.hpp"

using namespace std::chrono_literals;

void tk_thread_functor::operator()() {
    while (!is_done()) {
        if (stop_requested()) return;
        idle();
    }
    on_done();
}

void tk_thread_functor::idle() {
    std::this_thread::sleep_for(100ms);
}

tk_thread::tk_thread(bool owns_functor) : owns_functor_(owns_functor ? 1 : 0) {}

tk_thread::~tk_thread() {
    if (thread_.joinable()) {
        if (!wait_finished(10ms) && !wait_finished(10ms)) {
            tk_log_printf(2, "tk_thread::dtor - asking the worker to stop");
            if (functor_) functor_->request_stop();
        }
        thread_.join();
    }
    try {
        reset();
    } catch (...) {
        // The destructor never raises; the thread has ended, so reset cannot fail here.
    }
}

bool tk_thread::wait_finished(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return finished_cv_.wait_for(lock, limit, [this] { return finished_; });
}

bool tk_thread::is_running() {
    return thread_.joinable() && !wait_finished(10ms);
}

bool tk_thread::finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

std::exception_ptr tk_thread::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

tk_thread_functor* tk_thread::create_functor() {
    return new tk_thread_functor;
}

void tk_thread::start() {
    tk_log_printf(2, "tk_thread::start");
    if (is_running()) throw tk_mail_assertion("tk_threa.cpp", 92);
    reset();
    functor_ = create_functor();
    if (!functor_) throw tk_mail_assertion("tk_threa.cpp", 105);
    functor_->clear_stop();
    {
        std::lock_guard lock(mutex_);
        finished_ = false;
        error_ = nullptr;
    }
    try {
        thread_ = std::thread(&tk_thread::entry, this, functor_);
    } catch (const std::system_error& e) {
        // No thread, so no run: the caller must not wait for one.
        reset();
        throw tk_exception_ex("Cannot start the worker thread", tk_kind_error, e.code().value());
    }
}

void tk_thread::reset() {
    tk_log_printf(1, "tk_thread::reset");
    if (is_running()) throw tk_mail_assertion("tk_threa.cpp", 71);
    if (thread_.joinable()) thread_.join();
    if (owns_functor_) delete functor_;
    functor_ = nullptr;
    std::lock_guard lock(mutex_);
    finished_ = false;
    error_ = nullptr;
}

void tk_thread::entry(tk_thread* self, tk_thread_functor* functor) {
    std::exception_ptr error;
    // Nothing may leave a thread's entry: an escaped exception would end the process.
    try {
        if (!functor) throw tk_mail_assertion("tk_threa.cpp", 149);
        (*functor)();
    } catch (const std::exception& e) {
        tk_log_printf(2, "tk_thread: the run ended with an exception: %s", e.what());
        error = std::current_exception();
    } catch (...) {
        tk_log_printf(2, "tk_thread: the run ended with an exception");
        error = std::current_exception();
    }
    std::lock_guard lock(self->mutex_);
    self->error_ = error;
    self->finished_ = true;
    self->finished_cv_.notify_all();
}

tk_converter::tk_converter() {
    tk_log_printf(2, "tk_converter::ctor");
}

void tk_converter::set_logfile(const std::string& path) {
    tk_log_printf(1, "tk_convertor::set_logfile(%s)", path);
    tk_logger* logger = tk_logger::find();
    if (!logger) return;
    log_file_ = path;
    if (path.empty()) {
        tk_log_printf(1, "Filename is empty");
        return;
    }
    if (tk_is_path_exist(path))
        throw tk_exception("Logfile name specifies an existing path.", tk_kind_error);
    // A file without write bits, or one this user may not write, cannot take the log.
    if (tk_is_file_exist1(path, tk_exist_file) &&
        (!tk_is_file_exist1(path, tk_exist_writable) || ::access(path.c_str(), W_OK) != 0))
        throw tk_exception("Logfile name specifies an existing read-only file.", tk_kind_error);
    std::string folder = tk_file_name(path).get_drive_dir();
    if (!tk_is_path_exist(folder))
        throw tk_exception(
            "Logfile path does not exist.\nPlease verify the correct path was given.",
            tk_kind_error);
    if (!tk_has_write_access(folder))
        throw tk_exception(
            "Cannot create log file. Make sure you have sufficient\nprivileges to create files in "
            "the directory.",
            tk_kind_error);
    // The checks above let through names the file system still refuses (one too long,
    // for one): open the file now, so that the run never goes on without its log.
    int fd = -1;
    if (int err = pt::open_file(path, O_WRONLY | O_CREAT | O_APPEND, 0666, fd))
        throw tk_exception_ex("Cannot create log file " + path, tk_kind_error, err);
    pt::close_file(fd);
    logger->set_file_name(path.c_str());
    logger->set_enabled(true);
}
