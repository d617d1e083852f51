// The table selection page: the source database's tables in an "available" list and
// the chosen ones in a "selected" list; Next hands the chosen names to the converter.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

#include "GUI2/g_wiz_pg.hpp"

class QListWidget;
class morvale_convertor;

class sel_tables_page : public wizard_page<127, 3, page_has_help> {
  public:
    // An empty prompt asks nothing when Next finds the selection empty.
    sel_tables_page(const std::wstring& prompt, int b_reorder, const std::wstring& title,
                    const std::wstring& subtitle);

    // Fills the available list from names and empties the selected one.
    void do_page_init();

    // Moves each name the available list holds (exactly so) to the selected list; the
    // available list's first entry is highlighted again, as when the page starts.
    virtual void select_names(const std::vector<std::wstring>& names);
    // A name for which this is true is not stored.
    virtual bool is_excluded(const std::wstring&) const { return false; }
    virtual void on_added(const std::wstring&) {}
    virtual void on_removed(const std::wstring&) {}

    void on_add();
    void on_add_all();
    void on_delete();
    void on_del_all();
    void on_move_up();
    void on_move_down();
    // False when the user chose to stay; otherwise names := the selected list's texts.
    bool store_selection();

    // The source's names before, the selected names after store_selection.
    std::vector<std::wstring> names;

  protected:
    void on_command(int id) override;

  private:
    // Adds the texts in the list's order: by name without regard to case, or after the
    // entries when the page reorders.
    void insert_texts(QListWidget* list, QStringList texts);
    // Moves the entries of the rows to the other list in one step (one change for each
    // run of neighbours), however many they are.
    void move_rows(QListWidget* from, QListWidget* to, std::vector<int> rows);
    void move_all(QListWidget* from, QListWidget* to);
    void move_selected(QListWidget* from, QListWidget* to, const char* trace);
    // The list gets the focus and only its first entry is selected.
    void focus_first(QListWidget* list);
    void swap_with_next(int first);

    int b_reorder_;
    std::wstring prompt_;
    QListWidget* available_;
    QListWidget* selected_;
};

class mvl_sel_tables_page : public sel_tables_page {
  public:
    using sel_tables_page::sel_tables_page;

    bool page_init() override;
    void on_help() override;
    int on_next() override;

  private:
    // The tables of a loaded profile go to the selected list; those the database lacks
    // are named in a box.
    void select_profile_tables(morvale_convertor& conv);
};
