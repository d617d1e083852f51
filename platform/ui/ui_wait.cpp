#include "platform/ui/ui_wait.hpp"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <exception>
#include <thread>

#include "platform/ui/ui_dialog.hpp"

namespace ui {

namespace {

enum : int { id_text = 1, id_cancel_wait = 2, finished_result = 1 };

class wait_window : public dialog {
  public:
    wait_window(QWidget* owner, const QString& title, const QString& text,
                const std::atomic<bool>& finished, const std::function<void()>& interrupt)
        : dialog(owner), finished_(finished), interrupt_(interrupt) {
        setObjectName("wait-window");
        setWindowTitle(title);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(add(id_text, control_kind::label, text));
        auto* bar = static_cast<QProgressBar*>(add(0, control_kind::progress));
        bar->setRange(0, 0);  // no end known: the bar shows only that it waits
        bar->setMinimumWidth(260);
        layout->addWidget(bar);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(add(id_cancel_wait, control_kind::button, "Cancel"));
        layout->addLayout(row);
        // The worker never touches a widget: its end is looked for here.
        QObject::connect(&poll_, &QTimer::timeout, this, [this] {
            if (finished_.load()) done(finished_result);
        });
        poll_.start(20);
    }
    bool cancelled() const { return cancelled_; }

  protected:
    // Cancel, Escape and the close box.
    void on_command(int id) override {
        if (id != id_cancel_wait || cancelled_) return;
        cancelled_ = true;
        ctrl<QPushButton>(id_cancel_wait)->setEnabled(false);
        interrupt_();
    }

  private:
    const std::atomic<bool>& finished_;
    const std::function<void()>& interrupt_;
    bool cancelled_ = false;
    QTimer poll_;
};

// A quick answer needs no window: it shows only once the work has taken a moment. The
// user's input waits meanwhile, as the window would make it.
void wait_briefly(const std::atomic<bool>& finished) {
    QEventLoop loop;
    QElapsedTimer since;
    since.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load() || since.elapsed() >= 250) loop.quit();
    });
    poll.start(10);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

bool wait_for(QWidget* owner, const QString& title, const QString& text,
              const std::function<void()>& work, const std::function<void()>& interrupt) {
    std::atomic<bool> finished{false};
    std::exception_ptr error;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        finished.store(true);
    });
    // On every way out, the work has ended before this returns.
    struct join_worker {
        std::thread& worker;
        const std::atomic<bool>& finished;
        const std::function<void()>& interrupt;
        ~join_worker() {
            if (!finished.load()) interrupt();
            worker.join();
        }
    } join{worker, finished, interrupt};
    wait_briefly(finished);
    if (!finished.load()) {
        wait_window window(owner, title, text, finished, interrupt);
        const int result = window.exec();
        if (window.cancelled() || result != finished_result) return false;
    }
    if (error) std::rethrow_exception(error);
    return true;
}

}  // namespace ui
