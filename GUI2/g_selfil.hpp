// The source database and the destination folder, with "&Do not migrate the data" and
// "Convert BLOB to &memo". Next asks how to treat a folder that exists already.
#pragma once

#include <QString>
#include <string>

#include "GUI2/g_wiz_pg.hpp"

class QListWidget;

// The destination for a database chosen in the list: the folder's last component (or
// nothing, when it ends in a separator) gives way to the database's name, a "/" in
// the name becoming "_"; an empty folder means the home folder. Empty for the names
// "." and "..", which make no folder of their own.
std::wstring destination_for_database(const std::wstring& folder, const std::wstring& database);

// A leading "~" or "~/" stands for the home folder, as in a shell; blanks and tabs
// around the typed path are dropped.
std::wstring expand_home(const std::wstring& typed);

// Where the folder dialog of Browse starts for a typed path: the folder, when it is one;
// else its parent (a folder still to be created lies there), when that is one; else the
// home folder.
QString browse_start(const std::wstring& typed);

class sel_file_page : public wizard_page<106, 3, page_has_help> {
  public:
    sel_file_page(const std::wstring& title, const std::wstring& subtitle);

    bool page_init() override;
    void on_help() override;
    int on_next() override;
    int on_back() override;

    void store();
    // The destination follows the database chosen.
    void on_database_changed();
    // Empty when no entry is selected.
    std::wstring get_selected_database() const;
    // Browse: a folder chosen in the dialog becomes the path; Cancel or Escape leaves
    // the path as it was.
    void on_browse();

  protected:
    void on_command(int id) override;

  private:
    QListWidget* list_;
    bool filling_ = false;
};
