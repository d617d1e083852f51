#include "GUI2/g_wiz_pg.hpp"

#include <QCheckBox>

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"

wizard_page_base::wizard_page_base(int dialog_id, int buttons, int flags, const std::wstring& title,
                                   const std::wstring& subtitle)
    : ui::page(dialog_id, buttons, flags) {
    header_title = QString::fromStdWString(title);
    header_subtitle = QString::fromStdWString(subtitle);
}

wizard_page_base::~wizard_page_base() {
    tk_log_printf(2, "wizard_page::dtor");
}

bool wizard_page_base::on_set_active() {
    tk_log_printf(2, "wizard_page::OnSetActive");
    wizard_shell::get_instance().initialize_if();
    return page_init();
}

bool wizard_page_base::on_cancel() {
    tk_log_printf(2, "wizard_page::on_cancel");
    wizard_shell::get_instance();  // the question needs the wizard
    return wizard_shell::question(L"Are you sure you want to exit the wizard?", true);
}

void wizard_page_base::invert_chbox(int id) {
    tk_log_printf(1, "wizard_page::invert_chbox(%d)", id);
    auto* box = ctrl<QCheckBox>(id);
    if (!box) throw tk_mail_assertion("..\\GUI2/g_wiz_pg.hpp", 127);
    box->setChecked(!box->isChecked());
}

void wizard_page_base::enable_ctrl(int id, bool on) {
    tk_log_printf(1, "wizard_page::enable_ctrl(%d=%d)", id, on);
    if (QWidget* w = ui::find_control(this, id)) {
        w->setEnabled(on);
        if (on) w->setFocus();
    }
}

void wizard_page_base::show_ctrl(int id, bool on) {
    tk_log_printf(1, "wizard_page::show_ctrl(%d=%d)", id, on);
    if (QWidget* w = ui::find_control(this, id)) w->setVisible(on);
}

std::string fixed_error_text(uint32_t code) {
    static const tk_error_converter texts(error_handler_code_count, error_handler_codes);
    return texts.convert(static_cast<int32_t>(code));
}

void show_page_error(const tk_exception& e) {
    if (e.kind() == tk_kind_internal) error_handler::get_instance().handle(e, true);
    const std::string text = fixed_error_text(e.code());
    wizard_shell::error(text.empty() ? e.message() : text);
}
