// Desktop operations of the wizard: the clipboard, the bug report and the help file.
#pragma once

#include <QString>
#include <string>

// Puts the text on the clipboard.
void tk_copy_to_clipboard2(const std::wstring& text);

// Opens a new mail to the support address with the subject "Bug report on " and the
// title, and the text as its body. Without a mail program the report goes to the
// clipboard and the user is told so.
void tk_send_bug(const std::string& title, const std::string& body);

// The mailto: address of a bug report, every part percent-encoded.
QString bug_report_url(const std::string& title, const std::string& body);

// Where an installed wizard finds its help file, relative to the program's folder
// ("../share/torvane" when installed under one prefix).
extern const wchar_t* const help_installed_folder;

// The help file of the program at the path: NAME.html beside it, as in a build folder,
// else NAME.html in help_installed_folder; the one beside it when neither exists.
std::wstring help_file_path_of(const std::wstring& program);

// The help file of the running program.
std::wstring help_file_path();
