#include "GUI2/g_f_dlg.hpp"

#include <QDir>
#include <QFileInfo>

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_utils.hpp"

QStringList profile_filter(const std::wstring& extension, int assertion_line) {
    if (extension.size() < 3 || extension.size() > 4)
        throw tk_mail_assertion("..\\GUI2/g_finish.hpp", assertion_line);
    const QString ext = QString::fromStdWString(extension);
    // Qt takes the last parenthesised group as the patterns; the descriptions keep their
    // own text in front of it.
    return {QString("Profile Files (.%1) (*.%1)").arg(ext), QString("All Files (*.*) (*)")};
}

std::wstring with_default_extension(const std::wstring& name, const std::wstring& extension) {
    if (name.find(extension) != std::wstring::npos) return name;
    return name + extension;
}

file_dialog::file_dialog(QWidget* owner, const QStringList& filter, const std::wstring& title,
                         const std::wstring& initial_path) {
    request_.owner = owner;
    request_.filters = filter;
    request_.title = QString::fromStdWString(title);
    // The program's folder is not writable here; the home folder is where profiles live.
    if (initial_path.empty()) {
        request_.folder = QDir::homePath();
    } else {
        tk_file_wname parts(initial_path);
        request_.folder = QString::fromStdWString(parts.make_path());
    }
}

bool file_dialog::choose() {
    QString chosen;
    if (!ui::modal().choose_file(request_, chosen)) return false;
    path_ = chosen.toStdWString();
    return true;
}

open_file_dialog::open_file_dialog(QWidget* owner, const QStringList& filter,
                                   const std::wstring& title, const std::wstring& initial_path)
    : file_dialog(owner, filter, title, initial_path) {
    request_.must_exist = true;
}

bool open_file_dialog::do_modal() {
    return choose();
}

save_file_dialog::save_file_dialog(QWidget* owner, const QStringList& filter,
                                   const std::wstring& title, const std::wstring& initial_path,
                                   const wchar_t* extension)
    : file_dialog(owner, filter, title, initial_path) {
    if (!extension) throw tk_mail_assertion("g_f_dlg.cpp", 111);
    extension_ = extension;
    if (extension_.empty() || extension_[0] != L'.') extension_ = L"." + extension_;
    request_.save = true;
}

bool save_file_dialog::do_modal() {
    // The question comes once the extension is on: only then is the name final. After
    // No the dialog comes back, in the folder chosen, for another name.
    while (choose()) {
        path_ = with_default_extension(path_, extension_);
        if (!tk_is_file_exist2(path_, tk_exist_file) ||
            wizard_shell::question(L"The file " + path_ + L" exists already. Replace it?", true))
            return true;
        request_.folder = QFileInfo(QString::fromStdWString(path_)).absolutePath();
    }
    return false;
}
