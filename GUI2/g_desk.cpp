#include "GUI2/g_desk.hpp"

#include <QUrl>

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/ui/ui_modal.hpp"

#ifndef TORVANE_SUPPORT_ADDRESS
#define TORVANE_SUPPORT_ADDRESS ""
#endif
#ifndef TORVANE_HELP_FOLDER
#define TORVANE_HELP_FOLDER "../share/torvane"
#endif

const wchar_t* const help_installed_folder = L"" TORVANE_HELP_FOLDER;

void tk_copy_to_clipboard2(const std::wstring& text) {
    tk_log_wprintf(1, L"tk_copy_to_clipboard2(%s)", text);
    ui::modal().set_clipboard_text(QString::fromStdWString(text));
}

QString bug_report_url(const std::string& title, const std::string& body) {
    const QString subject = QString::fromUtf8("Bug report on " + title);
    // No address configured: the mail program asks for the recipient.
    return QString("mailto:") +
           QString::fromUtf8(
               QUrl::toPercentEncoding(QString::fromUtf8(TORVANE_SUPPORT_ADDRESS), "@")) +
           "?subject=" + QString::fromLatin1(QUrl::toPercentEncoding(subject)) +
           "&body=" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(body)));
}

void tk_send_bug(const std::string& title, const std::string& body) {
    tk_log_printf(1, "tk_send_bug(%s|%s)", title, body);
    if (ui::modal().open_url(bug_report_url(title, body))) return;
    ui::modal().set_clipboard_text(QString::fromUtf8("Bug report on " + title + "\n\n" + body));
    wizard_shell::message(L"No mail program is set up; the report was copied to the clipboard.");
}

std::wstring help_file_path_of(const std::wstring& program) {
    tk_file_wname beside(program);
    beside.set_extension(L".html");
    const std::wstring in_build = beside.make_path();
    if (tk_is_file_exist2(in_build, tk_exist_file)) return in_build;
    const std::wstring installed = tk_file_wname(beside.get_drive_dir() + help_installed_folder +
                                                 L"/" + beside.name + beside.extension)
                                       .make_path();
    return tk_is_file_exist2(installed, tk_exist_file) ? installed : in_build;
}

std::wstring help_file_path() {
    return help_file_path_of(tk_get_module_file_name_w());
}
