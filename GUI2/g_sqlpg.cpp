#include "GUI2/g_sqlpg.hpp"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <errmsg.h>

#include "GUI2/g_wiz_sh.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_intr.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/ui/ui_app.hpp"
#include "platform/ui/ui_wait.hpp"
#include "shell/morvale_conv.hpp"
#include "shell/morvale_stop.hpp"

namespace {

enum : int {
    id_local = 1329,
    id_remote = 1330,
    id_user = 1012,
    id_password = 1013,
    id_host = 1014,
    id_port = 1015,
};

// A captioned frame whose rows are a label, its edit and an optional remark.
QGridLayout* framed_grid(ui::page& page, QVBoxLayout* layout, const char* caption) {
    auto* group = static_cast<QGroupBox*>(page.add(0, ui::control_kind::group, caption));
    layout->addWidget(group);
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    return grid;
}

void add_row(ui::page& page, QGridLayout* grid, int row, const char* label, int edit_id,
             ui::control_kind kind, const char* remark = nullptr) {
    auto* l = static_cast<QLabel*>(page.add(0, ui::control_kind::label, label));
    QWidget* edit = page.add(edit_id, kind);
    l->setBuddy(edit);
    grid->addWidget(l, row, 0);
    grid->addWidget(edit, row, 1);
    if (!remark) return;
    auto* r = static_cast<QLabel*>(page.add(0, ui::control_kind::label, remark));
    r->setWordWrap(false);  // the edit gives way instead
    grid->addWidget(r, row, 2);
}

std::string text_of(const ui::page& page, int id) {
    return page.ctrl<QLineEdit>(id)->text().toStdString();
}

}  // namespace

sql_settings_page::sql_settings_page(const std::wstring& title, const std::wstring& subtitle,
                                     int help_topic, int auth_topic)
    : wizard_page(title, subtitle), help_topic_(help_topic), auth_topic_(auth_topic) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(add(0, ui::control_kind::label,
                          "Provide necessary information to establish connection with MySQL "
                          "server."));
    auto* mode = static_cast<QGroupBox*>(add(0, ui::control_kind::group, " Access mode "));
    auto* radios = new QHBoxLayout(mode);
    radios->addWidget(add(id_local, ui::control_kind::radio, "&Local"));
    radios->addWidget(add(id_remote, ui::control_kind::radio, "&Remote"));
    radios->addStretch(1);
    layout->addWidget(mode);
    QGridLayout* auth = framed_grid(*this, layout, " Authorization settings ");
    add_row(*this, auth, 0, "&User name:", id_user, ui::control_kind::edit);
    add_row(*this, auth, 1, "User pa&ssword:", id_password, ui::control_kind::password);
    QGridLayout* remote = framed_grid(*this, layout, " Remote settings ");
    add_row(*this, remote, 0, "H&ost:", id_host, ui::control_kind::edit,
            "(it could be network name or IP address)");
    add_row(*this, remote, 1, "&Port:", id_port, ui::control_kind::edit,
            "(default MySQL port is 3306)");
    layout->addStretch(1);
}

bool sql_settings_page::page_init() {
    tk_log_printf(2, "sql_settings_page2::page_init");
    mysql_converter_impl& conv = settings(true);
    ctrl<QLineEdit>(id_user)->setText(QString::fromStdString(conv.user()));
    ctrl<QLineEdit>(id_password)->setText(QString::fromStdString(conv.password()));
    if (conv.host().empty()) {
        ctrl<QRadioButton>(id_local)->setChecked(true);
        enable_remote(false);
        // What Remote had, for the moment it is chosen again.
        ctrl<QLineEdit>(id_host)->setText(QString::fromStdString(conv.remote_host()));
        ctrl<QLineEdit>(id_port)->setText(QString::fromStdString(conv.remote_port()));
    } else {
        ctrl<QRadioButton>(id_remote)->setChecked(true);
        enable_remote(true);
        ctrl<QLineEdit>(id_host)->setText(QString::fromStdString(conv.host()));
        ctrl<QLineEdit>(id_port)->setText(QString::fromStdString(conv.port()));
    }
    return true;
}

void sql_settings_page::enable_remote(bool on) {
    enable_ctrl(id_host, on);
    enable_ctrl(id_port, on);
}

void sql_settings_page::on_command(int id) {
    if (id == id_local || id == id_remote) enable_remote(id == id_remote);
}

void sql_settings_page::on_help() {
    wizard_shell::get_instance().display_help(help_topic_);
}

bool sql_settings_page::remote() const {
    return ctrl<QRadioButton>(id_remote)->isChecked();
}

void sql_settings_page::store_settings() {
    tk_log_printf(2, "sql_settings_page2::store_settings");
    mysql_converter_impl& conv = settings(false);
    // No host name holds a blank, so one around it was typed or pasted by mistake; the
    // user name and the password are taken as typed, blanks and all.
    const std::string typed_host = tk_string(text_of(*this, id_host)).trim();
    const std::string typed_port = tk_string(text_of(*this, id_port)).trim();
    // Local leaves Remote's host and port as they were typed, for the next time.
    conv.remember_remote(typed_host, typed_port);
    std::string host, port = "3306";
    if (remote()) {
        host = typed_host;
        port = typed_port;
    }
    conv.store_mysql_settings(host, text_of(*this, id_user), text_of(*this, id_password), port);
}

std::wstring connection_failure_text(const sql_exception& e, const std::string& host,
                                     const std::string& port) {
    std::string fixed = fixed_error_text(e.code());
    // The client library's own failures (no server reached, no answer) have the text of
    // a server that cannot be reached.
    if (fixed.empty() && e.on_client_side())
        fixed = fixed_error_text(0x400000u + CR_CONN_HOST_ERROR);
    const std::string where = host.empty() ? "Host: localhost, through the local server's socket"
                                           : "Host: " + host + ", port " + port;
    std::string text = fixed.empty() ? std::string() : fixed + "\n\n";
    text += where + "\n" + e.message();
    return tk_ansi_to_unicode(text);
}

int sql_settings_page::on_next() {
    tk_log_printf(2, "sql_settings_page2::on_next");
    store_settings();
    mysql_converter_impl& conv = settings(false);
    // An empty host would connect to this machine's server instead, without a word.
    if (remote() && conv.host().empty()) {
        wizard_shell::message(
            L"Remote needs a host: enter the network name or IP address of the MySQL server, or "
            L"choose Local.");
        ctrl<QLineEdit>(id_host)->setFocus();
        return -1;
    }
    // A refused way of signing in opens the help on it too.
    auto help_on_auth = [&](uint32_t code) {
        const uint32_t error = code & 0xFFFF;
        if (error == 1249 || error == 1250) wizard_shell::get_instance().display_help(auth_topic_);
    };
    try {
        // Cancelled, the wizard stays here.
        return connect_while_waiting(conv, window()) ? 0 : -1;
    } catch (const sql_auth_not_supported_exception& e) {
        wizard_shell::error(e.message());
        wizard_shell::get_instance().display_help(auth_topic_);
    } catch (const sql_exception& e) {
        wizard_shell::error(connection_failure_text(e, conv.host(), conv.port()));
        help_on_auth(e.code());
    } catch (const tk_exception& e) {
        show_page_error(e);
        help_on_auth(e.code());
    }
    return -1;
}

namespace {

// A wait that was cancelled shut the connection down: the next one connects again.
bool connection_broken = false;

}  // namespace

bool wait_on_server(mysql_converter_impl& conv, QWidget* owner, const char* text,
                    const std::function<void()>& work, bool connect) {
    const wizard_shell* shell = wizard_shell::find();
    // An earlier Cancel's interrupt is over (a stop signal's never is).
    sql_allow_reads();
    const bool reconnect = connect || connection_broken;
    try {
        const bool done = ui::wait_for(
            owner, QString::fromStdWString(shell ? shell->title() : std::wstring()), text,
            [&] {
                if (reconnect) conv.connect_mysql_server();
                if (work) work();
            },
            [] { sql_interrupt_reads(); });
        connection_broken = !done;
        // A stop signal that came meanwhile ends the program, whatever the wait gave.
        return done && !stop_signal_received();
    } catch (const std::exception& e) {
        const auto* sql = dynamic_cast<const sql_exception*>(&e);
        if (sql && sql->connection_lost()) connection_broken = true;
        if (stop_signal_received()) return false;
        throw;
    }
}

bool connect_while_waiting(mysql_converter_impl& conv, QWidget* owner,
                           const std::function<void()>& then) {
    return wait_on_server(conv, owner, "Connecting to the MySQL server...", then, true);
}

int sql_settings_page::on_back() {
    store_settings();
    return 0;
}
