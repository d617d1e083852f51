#include "platform/ui/ui_help.hpp"

#include <QDialog>
#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/ui/ui_app.hpp"

namespace ui {

void show_help_viewer(QWidget* owner, const QString& file, const QString& anchor) {
    // Modal, so that it stacks over a modal dialog whose Help opened it.
    QDialog viewer(owner);
    viewer.setWindowTitle(QObject::tr("Help"));
    viewer.resize(QSize(560, 420).boundedTo(room_on_screen(viewer)));
    auto* layout = new QVBoxLayout(&viewer);
    auto* text = new QTextBrowser(&viewer);
    text->setOpenLinks(true);
    QUrl url = QUrl::fromLocalFile(file);
    if (!anchor.isEmpty()) url.setFragment(anchor);
    text->setSource(url);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &viewer);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &viewer, &QDialog::reject);
    layout->addWidget(buttons);
    viewer.exec();
}

}  // namespace ui
