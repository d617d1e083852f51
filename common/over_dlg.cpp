#include "common/over_dlg.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <utility>

#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_conv.hpp"
#include "platform/ui/ui_app.hpp"

namespace {

// The radio buttons in the order of the modes they stand for.
constexpr int mode_radios[] = {1329, 1330, 1331, 1332};

enum : int { id_overwrite_all_note = 1333 };

}  // namespace

std::wstring overwrite_all_note(size_t tables) {
    if (tables == 0) return L"The folder has no DBF table to delete.";
    if (tables == 1)
        return L"The folder's one DBF table is deleted when the run starts, unless the run "
               L"writes it: then it is replaced once complete.";
    return L"The folder's " + std::to_wstring(tables) +
           L" DBF tables are deleted when the run starts, except those the run writes, which "
           L"are replaced once each is complete.";
}

overwrite_dlg::overwrite_dlg(const std::wstring& message, int help_topic, const std::wstring& title,
                             int mode, size_t tables, std::function<void(int)> show_help,
                             QWidget* owner)
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
    auto* all = add(1329, ui::control_kind::radio, "&Overwrite the entire database");
    radios->addWidget(all);
    // Under the choice's own text, so that what it deletes is read with it.
    const QString note = QString::fromStdWString(overwrite_all_note(tables));
    auto* under = add(id_overwrite_all_note, ui::control_kind::label, note);
    under->setContentsMargins(style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                                  style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing),
                              0, 0, 4);
    all->setAccessibleDescription(note);
    radios->addWidget(under);
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
    // The choice that deletes most is never taken for granted: the one made last time,
    // else the one that keeps the tables the run does not write.
    const bool known = mode >= udb_mode_overwrite_database && mode <= udb_mode_merge_tables;
    ctrl<QRadioButton>(mode_radios[known ? mode : udb_mode_overwrite_tables])->setChecked(true);
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
