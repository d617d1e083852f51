// What the wizard tests share: a scripted modal service that records every request,
// screenshots for a person to look at, and a robot that drives a running wizard.
#pragma once

#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_errh.hpp"
#include "shell/morvale_conv.hpp"
#include "tests/support/test_support.hpp"

#include "platform/ui/ui_dialog.hpp"
#include "platform/ui/ui_modal.hpp"
#include "platform/ui/ui_sheet.hpp"

struct modal_request {
    std::string kind;  // "error", "information", "question", "dialog", "file", "help", "url"
    QString caption;
    QString text;  // the box's text, the dialog's message (1320), the help anchor, the URL
    bool owned = false;
    bool default_no = false;
};

class scripted_modal : public ui::modal_service {
  public:
    scripted_modal();
    ~scripted_modal() override;

    ui::box_answer message_box(QWidget* owner, ui::box_icon icon, const QString& caption,
                               const QString& text, bool default_no) override;
    int run_dialog(ui::dialog& d) override;
    bool choose_file(const ui::file_request& request, QString& path) override;
    void show_help(QWidget* owner, const QString& file, const QString& anchor) override;
    bool open_url(const QString& url) override;
    void set_clipboard_text(const QString& text) override;

    // The answers, taken in order. A dialog answer is the ids to press on it; without
    // one a dialog gets Abort/OK (1), a question No.
    std::deque<ui::box_answer> questions;
    std::deque<std::vector<int>> dialogs;
    std::deque<QString> files;
    bool urls_open = false;
    // Dialogs are shown for real (exec) instead of pressed.
    bool real_dialogs = false;
    // Runs while a question is open, before it is answered: a user who takes a while
    // to answer (the events go on meanwhile when it waits for them).
    std::function<void()> on_question;
    // Runs when any box or dialog is shown, before it is answered.
    std::function<void()> on_shown;

    std::vector<modal_request> requests;
    std::vector<ui::file_request> file_requests;
    QString clipboard;
    QString help_file;

    // Requests of one kind.
    std::vector<modal_request> of(const std::string& kind) const;
};

// Act on the controls of the page on show, found by id there, as a user would: the
// control; a click on it (or on the sheet's button of the id); its text typed anew.
QWidget* control(ui::wizard_sheet& sheet, int id);
void click(ui::wizard_sheet& sheet, int id);
void type(ui::wizard_sheet& sheet, int id, const std::string& text);
// On the connection page: Remote to the test server (through `port` when not 0), Next.
void connect_to_test_server(ui::wizard_sheet& sheet, unsigned port = 0);

// Saves the widget's picture as gui-shots/<name>.png and checks it is not empty.
void save_shot(QWidget& w, const std::string& name);

// What the process writes to standard error while the object lives.
class stderr_capture {
  public:
    explicit stderr_capture(const std::string& path);
    ~stderr_capture() { restore(); }
    stderr_capture(const stderr_capture&) = delete;
    stderr_capture& operator=(const stderr_capture&) = delete;
    // Ends the capture; what was written.
    std::string text();

  private:
    void restore();
    std::string path_;
    int saved_ = -1;
};

// A settings store of the test's own, in force before the converter reads it.
struct private_settings {
    tmp_dir dir;
    private_settings();
    std::string file() const;  // the store's file
};

// What every page needs around it: the error handler, the converter, the wizard (up,
// so that boxes carry its title) and scripted boxes.
struct page_fixture : ::testing::Test {
    private_settings settings;
    error_handler handler{error_handler_code_count, error_handler_codes};
    scripted_modal modal;
    morvale_convertor conv;
    wizard_shell shell{L"Torvane 4.3", 501, 311, 312};
    page_fixture();
    // The texts of the boxes shown, of one kind.
    std::vector<std::string> texts(const std::string& kind) const;
};

// Polls the running wizard every 20 ms: takes a picture of each page it sees, calls
// on_enter once each time a page is entered and on_page on every poll, and presses
// Finish on the finish page.
class wizard_robot {
  public:
    wizard_robot();
    std::map<int, std::function<void(ui::wizard_sheet& sheet)>> on_enter;
    std::function<void(int page_id, ui::wizard_sheet& sheet)> on_page;
    std::vector<int> seen;
    // While set, the robot does nothing (a box of the wizard is open).
    bool paused = false;

  private:
    void poll();
    QTimer timer_;
};
