#include "GUI2/g_selfil.hpp"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "GUI2/g_sqlpg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "common/over_dlg.hpp"
#include "dbf/dbf_db.hpp"
#include "platform/ui/ui_modal.hpp"
#include "shell/morvale_conv.hpp"

namespace {

enum : int {
    id_databases = 1317,
    id_no_data = 1228,
    id_blob = 1204,
    id_destination = 1004,
    id_browse = 1005,
};

std::wstring home_folder() {
    return QDir::homePath().toStdWString();
}

// The first entry named exactly so, else the first that differs in case only.
QListWidgetItem* find_database(QListWidget* list, const QString& name) {
    QListWidgetItem* folded = nullptr;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        if (item->text() == name) return item;
        if (!folded && item->text().compare(name, Qt::CaseInsensitive) == 0) folded = item;
    }
    return folded;
}

QLabel* buddy_label(ui::page& page, const char* text, QWidget* buddy) {
    auto* l = static_cast<QLabel*>(page.add(0, ui::control_kind::label, text));
    l->setBuddy(buddy);
    return l;
}

}  // namespace

std::wstring destination_for_database(const std::wstring& folder, const std::wstring& database) {
    if (database.empty() || database == L"." || database == L"..") return {};
    std::wstring name = database;
    for (wchar_t& c : name)
        if (c == L'/') c = L'_';
    return tk_make_full_path(folder.empty() ? home_folder() + L"/" : folder, name, L"", false);
}

std::wstring expand_home(const std::wstring& typed) {
    // Blanks or tabs typed around a path are no part of it, as a profile reads it.
    const std::wstring path = udb_unpadded(typed);
    if (path == L"~") return home_folder();
    if (path.rfind(L"~/", 0) == 0) return home_folder() + path.substr(1);
    return path;
}

sel_file_page::sel_file_page(const std::wstring& title, const std::wstring& subtitle)
    : wizard_page(title, subtitle) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        add(0, ui::control_kind::label, "Enter source and destination database names."));
    layout->addSpacing(4);
    list_ = static_cast<QListWidget*>(add(id_databases, ui::control_kind::single_list));
    layout->addWidget(buddy_label(*this, "My&SQL database name:", list_));
    layout->addWidget(list_, 1);
    layout->addWidget(add(id_no_data, ui::control_kind::check, "&Do not migrate the data"));
    layout->addWidget(add(id_blob, ui::control_kind::check, "Convert BLOB to &memo"));
    QWidget* destination = add(id_destination, ui::control_kind::edit);
    layout->addWidget(buddy_label(*this, "Path to &DBF database:", destination));
    auto* row = new QHBoxLayout;
    row->addWidget(destination, 1);
    // Alt+R: Alt+B is Back's, and no other control of the page takes R.
    row->addWidget(add(id_browse, ui::control_kind::button, "B&rowse..."));
    layout->addLayout(row);
    QObject::connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!filling_) ui::guarded([this] { on_database_changed(); });
    });
}

bool sel_file_page::page_init() {
    morvale_convertor& conv = morvale_convertor::instance();
    ctrl<QCheckBox>(id_no_data)->setChecked(conv.only_definitions());
    ctrl<QCheckBox>(id_blob)->setChecked(conv.blob_to_memo());
    // Selecting the saved database here is no choice of the user's: the destination
    // stays as it was saved.
    filling_ = true;
    struct refill_end {
        bool& flag;
        ~refill_end() { flag = false; }
    } end{filling_};
    // A server that stops answering must not freeze the window: Cancel stays on the
    // connection page.
    std::vector<std::wstring> databases;
    if (!wait_on_server(conv, window(), "Reading the list of databases...",
                        [&] { databases = conv.engine().get_contents(); }))
        throw tk_final_exception();
    list_->clear();
    for (const std::wstring& name : databases)
        ui::add_list_item(list_, QString::fromStdWString(name));
    const std::wstring& source = conv.source();
    std::wstring destination = conv.destination();
    if (!source.empty()) {
        if (QListWidgetItem* item = find_database(list_, QString::fromStdWString(source))) {
            list_->setCurrentItem(item);
            list_->scrollToItem(item);
            if (destination.empty()) destination = destination_for_database(L"", source);
        }
    }
    if (!destination.empty())
        ctrl<QLineEdit>(id_destination)->setText(QString::fromStdWString(destination));
    return true;
}

void sel_file_page::on_help() {
    wizard_shell::get_instance().display_help(1014);
}

void sel_file_page::on_command(int id) {
    if (id == id_browse) on_browse();
}

QString browse_start(const std::wstring& typed) {
    const QString path = QString::fromStdWString(expand_home(typed));
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.isDir()) return info.absoluteFilePath();
        // A folder still to be created: its parent, where it will be.
        if (const QFileInfo parent(info.absolutePath()); parent.isDir())
            return parent.absoluteFilePath();
    }
    return QDir::homePath();
}

void sel_file_page::on_browse() {
    auto* edit = ctrl<QLineEdit>(id_destination);
    ui::file_request request;
    request.owner = window();
    request.title = "Select DBF Database Folder";
    request.folder = browse_start(edit->text().toStdWString());
    request.choose_folder = true;
    QString chosen;
    if (!ui::modal().choose_file(request, chosen)) return;
    edit->setText(chosen);
    edit->setFocus();
}

std::wstring sel_file_page::get_selected_database() const {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) {
        tk_log_printf(1, "Failed to exract select item from list");
        return {};
    }
    return selected.front()->text().toStdWString();
}

void sel_file_page::on_database_changed() {
    const std::wstring database = get_selected_database();
    if (database.empty()) return;
    auto* edit = ctrl<QLineEdit>(id_destination);
    try {
        const std::wstring destination =
            destination_for_database(expand_home(edit->text().toStdWString()), database);
        if (!destination.empty()) edit->setText(QString::fromStdWString(destination));
    } catch (const tk_exception& e) {
        show_page_error(e);
    }
}

void sel_file_page::store() {
    morvale_convertor* conv = morvale_convertor::find();
    if (!conv) throw tk_mail_assertion("mvl_shel.cpp", 211);
    conv->set_only_definitions(ctrl<QCheckBox>(id_no_data)->isChecked());
    conv->set_blob_to_memo(ctrl<QCheckBox>(id_blob)->isChecked());
    conv->set_source(get_selected_database());
    conv->set_destination(expand_home(ctrl<QLineEdit>(id_destination)->text().toStdWString()));
}

int sel_file_page::on_next() {
    try {
        store();
        morvale_convertor& conv = morvale_convertor::get_instance();
        const std::wstring& destination = conv.destination();
        if (conv.source().empty()) {
            wizard_shell::message(L"You should select MySQL database");
            return -1;
        }
        if (destination.empty()) {
            wizard_shell::message(L"You should enter path to DBF database");
            return -1;
        }
        if (tk_is_path_exist(destination)) {
            tk_log_printf(2, "Destination path exists");
            // Held from here to the run's end, so that no other run writes meanwhile
            // (mode 0 would take its tables for this run's own).
            conv.claim_destination();
            wizard_shell& shell = wizard_shell::get_instance();
            // The message wraps by the width of the dialog, whatever the font.
            overwrite_dlg2<121> dlg(
                L"The destination database already exists. Select one of the options below. "
                L"Click 'Help' button for more information.",
                1013, shell.title(), conv.overwrite_choice(), dbf_count_tables(destination),
                [](int topic) { wizard_shell::get_instance().display_help(topic); },
                &shell.sheet());
            if (ui::modal().run_dialog(dlg) != 1) {
                conv.release_destination();
                return -1;
            }
            // Nothing in the folder changes before the run: Back or Cancel leaves it as it
            // was, also in mode 0.
            conv.set_mode(dlg.mode());
            conv.set_overwrite_choice(dlg.mode());
            return 0;
        }
        if (tk_is_file_exist2(destination, tk_exist_file)) {
            wizard_shell::error(L"You should enter path to DBF database, not a file name");
            return -1;
        }
        common_create_path(destination);
        conv.claim_destination();
        return 0;
    } catch (const tk_exception& e) {
        show_page_error(e);
        return -1;
    }
}

int sel_file_page::on_back() {
    try {
        // Another folder may be chosen on the way back here.
        morvale_convertor::get_instance().release_destination();
        store();
        return 0;
    } catch (const tk_exception& e) {
        show_page_error(e);
        return -1;
    }
}
