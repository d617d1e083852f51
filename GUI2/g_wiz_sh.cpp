#include "GUI2/g_wiz_sh.hpp"

#include <QIcon>
#include <QPixmap>

#include "GUI2/g_desk.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "TK/tk_utils.hpp"
#include "platform/ui/ui_app.hpp"
#include "platform/ui/ui_bridge.hpp"
#include "platform/ui/ui_modal.hpp"

std::atomic<bool> wizard_shell::initialized_{false};

// The pictures are compiled into a static library: their registration must be asked for.
static void load_art() {
    Q_INIT_RESOURCE(morvale);
}

namespace {

QPixmap art(int id) {
    return QPixmap(QString(":/morvale/art-%1.png").arg(id));
}

QWidget* box_owner() {
    wizard_shell* shell = wizard_shell::find();
    return shell && wizard_shell::is_initialized() ? &shell->sheet() : nullptr;
}

ui::box_answer show_box(ui::box_icon icon, const wchar_t* suffix, const std::wstring& text,
                        bool default_no, ui::box_answer refused) {
    ui::box_answer answer = refused;
    const QString shown = QString::fromStdWString(shown_text(text));
    ui::gui_bridge::instance().call([&] {
        answer = ui::modal().message_box(box_owner(), icon,
                                         QString::fromStdWString(wizard_shell::caption(suffix)),
                                         shown, default_no);
    });
    return answer;
}

}  // namespace

std::wstring shown_text(const std::wstring& text) {
    if (text.size() <= shown_max) return text;
    return text.substr(0, shown_max) + L"\u2026";
}

std::string shown_text(const std::string& text) {
    // A character is at least one byte: a text of few bytes needs no counting.
    if (text.size() <= shown_max) return text;
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // Each character begins at a byte that is no UTF-8 continuation byte.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == shown_max)
            return text.substr(0, i) + "\xE2\x80\xA6";
    }
    return text;
}

std::unique_ptr<QApplication> gui_initialize(int& argc, char** argv) {
    tk_log_printf(2, "gui_initialize");
    return ui::make_application(argc, argv);
}

wizard_shell::wizard_shell(const std::wstring& title, int icon_id, int watermark_id, int header_id)
    : icon_id_(icon_id), title_(title) {
    tk_log_wprintf(2, L"wizard_shell::ctor(%s)", title);
    load_art();
    sheet_.set_images(watermark_id ? art(watermark_id) : QPixmap(),
                      header_id ? art(header_id) : QPixmap());
}

wizard_shell::~wizard_shell() {
    tk_log_printf(2, "wizard_shell::dtor");
    initialized_.store(false, std::memory_order_release);
    stop_timer();
}

void wizard_shell::initialize_if() {
    if (is_initialized()) return;
    sheet_.setWindowTitle(QString::fromStdWString(title_));
    if (icon_id_) sheet_.setWindowIcon(QIcon(art(icon_id_)));
    initialized_.store(true, std::memory_order_release);
}

std::wstring wizard_shell::caption(const wchar_t* suffix) {
    wizard_shell* shell = find();
    const std::wstring word = suffix + 1;  // without the leading blank
    return shell && is_initialized() ? shell->title_ + suffix : word;
}

void wizard_shell::error(const std::wstring& text) {
    show_box(ui::box_icon::error, L" Error", text, false, ui::box_answer::ok);
    tk_log_wprintf(3, L"%s", text);
}

void wizard_shell::error(const std::string& text) {
    error(tk_ansi_to_unicode(text));
}

void wizard_shell::message(const std::wstring& text) {
    show_box(ui::box_icon::information, L" Message", text, false, ui::box_answer::ok);
    tk_log_wprintf(3, L"%s", text);
}

bool wizard_shell::question(const std::wstring& text, bool default_no) {
    return show_box(ui::box_icon::question, L" Question", text, default_no, ui::box_answer::no) ==
           ui::box_answer::yes;
}

void wizard_shell::display_help(int topic) {
    tk_log_printf(2, "wizard_shell::display_help(%d)", topic);
    display_help_at(L"topic-" + std::to_wstring(topic));
}

void wizard_shell::display_help() {
    tk_log_printf(2, "wizard_shell::display_help");
    display_help_at(L"");
}

void wizard_shell::display_help_at(const std::wstring& anchor) {
    const std::wstring file = help_file_path();
    if (!tk_is_file_exist2(file, tk_exist_file)) {
        error(std::wstring(L"Help file does not exist. Reinstall the program."));
        return;
    }
    ui::modal().show_help(is_initialized() ? &sheet_ : nullptr, QString::fromStdWString(file),
                          QString::fromStdWString(anchor));
}

void wizard_shell::start_timer(int ms) {
    if (timer_running_.exchange(true)) throw tk_mail_assertion("g_wiz_sh.cpp", 281);
    sheet_.start_timer(ms);
}

void wizard_shell::stop_timer() {
    if (timer_running_.exchange(false)) sheet_.stop_timer();
}

void wizard_shell::enable_button(int id, bool on) {
    tk_log_printf(1, "wizard_shell::enable_button(%08X)", id);
    sheet_.enable_button(id, on);
}

void wizard_shell::append_error(const std::string& text) {
    std::lock_guard lock(errors_mutex_);
    if (errors_.size() < max_errors)
        errors_.push_back(shown_text(text));
    else
        ++errors_not_kept_;
}

std::vector<std::string> wizard_shell::errors() const {
    std::lock_guard lock(errors_mutex_);
    return errors_;
}

size_t wizard_shell::errors_not_kept() const {
    std::lock_guard lock(errors_mutex_);
    return errors_not_kept_;
}

void wizard_shell::add_page(wizard_page_base& page) {
    sheet_.add_page(&page);
}

int wizard_shell::run() {
    if (!sheet_.start()) return ui::sheet_cancelled;
    return sheet_.exec();
}
