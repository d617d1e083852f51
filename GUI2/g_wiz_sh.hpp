// The wizard's window and the GUI program's one place for message boxes, help, the
// progress timer and the list of errors that the finish page shows.
#pragma once

#include <QApplication>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_singl.hpp"
#include "platform/ui/ui_sheet.hpp"

class wizard_page_base;

// Makes the application object; a missing window system ends the process with 255 and
// a message on standard error.
std::unique_ptr<QApplication> gui_initialize(int& argc, char** argv);

// What a box or the error list shows of a text: at most shown_max characters, the rest
// cut off and marked with "…". A text of megabytes (a name a profile gave) would hold up
// the window for minutes while it is laid out; the log keeps the whole text.
inline constexpr size_t shown_max = 400;
std::wstring shown_text(const std::wstring& text);
// The same for UTF-8 text, cut between characters.
std::string shown_text(const std::string& text);

class wizard_shell : public tk_singleton<wizard_shell> {
  public:
    wizard_shell(const std::wstring& title, int icon_id, int watermark_id, int header_id);
    ~wizard_shell() override;

    // On every page activation; does its work once.
    void initialize_if();
    // Read by the worker too.
    static bool is_initialized() { return initialized_.load(std::memory_order_acquire); }

    // Boxes, from any thread (the worker's go through the bridge; a refused box counts
    // as OK, a refused question as No). Captions: the title and " Error", " Message" or
    // " Question" once the wizard is up, else the bare word.
    static void error(const std::wstring& text);
    static void error(const std::string& text);
    static void message(const std::wstring& text);
    static bool question(const std::wstring& text, bool default_no);
    // The caption for a suffix such as L" Error", as the boxes make it.
    static std::wstring caption(const wchar_t* suffix);

    // The help file at a topic, or at its top.
    void display_help(int topic);
    void display_help();

    // The 200 ms progress timer; start is safe from the worker. A second start while it
    // runs is an internal error.
    void start_timer(int ms);
    void stop_timer();

    void enable_button(int id, bool on);

    // The errors of the run, at most max_errors, each as shown_text gives it; written by
    // the worker. Those beyond are counted, so that the list can say how many it lacks.
    static constexpr size_t max_errors = 20;
    void append_error(const std::string& text);
    std::vector<std::string> errors() const;
    size_t errors_not_kept() const;

    void add_page(wizard_page_base& page);
    // Shows the wizard modally; ui::sheet_finished or ui::sheet_cancelled.
    int run();

    ui::wizard_sheet& sheet() { return sheet_; }
    const std::wstring& title() const { return title_; }

  private:
    void display_help_at(const std::wstring& anchor);

    int icon_id_;
    std::wstring title_;
    std::atomic<bool> timer_running_{false};
    static std::atomic<bool> initialized_;
    mutable std::mutex errors_mutex_;
    std::vector<std::string> errors_;
    size_t errors_not_kept_ = 0;
    ui::wizard_sheet sheet_;
};
