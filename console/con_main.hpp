// The console program's own operations.
#pragma once

#include <string>

// Logs the text, writes it to standard error unless silent, and ends the process with
// exit code -1.
[[noreturn]] void fatal_exit(const std::string& text);

// Applies the options to the converter in argument order; false when an argument was
// unknown. Ends the process through fatal_exit for "--help" and for bad options.
bool parse_cmd_line(int argc, char** argv);

// The usage text, version filled in.
std::string usage_text();

// Replaces the converter's selection with the names listed in the file.
void process_tab_file(const std::string& path);
