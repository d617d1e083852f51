// The wizard program: start-up, the quick launch from a profile, the pages, the
// teardown in order, and the exit code.
#pragma once

// Exit codes: 0 after Finish when the run went through its tables, 1 after Cancel, 255
// for every failure (a quick launch that could not start, a run that ended early, an
// internal error, no window system).
// 2: a run that went through its tables but left some of them unconverted.
enum : int { morvale_ok = 0, morvale_cancelled = 1, morvale_incomplete = 2, morvale_failed = 255 };

// The whole program; the arguments after the window system's own options name the
// profile of a quick launch.
int morvale_main(int argc, char** argv);
