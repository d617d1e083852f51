#include "platform/ui/ui_modal.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "platform/ui/ui_app.hpp"
#include "platform/ui/ui_dialog.hpp"
#include "platform/ui/ui_help.hpp"

namespace ui {

namespace {

// Lines that the text's author broke by hand stay whole: the label is at least as wide
// as its widest line, so that the box does not wrap them again. The box never grows
// past what Qt allows it on the screen; a longer line still wraps there.
void keep_hard_lines(QMessageBox& box, const QString& text) {
    if (!text.contains('\n')) return;
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (!label) return;
    const bool wrap = label->wordWrap();
    label->setWordWrap(false);
    int width = label->sizeHint().width();
    label->setWordWrap(wrap);
    if (const QScreen* screen = box.screen()) {
        const int w = screen->availableGeometry().width();
        // Qt's limit for a message box, less room for its icon and margins.
        const int limit = (w <= 1024 ? w : std::min(w - 480, 1000)) - 120;
        width = std::min(width, limit);
    }
    label->setMinimumWidth(width);
}

class qt_modal : public modal_service {
  public:
    box_answer message_box(QWidget* owner, box_icon icon, const QString& caption,
                           const QString& text, bool default_no) override {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        // Names in the text (tables, files, hosts) are shown as they are, never as markup.
        box.setTextFormat(Qt::PlainText);
        box.setText(breakable(text));
        keep_hard_lines(box, text);
        if (icon == box_icon::question) {
            box.setIcon(QMessageBox::Question);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(default_no ? QMessageBox::No : QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? box_answer::yes : box_answer::no;
        }
        box.setIcon(icon == box_icon::error ? QMessageBox::Critical : QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return box_answer::ok;
    }

    int run_dialog(dialog& d) override { return d.exec(); }

    bool choose_file(const file_request& r, QString& path) override {
        // Qt's own dialog, so that every desktop (and the tests) behave alike; it never
        // changes the current directory.
        QFileDialog fd(r.owner, r.title, r.folder);
        fd.setOption(QFileDialog::DontUseNativeDialog);
        if (r.choose_folder) {
            fd.setAcceptMode(QFileDialog::AcceptOpen);
            fd.setFileMode(QFileDialog::Directory);
            fd.setOption(QFileDialog::ShowDirsOnly);
        } else if (r.save) {
            fd.setNameFilters(r.filters);
            fd.setAcceptMode(QFileDialog::AcceptSave);
            fd.setFileMode(QFileDialog::AnyFile);
            // The caller asks before it replaces a file: only it knows the final name,
            // with the extension it appends.
            fd.setOption(QFileDialog::DontConfirmOverwrite);
        } else {
            fd.setNameFilters(r.filters);
            fd.setAcceptMode(QFileDialog::AcceptOpen);
            fd.setFileMode(r.must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        }
        // Never taller or wider than the screen, where large fonts make it so.
        fd.resize(fd.sizeHint().boundedTo(room_on_screen(fd)));
        if (fd.exec() != QDialog::Accepted || fd.selectedFiles().isEmpty()) return false;
        path = fd.selectedFiles().front();
        return true;
    }

    void show_help(QWidget* owner, const QString& file, const QString& anchor) override {
        show_help_viewer(owner, file, anchor);
    }

    bool open_url(const QString& url) override {
        return QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
    }

    void set_clipboard_text(const QString& text) override {
        if (QClipboard* c = QGuiApplication::clipboard()) c->setText(text);
    }
};

modal_service*& installed() {
    static modal_service* s = nullptr;
    return s;
}

}  // namespace

modal_service& modal() {
    static qt_modal qt;
    return installed() ? *installed() : qt;
}

void set_modal(modal_service* service) {
    installed() = service;
}

}  // namespace ui
