// A worker thread that runs a functor's run operation, and the first converter class
// over the functor (flags, paths and the log-file set-up every converter has).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

class tk_thread_functor {
  public:
    tk_thread_functor() = default;
    virtual ~tk_thread_functor() = default;
    tk_thread_functor(const tk_thread_functor&) = delete;
    tk_thread_functor& operator=(const tk_thread_functor&) = delete;

    // The run operation: idles until is_done, then on_done. A stop request ends the
    // loop too (without on_done).
    virtual void operator()();
    virtual bool is_done() { return false; }
    virtual void idle();
    virtual void on_done() {}

    // A worker is never killed: its owner asks it to stop, and the run checks this flag
    // between records and between tables and ends the way an Abort does.
    void request_stop() noexcept { stop_.store(true, std::memory_order_relaxed); }
    void clear_stop() noexcept { stop_.store(false, std::memory_order_relaxed); }
    bool stop_requested() const noexcept { return stop_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> stop_{false};
};

class tk_thread {
  public:
    // owns_functor: the thread deletes the functor that create_functor gives.
    explicit tk_thread(bool owns_functor = true);
    // Gives a running worker about 20 ms to end, then asks it to stop and waits for it.
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    void start();
    // Forgets a finished run: joins it and deletes an owned functor.
    void reset();
    // True when a run was started and has not ended within a 10 ms wait.
    bool is_running();
    // True when a run was started and has ended; never waits.
    bool finished() const;

    tk_thread_functor* functor() const { return functor_; }
    // An exception that escaped the run operation, kept for the owner; null otherwise.
    std::exception_ptr error() const;

  protected:
    virtual tk_thread_functor* create_functor();

  private:
    static void entry(tk_thread* self, tk_thread_functor* functor);
    bool wait_finished(std::chrono::milliseconds limit);

    std::thread thread_;
    int32_t owns_functor_;
    tk_thread_functor* functor_ = nullptr;

    mutable std::mutex mutex_;
    std::condition_variable finished_cv_;
    bool finished_ = false;
    std::exception_ptr error_;
};

class tk_converter : public tk_thread_functor {
  public:
    tk_converter();
    ~tk_converter() override = default;

    virtual void set_silent(bool on) { silent_ = on; }
    bool silent() const { return silent_; }

    // Set when a run has ended; read by another thread while the run goes on.
    bool done() const { return done_.load(std::memory_order_acquire); }
    void set_done(bool on) { done_.store(on, std::memory_order_release); }

    const std::wstring& source() const { return source_; }
    void set_source(const std::wstring& name) { source_ = name; }
    const std::wstring& destination() const { return destination_; }
    void set_destination(const std::wstring& folder) { destination_ = folder; }
    const std::string& log_file() const { return log_file_; }

    // Checks a log file name and enables the trace logger with it; does nothing when no
    // logger exists (the wizard). Raises tk_exception of kind 1 for a bad name.
    void set_logfile(const std::string& path);

  protected:
    std::atomic<bool> done_{false};
    bool silent_ = false;
    std::wstring source_;
    std::wstring destination_;
    std::string log_file_;
};

// The spelling under which the log-file set-up is known.
using tk_convertor = tk_converter;
