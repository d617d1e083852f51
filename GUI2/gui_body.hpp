// The wizard's end after an internal error: in order, never with exit() on a worker.
#pragma once

#include <exception>

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
