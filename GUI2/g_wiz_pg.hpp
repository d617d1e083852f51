// The base of every wizard page: turns the sheet's calls into the page operations,
// sets the sheet's buttons on activation and offers the control helpers the pages use.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/ui_dialog.hpp"

class tk_exception;

// Page flags.
enum : int { page_has_help = 32, page_hide_header = 2048 };

class wizard_page_base : public ui::page {
  public:
    wizard_page_base(int dialog_id, int buttons, int flags, const std::wstring& title,
                     const std::wstring& subtitle);
    ~wizard_page_base() override;

    // True shows the page, false skips it in the direction of travel.
    virtual bool page_init() { return true; }
    virtual bool on_wizard_finish() { return true; }
    virtual void on_help() {}
    // 0 moves on, -1 stays.
    virtual int on_next() { return 0; }
    virtual int on_back() { return 0; }
    // Asks "Are you sure you want to exit the wizard?", No being the default.
    virtual bool on_cancel();
    virtual void on_timer() {}

    // A ticked box becomes cleared and any other becomes ticked.
    void invert_chbox(int id);
    // Enabling also gives the control the focus.
    void enable_ctrl(int id, bool on);
    void show_ctrl(int id, bool on);

  protected:
    bool on_set_active() override;
    bool on_finish() override { return on_wizard_finish(); }
    void on_help_request() override { on_help(); }
    int on_next_request() override { return on_next(); }
    int on_back_request() override { return on_back(); }
    bool on_cancel_request() override { return on_cancel(); }
    void on_tick() override { on_timer(); }
};

// A failure of a page's own step (connecting, listing, preparing the folder): the text
// the error handler's table gives its code, else its own, in an error box. It is no
// error of the run, so the finish page does not list it. An internal error goes to the
// error handler, which ends the program.
void show_page_error(const tk_exception& e);
// The text the error handler's table gives the code, or an empty text.
std::string fixed_error_text(uint32_t code);

template <int Dialog, int Buttons, int Flags>
class wizard_page : public wizard_page_base {
  public:
    static constexpr int dialog_id = Dialog;
    explicit wizard_page(const std::wstring& title = {}, const std::wstring& subtitle = {})
        : wizard_page_base(Dialog, Buttons, Flags, title, subtitle) {}
};
