#include "platform/ui/ui_bridge.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <exception>

#include "platform/ui/ui_app.hpp"

namespace ui {

struct gui_bridge::job {
    std::function<void()> fn;
    enum { waiting, done, refused } state = waiting;
    std::exception_ptr error;
    std::condition_variable cv;
};

gui_bridge& gui_bridge::instance() {
    static gui_bridge bridge;
    return bridge;
}

bool gui_bridge::call(std::function<void()> fn) {
    if (on_gui_thread()) {
        if (closed()) return false;
        fn();
        return true;
    }
    auto j = std::make_shared<job>();
    j->fn = std::move(fn);
    std::unique_lock lock(mutex_);
    if (closed_) return false;
    queue_.push_back(j);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this] { drain(); }, Qt::QueuedConnection);
    j->cv.wait(lock, [&] { return j->state != job::waiting; });
    if (j->state == job::refused) return false;
    if (j->error) std::rethrow_exception(j->error);
    return true;
}

void gui_bridge::drain() {
    for (;;) {
        std::shared_ptr<job> j;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            j = queue_.front();
            queue_.pop_front();
        }
        std::exception_ptr error;
        try {
            j->fn();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        j->error = error;
        j->state = job::done;
        j->cv.notify_all();
    }
}

void gui_bridge::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (auto& j : queue_) {
        j->state = job::refused;
        j->cv.notify_all();
    }
    queue_.clear();
}

void gui_bridge::open() {
    std::lock_guard lock(mutex_);
    closed_ = false;
}

bool gui_bridge::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace ui
