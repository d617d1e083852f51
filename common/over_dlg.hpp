// The question for a destination folder that exists already: overwrite it all,
// overwrite the converted tables only, skip existing tables, or merge into them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/ui/ui_dialog.hpp"

class overwrite_dlg : public ui::dialog {
  public:
    // The caption is the program's title and " Warning"; Help shows the help topic
    // through show_help and leaves the dialog open. The choice of `mode` is selected
    // (any other value selects "Overwrite existing tables only"), and "Overwrite the
    // entire database" says that the folder's `tables` DBF tables are deleted when the
    // run starts.
    overwrite_dlg(const std::wstring& message, int help_topic, const std::wstring& title, int mode,
                  size_t tables, std::function<void(int)> show_help, QWidget* owner = nullptr);

    // The mode of the radio button ticked when OK ended the dialog: 0 to 3.
    int mode() const { return mode_; }

  protected:
    void on_command(int id) override;

  private:
    int help_topic_;
    int mode_ = 0;
    std::function<void(int)> show_help_;
};

// What "Overwrite the entire database" does to a folder of so many DBF tables.
std::wstring overwrite_all_note(size_t tables);

template <int Dialog>
class overwrite_dlg2 : public overwrite_dlg {
  public:
    static constexpr int dialog_id = Dialog;
    using overwrite_dlg::overwrite_dlg;
};
