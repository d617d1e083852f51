#include "GUI2/g_seltab.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

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
    // The page keeps the lists in order itself: a list that sorts takes its entries one at
    // a time, and a screen reader hears of each (thousands of tables freeze the window).
    available_->setSortingEnabled(false);
    selected_->setSortingEnabled(false);
    // A long name that the list cuts off is read whole in its tooltip.
    ui::tip_cut_entries(available_);
    ui::tip_cut_entries(selected_);

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
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(names.size()));
    for (const std::wstring& name : names) texts.push_back(QString::fromStdWString(name));
    insert_texts(available_, std::move(texts));
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

void sel_tables_page::insert_texts(QListWidget* list, QStringList texts) {
    if (b_reorder_) {
        list->insertItems(list->count(), texts);
        return;
    }
    std::sort(texts.begin(), texts.end(), ui::list_less);
    // Texts that go between the same two entries go in together; the last run first, so
    // that the places found for the earlier ones stay.
    std::vector<std::pair<int, qsizetype>> runs;  // the row before which, the first text
    for (qsizetype i = 0; i < texts.size(); ++i) {
        int low = runs.empty() ? 0 : runs.back().first, high = list->count();
        while (low < high) {
            const int mid = low + (high - low) / 2;
            if (ui::list_less(list->item(mid)->text(), texts[i]))
                low = mid + 1;
            else
                high = mid;
        }
        if (runs.empty() || runs.back().first != low) runs.emplace_back(low, i);
    }
    for (size_t r = runs.size(); r-- > 0;) {
        const qsizetype end = r + 1 < runs.size() ? runs[r + 1].second : texts.size();
        list->insertItems(runs[r].first, texts.mid(runs[r].second, end - runs[r].second));
    }
}

void sel_tables_page::move_rows(QListWidget* from, QListWidget* to, std::vector<int> rows) {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(rows.size()));
    for (int row : rows) texts.push_back(from->item(row)->text());
    // One removal for each run of neighbouring rows, the last run first.
    std::sort(rows.begin(), rows.end());
    for (size_t end = rows.size(); end > 0;) {
        size_t start = end - 1;
        while (start > 0 && rows[start - 1] + 1 == rows[start]) --start;
        from->model()->removeRows(rows[start], static_cast<int>(end - start));
        end = start;
    }
    insert_texts(to, texts);
    for (const QString& text : texts) {
        const std::wstring name = text.toStdWString();
        if (!is_excluded(name)) continue;
        if (to == selected_)
            on_added(name);
        else
            on_removed(name);
    }
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
    if (tk_log_on(1))
        for (int row : rows) tk_log_printf(1, trace, row);
    move_rows(from, to, rows);
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

void sel_tables_page::move_all(QListWidget* from, QListWidget* to) {
    std::vector<int> rows(static_cast<size_t>(from->count()));
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    move_rows(from, to, std::move(rows));
    focus_first(to);
}

void sel_tables_page::on_add_all() {
    tk_log_printf(2, "sel_tables_page::on_add_all");
    move_all(available_, selected_);
}

void sel_tables_page::on_del_all() {
    tk_log_printf(2, "sel_tables_page::on_del_all");
    move_all(selected_, available_);
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
    std::unordered_map<QString, int> row_of;
    for (int i = 0; i < available_->count(); ++i) row_of.emplace(available_->item(i)->text(), i);
    std::vector<int> rows;
    for (const std::wstring& name : wanted) {
        auto found = row_of.find(QString::fromStdWString(name));
        if (found == row_of.end()) continue;
        rows.push_back(found->second);
        row_of.erase(found);  // a name given twice moves once
    }
    move_rows(available_, selected_, std::move(rows));
    if (available_->count() > 0) select_only(available_, 0);
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
    select_profile_tables(conv);
    return true;
}

void mvl_sel_tables_page::select_profile_tables(morvale_convertor& conv) {
    const listed_tables listed(names);
    std::vector<std::wstring> found;
    std::wstring missing;
    std::unordered_set<std::wstring> seen;
    for (const auto& pair : conv.selected_tables()) {
        if (const std::wstring* name = listed.find(pair.first))
            found.push_back(*name);
        else if (seen.insert(pair.first).second)
            missing += (missing.empty() ? L"" : L", ") + pair.first;
    }
    select_names(found);
    // A name the database lacks cannot stand in either list; it is said, not dropped
    // without a word.
    if (!missing.empty())
        wizard_shell::message(L"The loaded profile lists tables that the database " +
                              conv.source() + L" does not have; they are not converted: " +
                              missing + L".");
}

void mvl_sel_tables_page::on_help() {
    wizard_shell::get_instance().display_help(1017);
}

int mvl_sel_tables_page::on_next() {
    if (!store_selection()) return -1;
    morvale_convertor& conv = morvale_convertor::get_instance();
    // The run converts the profile's tables too: from here only the list's tables stand
    // there, so that exactly what the page showed is converted.
    conv.selected_tables().clear();
    conv.selection() = names;
    return 0;
}
