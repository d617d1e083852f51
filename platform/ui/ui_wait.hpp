// Work that may wait long (a connection to a server that does not answer) runs on a
// thread of its own while a small modal window says what the program waits for, with
// Cancel: the program's windows stay responsive. A worker is never killed: Cancel, or
// closing the small window, calls `interrupt` on the GUI thread, which must make the
// work end soon; the window goes once the work has ended, and never touches it.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace ui {

// True when the work ran to its end; an exception it raised is raised here. False when
// it was cancelled (what it raised then is let go), or when the event loops were told
// to end meanwhile (the work is then interrupted and waited for).
bool wait_for(QWidget* owner, const QString& title, const QString& text,
              const std::function<void()>& work, const std::function<void()>& interrupt);

}  // namespace ui
