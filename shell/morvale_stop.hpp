// SIGINT and SIGTERM, alike in both programs. The first one stops the run the way an
// Abort does and ends every wait on the server at once, so that the program ends within
// moments and the table in work keeps its whole records; a second one, of either kind,
// ends the process on the spot.
#pragma once

class morvale_convertor;

// Installs the handlers for the rest of the process; once, at the start of the program
// (the descriptors it opens must not be taken for the standard streams).
void install_stop_signals();
// True once a stop signal came.
bool stop_signal_received();
// Readable once a stop signal came (what is written there is never taken), so that a
// program with an event loop learns of it there; -1 before install_stop_signals.
int stop_signal_wake_fd();

// Whether the end a stop signal brings says how far the conversion got ("The conversion
// stopped before its end: ..."). True from the start, for a program that converts as soon
// as it has read what to convert; a wizard that has begun no conversion sets it false
// until it begins one, so that it says nothing about a conversion that never started.
void set_conversion_asked(bool on);
bool conversion_asked();

// While it lives, a stop signal stops this converter's run.
class stop_signal_target {
  public:
    explicit stop_signal_target(morvale_convertor& converter);
    ~stop_signal_target();
    stop_signal_target(const stop_signal_target&) = delete;
    stop_signal_target& operator=(const stop_signal_target&) = delete;
};

// While it lives, a stop signal ends the process at once with exit code 255, after the
// account that no table was converted (unless the converter is silent or no conversion
// was asked for). For reads of input that may never end (a pipe, a FIFO), before
// anything has been written.
class stop_signal_ends_at_once {
  public:
    stop_signal_ends_at_once();
    ~stop_signal_ends_at_once();
    stop_signal_ends_at_once(const stop_signal_ends_at_once&) = delete;
    stop_signal_ends_at_once& operator=(const stop_signal_ends_at_once&) = delete;
};
