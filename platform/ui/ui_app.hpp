// Start-up of the window system.
#pragma once

#include <QApplication>
#include <QSize>
#include <memory>

namespace ui {

// Creates the application object; Qt takes its own options out of argc/argv. When no
// window system can be reached, writes "Failed to initialize GUI library" and Qt's
// reason to standard error and ends the process with 255 (Qt itself would abort).
std::unique_ptr<QApplication> make_application(int& argc, char** argv);

// The short warning sound of a dialog that asks for attention.
void beep();

// The largest size the window may take: its screen's available area less the window's
// frame (estimated while the window has none yet), so that no part of it, its buttons
// least of all, lies off the screen.
QSize room_on_screen(const QWidget& window);

// True on the thread that runs the application's event loop (or when there is no
// application, so that code without a window system runs inline).
bool on_gui_thread();

}  // namespace ui
