#include "platform/ui/ui_app.hpp"

#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace ui {

namespace {

// Only while the application object is being made: a fatal message then means the
// window system is missing, which is the user's situation, not a crash.
void startup_message_handler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "Failed to initialize GUI library\n%s\n", bytes.constData());
        std::fflush(stderr);
        _exit(255);
    }
    std::fprintf(stderr, "%s\n", bytes.constData());
}

}  // namespace

std::unique_ptr<QApplication> make_application(int& argc, char** argv) {
    QtMessageHandler previous = qInstallMessageHandler(startup_message_handler);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return app;
}

void beep() {
    QApplication::beep();
}

bool on_gui_thread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

}  // namespace ui
