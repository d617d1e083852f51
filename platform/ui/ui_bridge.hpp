// Runs calls on the GUI thread for other threads. The worker must never touch a
// widget; what it has to show goes through here and the worker waits for the answer.
// Once the wizard is closing, the bridge refuses every call, queued ones included, so
// a worker waiting for a dialog can never block the GUI thread that joins it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace ui {

class gui_bridge {
  public:
    static gui_bridge& instance();

    // Runs fn on the GUI thread (inline when called there) and waits for it. False when
    // the bridge refused the call; an exception fn throws reaches the caller.
    bool call(std::function<void()> fn);

    // Refuses every waiting and every later call.
    void close();
    // Takes calls again (a new wizard).
    void open();
    bool closed() const;

  private:
    struct job;
    void drain();

    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<job>> queue_;
    bool closed_ = false;
};

}  // namespace ui
