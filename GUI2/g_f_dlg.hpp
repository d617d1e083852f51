// Choosing a profile file to load or to save.
#pragma once

#include <QStringList>
#include <string>

#include "platform/ui/ui_modal.hpp"

class QWidget;

// The filters for profiles of the extension and for all files. An extension that is
// not 3 or 4 characters long is an internal error at the caller's line.
QStringList profile_filter(const std::wstring& extension, int assertion_line);

// The save rule: a name that does not hold the extension anywhere gets it appended.
std::wstring with_default_extension(const std::wstring& name, const std::wstring& extension);

class file_dialog {
  public:
    // An empty initial path opens the home folder with an empty name.
    file_dialog(QWidget* owner, const QStringList& filter, const std::wstring& title,
                const std::wstring& initial_path);
    virtual ~file_dialog() = default;

    // True when the user chose a file; path() holds it then.
    virtual bool do_modal() = 0;
    const std::wstring& path() const { return path_; }

  protected:
    bool choose();
    ui::file_request request_;
    std::wstring path_;
};

class open_file_dialog : public file_dialog {
  public:
    open_file_dialog(QWidget* owner, const QStringList& filter, const std::wstring& title,
                     const std::wstring& initial_path);
    bool do_modal() override;
};

// A file that exists under the final name (the extension appended) is replaced only
// after Yes to a question; No brings the dialog back for another name.
class save_file_dialog : public file_dialog {
  public:
    // The extension gets a leading point when it has none; null is an internal error.
    save_file_dialog(QWidget* owner, const QStringList& filter, const std::wstring& title,
                     const std::wstring& initial_path, const wchar_t* extension);
    bool do_modal() override;

  private:
    std::wstring extension_;
};
