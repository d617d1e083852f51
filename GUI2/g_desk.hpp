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

// The program's own path with the extension ".html".
std::wstring help_file_path();
