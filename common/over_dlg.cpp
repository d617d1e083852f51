#include "common/over_dlg.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "platform/ui/ui_app.hpp"

namespace {

// The radio buttons in the order of the modes they stand for.
constexpr int mode_radios[] = {1329, 1330, 1331, 1332};

}  // namespace

overwrite_dlg::overwrite_dlg(const std::wstring& message, int help_topic, const std::wstring& title,
                             std::function<void(int)> show_help, QWidget* owner)
    : ui::dialog(owner), help_topic_(help_topic), show_help_(std::move(show_help)) {
    tk_log_printf(1, "overwrite_dlg2::ctor");
    tk_log_printf(1, "overwrite_dlg2::on_init");
    setWindowTitle(QString::fromStdWString(title + L" Warning"));
    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(add(0, ui::control_kind::icon_warning));
    auto* text = add(1320, ui::control_kind::label, QString::fromStdWString(message));
    text->setMinimumWidth(380);
    top->addWidget(text, 1);
    outer->addLayout(top);
    auto* radios = new QVBoxLayout;
    radios->setContentsMargins(44, 8, 0, 8);
    radios->addWidget(add(1329, ui::control_kind::radio, "&Overwrite the entire database"));
    radios->addWidget(add(1330, ui::control_kind::radio, "Overwrite existing &tables only"));
    radios->addWidget(add(1331, ui::control_kind::radio, "&Skip existing tables"));
    radios->addWidget(add(1332, ui::control_kind::radio, "&Merge"));
    outer->addLayout(radios);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(add(1, ui::control_kind::default_button, "OK"));
    row->addWidget(add(2, ui::control_kind::button, "Cancel"));
    row->addWidget(add(9, ui::control_kind::button, "Help"));
    outer->addLayout(row);
    ctrl<QRadioButton>(1329)->setChecked(true);
    ctrl<QPushButton>(1)->setFocus();
    ui::beep();
}

void overwrite_dlg::on_command(int id) {
    switch (id) {
        case 1: {
            int mode = -1;
            for (int m = 0; m < 4 && mode < 0; ++m)
                if (ctrl<QRadioButton>(mode_radios[m])->isChecked()) mode = m;
            if (mode < 0) throw tk_mail_assertion("..\\common/over_dlg.hpp", 156);
            mode_ = mode;
            done(1);
            break;
        }
        case 2:
            done(2);
            break;
        case 9:
            if (show_help_) show_help_(help_topic_);
            break;
    }
}
