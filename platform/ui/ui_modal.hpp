// Everything modal goes through one replaceable service: message boxes, dialogs, file
// choosers, help, opening a URL, the clipboard. The program uses the Qt implementation;
// tests install a scripted one and see every request.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace ui {

class dialog;

enum class box_icon { error, information, question };
enum class box_answer { ok, yes, no };

struct file_request {
    bool save = false;
    QWidget* owner = nullptr;
    QString title;
    QStringList filters;  // Qt filter strings, "Description (*.ext)"
    QString folder;
    bool must_exist = false;
    // A folder is chosen, not a file: the dialog shows folders only and starts in `folder`.
    bool choose_folder = false;
};

class modal_service {
  public:
    virtual ~modal_service() = default;
    // OK only, or Yes and No (question) with No as the default when default_no.
    virtual box_answer message_box(QWidget* owner, box_icon icon, const QString& caption,
                                   const QString& text, bool default_no) = 0;
    // Runs the dialog modally; its result.
    virtual int run_dialog(dialog& d) = 0;
    // False when the user chose nothing (Cancel, Escape).
    virtual bool choose_file(const file_request& request, QString& path) = 0;
    // Shows the HTML help file at the anchor (empty: its top).
    virtual void show_help(QWidget* owner, const QString& file, const QString& anchor) = 0;
    // False when nothing could open it.
    virtual bool open_url(const QString& url) = 0;
    virtual void set_clipboard_text(const QString& text) = 0;
};

// The service in force: the installed one, else the Qt implementation.
modal_service& modal();
// Installs a service (null: back to the Qt implementation); the caller keeps it.
void set_modal(modal_service* service);

}  // namespace ui
