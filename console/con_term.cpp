#include "console/con_term.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "TK/tk_string.hpp"

namespace {

// Columns of UTF-8 text, counted high: a character outside ASCII may take two.
size_t columns(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if (c < 0x80)
            ++n;
        else if ((c & 0xC0) != 0x80)
            n += 2;
    return n;
}

// The text's first characters that take at most `max` columns.
std::string cut(const std::string& text, size_t max) {
    size_t n = 0, i = 0;
    while (i < text.size()) {
        const size_t width = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : 2;
        if (n + width > max) break;
        n += width;
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return text.substr(0, i);
}

// What the progress adds to the table's line, from the longest to the shortest form:
// " 41%, 82,432 records copied", " 41%, 82,432", " 41%"; while the count is not known,
// " 82,432 records copied", " 82,432".
std::vector<std::string> progress_tails(uint64_t copied, uint64_t count) {
    const std::string records = tk_unicode_to_utf8(tk_grouped(copied));
    if (count == 0) return {" " + records + " records copied", " " + records};
    const auto percent =
        std::min<unsigned __int128>(static_cast<unsigned __int128>(copied) * 100 / count, 100);
    const std::string share = " " + std::to_string(static_cast<unsigned>(percent)) + "%";
    return {share + ", " + records + " records copied", share + ", " + records, share};
}

}  // namespace

void terminal_line::new_table() {
    end();
    line_.clear();
}

void terminal_line::show_line(const std::string& line) {
    line_ = line;
    open_ = true;
    draw(line_, {""});
}

void terminal_line::progress(const std::wstring& table, uint64_t copied, uint64_t count) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < period) return;
    last_ = now;
    // Until the count is known the table has no line of its own yet.
    draw(line_.empty() ? "Converting table " + tk_unicode_to_ansi(table) + ":" : line_,
         progress_tails(copied, count));
}

void terminal_line::end() {
    if (open_ && plain_)
        put("\n");
    else if (open_)
        put("\r" + line_ + std::string(drawn_ > columns(line_) ? drawn_ - columns(line_) : 0, ' ') +
            "\n");
    else if (drawn_ > 0)
        put("\r" + std::string(drawn_, ' ') + "\r");
    open_ = plain_ = false;
    drawn_ = 0;
    last_ = std::chrono::steady_clock::now();
}

void terminal_line::draw(const std::string& head, const std::vector<std::string>& tails) {
    winsize size{};
    const size_t width =
        ioctl(fileno(stream_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    // One column is left free: a terminal that wraps at the last one would move the
    // cursor to the next line, where the next drawing would begin.
    const size_t room = width - 1;
    std::string text;
    for (const auto& tail : tails) {
        text = head + tail;
        if (columns(text) <= room) break;
        text.clear();
    }
    if (text.empty()) {
        // The name gives way last: the progress is what the drawing is for.
        const std::string& tail = tails.back();
        const size_t keep = columns(tail) + 2;
        text = keep < room ? cut(head, room - keep) + "\xE2\x80\xA6" + tail : cut(tail, room);
    }
    const size_t shown = columns(text);
    plain_ = text == line_;
    // Nothing on the line yet: the cursor stands at its start.
    put((drawn_ > 0 ? "\r" : "") + text + std::string(drawn_ > shown ? drawn_ - shown : 0, ' '));
    drawn_ = shown;
}

void terminal_line::put(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
    std::fflush(stream_);
}
