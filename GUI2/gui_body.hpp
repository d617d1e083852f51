// The wizard's end after an internal error: in order, never with exit() on a worker.
#pragma once

#include <exception>
#include <memory>

class QSocketNotifier;
class morvale_convertor;

// Marks the program as ending with the code, asks a running conversion to stop, ends
// the GUI loop and unwinds the caller with tk_final_exception.
[[noreturn]] void gui_end_process(int code);
// True once gui_end_process was called; the settings are then not stored.
bool gui_ending();
// A new start of the program (tests run it several times in one process).
void gui_reset_ending();

// Reports an exception that no handler of the run or of a page took: a toolkit error
// through the error handler, any other one listed and shown as it is; an Abort or the
// internal-error end is already known to the user.
void gui_report(std::exception_ptr error);

// While it lives, SIGINT and SIGTERM (once install_stop_signals has run) end the
// wizard: the run was stopped by the signal already, and every event loop is told to
// end, so that the program unwinds in order and joins its worker.
class gui_stop_watch {
  public:
    gui_stop_watch();
    ~gui_stop_watch();
    gui_stop_watch(const gui_stop_watch&) = delete;
    gui_stop_watch& operator=(const gui_stop_watch&) = delete;

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The exit code of a wizard that a stop signal ended, once its worker has ended: 0 when
// the run went through its tables (2 when it left some unconverted), else 255 after the
// account of how far it got on standard error, as the finish page would have listed it;
// 255 alone when no conversion was begun.
int gui_stopped(const morvale_convertor& converter);
