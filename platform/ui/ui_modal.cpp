#include "platform/ui/ui_modal.hpp"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "platform/ui/ui_dialog.hpp"
#include "platform/ui/ui_help.hpp"

namespace ui {

namespace {

class qt_modal : public modal_service {
  public:
    box_answer message_box(QWidget* owner, box_icon icon, const QString& caption,
                           const QString& text, bool default_no) override {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setText(text);
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
        fd.setNameFilters(r.filters);
        if (r.save) {
            fd.setAcceptMode(QFileDialog::AcceptSave);
            fd.setFileMode(QFileDialog::AnyFile);
            // An existing profile is replaced without a question.
            fd.setOption(QFileDialog::DontConfirmOverwrite);
        } else {
            fd.setAcceptMode(QFileDialog::AcceptOpen);
            fd.setFileMode(r.must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        }
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
