#include "GUI2/g_seltab.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "GUI2/g_sqlpg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "platform/ui/ui_app.hpp"
#include "shell/morvale_conv.hpp"

namespace {

enum : int {
    id_available = 1317,
    id_selected = 1318,
    id_add = 1101,
    id_add_all = 1102,
    id_remove = 1111,
    id_remove_all = 1110,
    id_add_query = 1114,
    id_up = 1117,
    id_down = 1118,
};

void select_only(QListWidget* list, int row) {
    list->clearSelection();
    list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

}  // namespace

sel_tables_page::sel_tables_page(const std::wstring& prompt, int b_reorder,
                                 const std::wstring& title, const std::wstring& subtitle)
    : wizard_page(title, subtitle), b_reorder_(b_reorder), prompt_(prompt) {
    tk_log_printf(2, "sel_tables_page::ctor(b_reorder=%d)", b_reorder);
    available_ = static_cast<QListWidget*>(add(id_available, ui::control_kind::list));
    selected_ = static_cast<QListWidget*>(add(id_selected, ui::control_kind::list));
    // Reordering needs lists that keep the order they are given.
    if (b_reorder_) {
        available_->setSortingEnabled(false);
        selected_->setSortingEnabled(false);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(add(1337, ui::control_kind::label));
    auto* grid = new QGridLayout;
    auto* left = static_cast<QLabel*>(add(1334, ui::control_kind::label));
    auto* right = static_cast<QLabel*>(add(1312, ui::control_kind::label));
    left->setBuddy(available_);
    right->setBuddy(selected_);
    grid->addWidget(left, 0, 0);
    grid->addWidget(right, 0, 2);
    grid->addWidget(available_, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    for (auto [id, text] : {std::pair{id_add, "A&dd >"},
                            {id_add_all, "Add a&ll >"},
                            {id_remove, "< &Remove"},
                            {id_remove_all, "< Re&move all"},
                            {id_add_query, "&Add Query"}})
        buttons->addWidget(add(id, ui::control_kind::button, text));
    buttons->addStretch(1);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(selected_, 1, 2);
    auto* order = new QVBoxLayout;
    order->addStretch(1);
    order->addWidget(add(id_up, ui::control_kind::button, "^"));
    order->addWidget(add(id_down, ui::control_kind::button, "v"));
    order->addStretch(1);
    grid->addLayout(order, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid, 1);
    // Tab goes from the available list through the buttons to the selected list.
    QWidget* previous = available_;
    for (int id : {id_add, id_add_all, id_remove, id_remove_all, id_selected, id_up, id_down}) {
        QWidget* next = ui::find_control(this, id);
        setTabOrder(previous, next);
        previous = next;
    }
    ctrl<QWidget>(id_add_query)->hide();
    ctrl<QWidget>(id_up)->hide();
    ctrl<QWidget>(id_down)->hide();
    QObject::connect(available_, &QListWidget::itemDoubleClicked, this,
                     [this] { ui::guarded([this] { on_add(); }); });
}

void sel_tables_page::do_page_init() {
    tk_log_printf(2, "sel_tables_page::do_page_init");
    available_->clear();
    selected_->clear();
    for (const std::wstring& name : names)
        ui::add_list_item(available_, QString::fromStdWString(name));
    if (available_->count() > 0) {
        tk_log_printf(1, "Highlight 1st row");
        select_only(available_, 0);
    }
    if (b_reorder_) {
        tk_log_printf(1, "Activating re-order buttons");
        show_ctrl(id_up, true);
        show_ctrl(id_down, true);
    }
}

void sel_tables_page::on_command(int id) {
    switch (id) {
        case id_add:
            on_add();
            break;
        case id_add_all:
            on_add_all();
            break;
        case id_remove:
            on_delete();
            break;
        case id_remove_all:
            on_del_all();
            break;
        case id_up:
            on_move_up();
            break;
        case id_down:
            on_move_down();
            break;
    }
}

void sel_tables_page::move_item(QListWidget* from, QListWidget* to, int index) {
    QListWidgetItem* item = from->takeItem(index);
    if (!item) return;
    const std::wstring name = item->text().toStdWString();
    ui::add_list_item(to, item->text());
    delete item;
    if (!is_excluded(name)) return;
    if (to == selected_)
        on_added(name);
    else
        on_removed(name);
}

void sel_tables_page::focus_first(QListWidget* list) {
    tk_log_printf(1, "sel_tables_page::clear_sel");
    list->setFocus();
    if (list->count() > 0) select_only(list, 0);
}

void sel_tables_page::move_selected(QListWidget* from, QListWidget* to, const char* trace) {
    std::vector<int> rows;
    for (QListWidgetItem* item : from->selectedItems()) rows.push_back(from->row(item));
    std::sort(rows.begin(), rows.end());
    const int n = static_cast<int>(rows.size());
    tk_log_printf(1, "n_sel=%d", n);
    if (n == 0) return;
    for (int k = 0; k < n; ++k) {
        tk_log_printf(1, trace, rows[k]);
        move_item(from, to, rows[k] - k);
    }
    if (from->count() > 0)
        select_only(from, std::min(rows.back() - n + 1, from->count() - 1));
    else
        focus_first(to);
}

void sel_tables_page::on_add() {
    tk_log_printf(2, "sel_tables_page::on_add");
    move_selected(available_, selected_, "Adding item #%d");
}

void sel_tables_page::on_delete() {
    tk_log_printf(2, "sel_tables_page::on_delete");
    move_selected(selected_, available_, "Deleting item #%d");
}

void sel_tables_page::on_add_all() {
    tk_log_printf(2, "sel_tables_page::on_add_all");
    while (available_->count() > 0) move_item(available_, selected_, 0);
    focus_first(selected_);
}

void sel_tables_page::on_del_all() {
    tk_log_printf(2, "sel_tables_page::on_del_all");
    while (selected_->count() > 0) move_item(selected_, available_, 0);
    focus_first(available_);
}

void sel_tables_page::swap_with_next(int first) {
    QListWidgetItem* item = selected_->takeItem(first + 1);
    selected_->insertItem(first, item);
}

void sel_tables_page::on_move_up() {
    tk_log_printf(2, "sel_tables_page::on_move_up");
    const int i = selected_->currentRow();
    if (i <= 0) return;
    swap_with_next(i - 1);
    select_only(selected_, i - 1);
}

void sel_tables_page::on_move_down() {
    tk_log_printf(2, "sel_tables_page::on_move_down");
    const int i = selected_->currentRow();
    if (i < 0 || i + 1 >= selected_->count()) return;
    swap_with_next(i);
    select_only(selected_, i + 1);
}

void sel_tables_page::select_names(const std::vector<std::wstring>& wanted) {
    for (const std::wstring& name : wanted) {
        const QString text = QString::fromStdWString(name);
        for (int i = 0; i < available_->count(); ++i)
            if (available_->item(i)->text() == text) {
                move_item(available_, selected_, i);
                break;
            }
    }
}

bool sel_tables_page::store_selection() {
    if (available_->count() > 0 && selected_->count() == 0 && !prompt_.empty() &&
        !wizard_shell::question(prompt_, true))
        return false;
    names.clear();
    for (int i = 0; i < selected_->count(); ++i) {
        std::wstring name = selected_->item(i)->text().toStdWString();
        if (!is_excluded(name)) names.push_back(std::move(name));
    }
    return true;
}

bool mvl_sel_tables_page::page_init() {
    morvale_convertor& conv = morvale_convertor::get_instance();
    ctrl<QLabel>(1337)->setText("Select MySQL tables to convert into FoxPro/DBase format.");
    ctrl<QLabel>(1334)->setText("&Available tables:");
    ctrl<QLabel>(1312)->setText("&Selected tables:");
    try {
        // Cancel while the server keeps the list waiting stays on the previous page.
        std::vector<std::wstring> listed;
        if (!wait_on_server(conv, window(), "Reading the list of tables...",
                            [&] { conv.get_all_tables(listed); }))
            throw tk_final_exception();
        names = std::move(listed);
    } catch (const tk_exception& e) {
        // The database may have gone since the previous page: the wizard stays there.
        show_page_error(e);
        throw tk_final_exception();
    }
    do_page_init();
    return true;
}

void mvl_sel_tables_page::on_help() {
    wizard_shell::get_instance().display_help(1017);
}

int mvl_sel_tables_page::on_next() {
    if (!store_selection()) return -1;
    morvale_convertor::get_instance().selection() = names;
    return 0;
}
