#include "GUI2/g_welc.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "GUI2/g_wiz_sh.hpp"

welcome_page::welcome_page() {
    auto* layout = new QVBoxLayout(this);
    // The title wraps by the page's width, whatever the font's size.
    layout->addWidget(add(1337, ui::control_kind::title, "Welcome to Torvane Conversion Wizard"));
    layout->addSpacing(24);
    layout->addWidget(
        add(0, ui::control_kind::label, "This wizard helps you convert MySQL database into"));
    layout->addWidget(
        add(0, ui::control_kind::label, "FoxPro/DBase format. Click 'Next' to continue."));
    layout->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(add(1115, ui::control_kind::button, "&Load Settings..."));
    row->addStretch(1);
    layout->addLayout(row);
}

bool welcome_page::page_init() {
    tk_log_printf(2, "welcome_page::page_init");
    return true;
}

void welcome_page::on_help() {
    wizard_shell::get_instance().display_help(1012);
}

void welcome_page::on_command(int id) {
    if (id == 1115) on_load();
}
