#include "GUI2/g_finish.hpp"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_string.hpp"

namespace {

// How many tables written under another name the page names; the rest are counted.
constexpr size_t renames_shown = 5;

std::wstring counted(uint64_t n, const wchar_t* one, const wchar_t* many) {
    return tk_grouped(n) + L" " + (n == 1 ? one : many);
}

// The table's file, when its name is not the table's own (other than in case).
bool written_under_another_name(const converted_table& t) {
    std::wstring stem = t.file;
    if (const size_t dot = stem.rfind(L'.'); dot != std::wstring::npos) stem.resize(dot);
    return !tk_iequal(stem, t.name);
}

}  // namespace

std::wstring finish_account(const finish_facts& f) {
    const std::wstring folder = L"the folder " + f.folder;
    std::wstring text;
    if (!f.converted.empty()) {
        uint64_t records = 0;
        for (const auto& t : f.converted) records += t.records;
        text = counted(f.converted.size(), L"table", L"tables") + L" with " +
               (records == 0 ? L"no records" : counted(records, L"record", L"records")) +
               L" went to " + folder + L".";
        if (!f.completed) text = L"Before the run stopped, " + text;
    } else if (f.completed && f.table_count == 0) {
        text = L"There was no table to convert: no table was written to " + folder + L".";
    } else if (f.completed && f.skipped == f.table_count) {
        return L"No table was written to " + folder + L": " +
               (f.skipped == 1 ? L"the table selected has a DBF table there, which"
                               : L"every table selected has a DBF table there, which") +
               L" 'Skip existing tables' keeps as it is.";
    } else {
        text = L"No table was written to " + folder +
               (f.completed ? L"." : L" before the run stopped.");
    }
    if (f.skipped == 1)
        text +=
            L" 1 table was skipped: the folder has a DBF table of its name, which 'Skip "
            L"existing tables' keeps as it is.";
    else if (f.skipped > 1)
        text += L" " + tk_grouped(f.skipped) +
                L" tables were skipped: the folder has DBF tables of their names, which 'Skip "
                L"existing tables' keeps as they are.";
    std::vector<const converted_table*> renamed;
    for (const auto& t : f.converted)
        if (written_under_another_name(t)) renamed.push_back(&t);
    if (renamed.empty()) return text;
    text += renamed.size() == 1 ? L"\n\nWritten under another name:"
                                : L"\n\nWritten under other names:";
    for (size_t i = 0; i < renamed.size() && i < renames_shown; ++i)
        text += L"\n" + shown_text(renamed[i]->name) + L" \u2192 " + shown_text(renamed[i]->file);
    if (renamed.size() > renames_shown)
        text += L"\n\u2026 and " + tk_grouped(renamed.size() - renames_shown) + L" more";
    return text;
}

std::wstring finish_text(const finish_facts& facts, bool errors, const std::wstring& success,
                         const std::wstring& heading) {
    const std::wstring account = finish_account(facts);
    std::wstring text;
    if (errors || !facts.completed)
        text = heading + L"\n\n" + account;
    else if (facts.converted.empty())
        text = account;
    else
        text = success + L"\n\n" + account;
    return text + L"\n\nClick 'Finish' to exit the wizard.";
}

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
    ctrl<QLabel>(1313)->setText(completed ? "Conversion is Completed" : "Conversion Stopped");
    // A path or a name longer than a line still wraps, at the page's width.
    text->setText(ui::breakable(
        QString::fromStdWString(finish_text(facts(), !errors.empty(), success_, heading_))));
    if (!errors.empty() || !completed) {
        tk_log_printf(2, "Display errors");
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
