#include "platform/ui/ui_app.hpp"

#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QWidget>
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

QSize room_on_screen(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QSize frame = window.frameGeometry().size() - window.geometry().size();
    // Before the window is first shown the window manager has not framed it yet: room
    // for a title bar and borders is kept.
    if (frame.isNull()) {
        const int border = 2 * window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        frame = QSize(border, border + window.style()->pixelMetric(QStyle::PM_TitleBarHeight));
    }
    return (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
}

bool on_gui_thread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

}  // namespace ui
