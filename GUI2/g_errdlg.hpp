// The two error dialogs: Continue/Abort for errors the run may go past (115), and the
// internal-error dialog with "Send bug" and "Copy to clipboard" (114).
#pragma once

#include <string>

#include "platform/ui/ui_dialog.hpp"

class dlg_error_continue : public ui::dialog {
  public:
    explicit dlg_error_continue(const std::wstring& message, QWidget* owner = nullptr);
    // "&Do not show this dialog box again" as the user left it.
    bool do_not_show() const { return box_; }

  protected:
    void on_command(int id) override;

  private:
    bool box_ = false;
};

class dlg_error_ex : public ui::dialog {
  public:
    explicit dlg_error_ex(const std::wstring& message, QWidget* owner = nullptr);

  protected:
    void on_command(int id) override;
    int escape_id() const override { return 1; }

  private:
    std::wstring message_;
};

// The owner of a dialog the error handler shows: the dialog on top, else the wizard.
QWidget* error_dialog_owner();
