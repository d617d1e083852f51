// A table's line on a terminal: how far a long table has got, drawn on the line itself
// and redrawn in place at most a few times a second; once the table is through, the line
// reads as it does in a pipe or a file.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class terminal_line {
  public:
    // The stream must be a terminal.
    explicit terminal_line(FILE* stream) : stream_(stream) {}
    ~terminal_line() { end(); }
    terminal_line(const terminal_line&) = delete;
    terminal_line& operator=(const terminal_line&) = delete;

    // A table begins: whatever is on the line is ended first.
    void new_table();
    // The table's line ("Converting table t(200000 records)"), left open for its progress.
    void show_line(const std::string& line);
    // `copied` records of the table so far, of `count` (0 while it is not known); drawn
    // when the last drawing is old enough.
    void progress(const std::wstring& table, uint64_t copied, uint64_t count);
    // Ends an open line as it reads without its progress, or erases a progress drawn on
    // a line of its own, so that what is written next starts a line.
    void end();

    // How often the progress is drawn at most.
    static constexpr std::chrono::milliseconds period{250};

  private:
    // The head and the longest of the tails that fits the terminal's width in place of
    // what the line shows; the head is cut when even the shortest does not fit.
    void draw(const std::string& head, const std::vector<std::string>& tails);
    void put(const std::string& bytes);

    FILE* stream_;
    std::string line_;    // the table's line, once its count is known
    bool open_ = false;   // the line is on show, not ended yet
    size_t drawn_ = 0;    // columns the drawing on the line takes
    bool plain_ = false;  // the drawing is the table's line as it is
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};
