#include "GUI2/g_errdlg.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "GUI2/g_desk.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"

namespace {

// The common frame: icon and message on top, then the extra controls, then buttons.
QVBoxLayout* frame(ui::dialog& d, const std::wstring& message) {
    d.setWindowTitle(QString::fromStdWString(
        wizard_shell::find() ? wizard_shell::find()->title() + L" Error" : std::wstring(L"Error")));
    auto* outer = new QVBoxLayout(&d);
    auto* top = new QHBoxLayout;
    top->addWidget(d.add(0, ui::control_kind::icon_error));
    auto* text =
        static_cast<QLabel*>(d.add(1320, ui::control_kind::label,
                                   ui::breakable(QString::fromStdWString(shown_text(message)))));
    text->setMinimumWidth(360);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(text, 1);
    outer->addLayout(top);
    return outer;
}

QHBoxLayout* button_row(QVBoxLayout* outer) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    outer->addLayout(row);
    return row;
}

}  // namespace

QWidget* error_dialog_owner() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    wizard_shell* shell = wizard_shell::find();
    return shell ? &shell->sheet() : nullptr;
}

dlg_error_continue::dlg_error_continue(const std::wstring& message, QWidget* owner)
    : ui::dialog(owner) {
    tk_log_printf(1, "dlg_error_continue::ctor");
    tk_log_printf(1, "dlg_error_continue::on_init");
    QVBoxLayout* outer = frame(*this, message);
    outer->addWidget(add(1222, ui::control_kind::check, "&Do not show this dialog box again"));
    QHBoxLayout* row = button_row(outer);
    row->addWidget(add(2, ui::control_kind::default_button, "Continue"));
    row->addWidget(add(1, ui::control_kind::button, "Abort"));
    ctrl<QPushButton>(2)->setFocus();
}

void dlg_error_continue::on_command(int id) {
    if (id == 1222) {
        box_ = ctrl<QCheckBox>(1222)->isChecked();
        return;
    }
    if (id == 1 || id == 2) done(id);
}

dlg_error_ex::dlg_error_ex(const std::wstring& message, QWidget* owner)
    : ui::dialog(owner), message_(message) {
    tk_log_printf(1, "dlg_error_ex::on_init");
    QVBoxLayout* outer = frame(*this, message);
    QHBoxLayout* row = button_row(outer);
    row->addWidget(add(1112, ui::control_kind::default_button, "Send bug"));
    row->addWidget(add(1, ui::control_kind::button, "OK"));
    row->addWidget(add(1108, ui::control_kind::button, "Copy to clipboard"));
    ctrl<QPushButton>(1112)->setFocus();
}

void dlg_error_ex::on_command(int id) {
    if (id == 1108) {
        tk_copy_to_clipboard2(message_);
    } else if (id == 1112) {
        tk_log_printf(1, "dlg_error_ex::on_send_bug");
        wizard_shell* shell = wizard_shell::find();
        tk_send_bug(shell ? tk_unicode_to_ansi(shell->title()) : std::string(),
                    tk_unicode_to_ansi(message_));
    } else if (id != 1) {
        return;
    }
    done(id);
}
