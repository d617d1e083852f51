#include "GUI2/g_finish.hpp"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.hpp"

gui_finish_page::gui_finish_page(const std::wstring& success, const std::wstring& heading)
    : success_(success), heading_(heading) {
    tk_log_printf(2, "gui_finish_page::ctor");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(add(1313, ui::control_kind::title, "Conversion is Completed"));
    layout->addSpacing(12);
    layout->addWidget(add(1314, ui::control_kind::label));
    QWidget* list = add(1016, ui::control_kind::text_view);
    list->hide();
    list->installEventFilter(this);
    layout->addWidget(list, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(add(1116, ui::control_kind::button, "&Save Settings..."));
    row->addStretch(1);
    layout->addStretch(0);
    layout->addLayout(row);
}

bool gui_finish_page::page_init() {
    tk_log_printf(2, "gui_finish_page::page_init");
    wizard_shell& shell = wizard_shell::get_instance();
    shell.enable_button(ui::id_cancel, false);
    shell.enable_button(ui::id_help, false);
    const std::vector<std::string> errors = shell.errors();
    auto* text = ctrl<QLabel>(1314);
    // A run that ended early has not done its work, even when it listed nothing.
    const bool completed = run_completed();
    if (!errors.empty() || !completed) {
        tk_log_printf(2, "Display errors");
        text->setText(QString::fromStdWString(heading_));
        auto* list = ctrl<QPlainTextEdit>(1016);
        list->show();
        for (std::string e : errors) {
            for (char& c : e)
                if (c == '\n') c = ' ';
            list->appendPlainText(QString::fromStdString(e));
            list->appendPlainText(QString());
        }
        // The list keeps the first errors only; it says how many it does not show.
        if (const size_t more = shell.errors_not_kept()) {
            list->appendPlainText(QString::fromUtf8("\u2026 and %1 more %2")
                                      .arg(more)
                                      .arg(more == 1 ? "error" : "errors"));
            list->appendPlainText(QString());
        }
        // Whatever the list holds, it ends with the tables not converted and how far a run
        // that ended early got.
        if (const std::wstring last = early_end(); !last.empty()) {
            list->appendPlainText(QString::fromStdWString(shown_text(last)));
            list->appendPlainText(QString());
        }
        list->moveCursor(QTextCursor::End);
        list->ensureCursorVisible();
        list->setReadOnly(true);
    } else {
        tk_log_printf(2, "Display success-message");
        text->setText(QString::fromStdWString(success_));
    }
    return true;
}

void gui_finish_page::on_command(int id) {
    if (id == 1116) on_store();
}

bool gui_finish_page::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && watched == ui::find_control(this, 1016))
        ui::guarded([this] { on_eb_focus(); });
    return wizard_page::eventFilter(watched, event);
}

void gui_finish_page::on_eb_focus() {
    if (!first_focus_) return;
    tk_log_printf(2, "gui_finish_page::on_eb_focus");
    first_focus_ = false;
    auto* list = ctrl<QPlainTextEdit>(1016);
    list->moveCursor(QTextCursor::End);
    list->ensureCursorVisible();
    if (QPushButton* finish = wizard_shell::get_instance().sheet().button(ui::id_finish))
        finish->setFocus();
}
