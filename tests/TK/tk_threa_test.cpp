#include "TK/tk_threa.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "tests/support/test_support.hpp"

using namespace std::chrono_literals;

namespace {

// Done after a given number of is_done questions; counts what the run did.
struct counting_functor : tk_thread_functor {
    explicit counting_functor(int steps, std::atomic<int>* alive = nullptr)
        : steps(steps), alive(alive) {
        if (alive) ++*alive;
    }
    ~counting_functor() override {
        if (alive) --*alive;
    }
    bool is_done() override { return ++asked > steps; }
    void idle() override {
        ++idles;
        tk_thread_functor::idle();
    }
    void on_done() override { finished = true; }

    int steps;
    std::atomic<int>* alive;
    std::atomic<int> asked{0};
    std::atomic<int> idles{0};
    std::atomic<bool> finished{false};
};

// A run that goes on until it is asked to stop, as a long conversion does.
struct endless_run : tk_thread_functor {
    void operator()() override {
        started = true;
        while (!stop_requested()) std::this_thread::sleep_for(1ms);
        saw_stop = true;
    }
    std::atomic<bool> started{false};
    std::atomic<bool> saw_stop{false};
};

struct throwing_run : tk_thread_functor {
    void operator()() override { throw std::runtime_error("broken run"); }
};

// Owns fresh functors, as the default thread does.
struct counting_thread : tk_thread {
    explicit counting_thread(std::atomic<int>& alive) : alive(alive) {}
    tk_thread_functor* create_functor() override {
        ++made;
        return new counting_functor(1, &alive);
    }
    std::atomic<int>& alive;
    int made = 0;
};

// Hands out a functor it does not own, as the progress page hands out the converter.
template <class F>
struct borrowing_thread : tk_thread {
    explicit borrowing_thread(F& f) : tk_thread(false), f(f) {}
    tk_thread_functor* create_functor() override { return &f; }
    F& f;
};

struct null_thread : tk_thread {
    tk_thread_functor* create_functor() override { return nullptr; }
};

void wait_until(const std::atomic<bool>& flag) {
    for (int i = 0; i < 500 && !flag; ++i) std::this_thread::sleep_for(2ms);
}

std::string internal(int line) {
    return make_err_meggase("tk_threa.cpp", line);
}

}  // namespace

TEST(tk_thread_functor, plain_run_idles_until_done_then_calls_on_done) {
    counting_functor f(2);
    auto t0 = std::chrono::steady_clock::now();
    f();
    EXPECT_EQ(f.idles, 2);
    EXPECT_TRUE(f.finished);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 190ms);  // 100 ms per idle step

    // A stop request ends the loop without on_done.
    counting_functor g(1000);
    g.request_stop();
    g();
    EXPECT_EQ(g.idles, 0);
    EXPECT_FALSE(g.finished);
}

TEST(tk_thread, restarts_with_a_fresh_functor_and_deletes_the_ones_it_owns) {
    std::atomic<int> alive{0};
    {
        counting_thread t(alive);
        t.start();
        EXPECT_EQ(alive, 1);
        auto* first = t.functor();
        while (t.is_running()) {
        }
        EXPECT_TRUE(static_cast<counting_functor*>(first)->finished);
        t.start();  // the previous run has ended
        EXPECT_EQ(t.made, 2);
        EXPECT_EQ(alive, 1);  // the first functor is gone
        while (t.is_running()) {
        }
        t.reset();
        EXPECT_EQ(alive, 0);
        EXPECT_EQ(t.functor(), nullptr);
        t.start();  // destroyed with its run still going or just ended
    }
    EXPECT_EQ(alive, 0);
}

TEST(tk_thread, a_running_thread_refuses_start_and_reset) {
    endless_run run;
    borrowing_thread<endless_run> t(run);
    t.start();
    wait_until(run.started);
    ASSERT_TRUE(t.is_running());
    try {
        t.start();
        ADD_FAILURE() << "start on a running thread";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(), internal(92));
    }
    try {
        t.reset();
        ADD_FAILURE() << "reset of a running thread";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(), internal(71));
    }
    EXPECT_FALSE(run.saw_stop);  // neither call disturbed the run
}

TEST(tk_thread, destructor_asks_a_long_run_to_stop_and_joins_it) {
    endless_run run;
    auto t0 = std::chrono::steady_clock::now();
    {
        borrowing_thread<endless_run> t(run);
        t.start();
        wait_until(run.started);
    }
    // The worker ended by itself, through the flag, and the functor it borrowed lives on.
    EXPECT_TRUE(run.saw_stop);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);

    // A later run of the same functor starts without the old stop request.
    borrowing_thread<endless_run> again(run);
    run.saw_stop = false;
    again.start();
    wait_until(run.started);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(run.saw_stop);
    EXPECT_TRUE(again.is_running());
}

TEST(tk_thread, destroying_a_finished_thread_returns_at_once) {
    std::atomic<int> alive{0};
    auto* t = new counting_thread(alive);
    t->start();
    while (t->is_running()) {
    }
    auto t0 = std::chrono::steady_clock::now();
    delete t;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 50ms);
    EXPECT_EQ(alive, 0);
}

TEST(tk_thread, an_exception_leaving_the_run_is_kept_for_the_owner) {
    throwing_run run;
    borrowing_thread<throwing_run> t(run);
    t.start();
    while (t.is_running()) {
    }
    ASSERT_TRUE(t.error());
    try {
        std::rethrow_exception(t.error());
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "broken run");
    }
    t.reset();
    EXPECT_FALSE(t.error());
}

TEST(tk_thread, a_missing_functor_is_an_internal_error) {
    null_thread t;
    try {
        t.start();
        ADD_FAILURE();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.message(), internal(105));
    }
    EXPECT_FALSE(t.is_running());
}

TEST(tk_convertor, set_logfile_without_a_logger_stores_nothing) {
    ASSERT_FALSE(tk_logger::exists());
    tk_converter c;
    c.set_logfile("/no/such/folder/x.log");
    EXPECT_EQ(c.log_file(), "");
}

TEST(tk_convertor, set_logfile_checks_the_name_before_enabling_the_log) {
    tmp_dir d;
    tk_logger log(d.file("default.log").c_str(), false, 3, false);
    write_file_bytes(d.file("ro.log"), "x");
    ::chmod(d.file("ro.log").c_str(), 0444);
    ::mkdir(d.file("locked").c_str(), 0500);
    struct {
        std::string path;
        const char* message;  // nullptr: accepted
        bool needs_non_root;
    } cases[] = {
        {d.path(), "Logfile name specifies an existing path.", false},
        {d.file("ro.log"), "Logfile name specifies an existing read-only file.", false},
        {d.file("missing/x.log"),
         "Logfile path does not exist.\nPlease verify the correct path was given.", false},
        {d.file("locked/x.log"),
         "Cannot create log file. Make sure you have sufficient\nprivileges to create files in "
         "the directory.",
         true},
    };
    for (const auto& c : cases) {
        if (c.needs_non_root && geteuid() == 0) continue;
        tk_converter conv;
        try {
            conv.set_logfile(c.path);
            ADD_FAILURE() << c.path;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.message(), c.message);
            EXPECT_EQ(e.kind(), tk_kind_error);
        }
        EXPECT_FALSE(log.enabled()) << c.path;
    }

    tk_converter conv;
    conv.set_logfile("");
    EXPECT_EQ(conv.log_file(), "");
    EXPECT_FALSE(log.enabled());

    conv.set_logfile(d.file("run.log"));
    EXPECT_EQ(conv.log_file(), d.file("run.log"));
    EXPECT_TRUE(log.enabled());
    EXPECT_EQ(log.file_name(), d.file("run.log"));
    tk_log_printf(3, "milestone");
    EXPECT_EQ(read_file_bytes(d.file("run.log")), "milestone\r\n");
}
