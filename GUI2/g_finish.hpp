// The last page: the success text, or the error heading and the errors of the run;
// "&Save Settings..." saves the settings the run used as a profile.
#pragma once

#include <cstdint>
#include <string>

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_singl.hpp"
#include "shell/morvale_conv.hpp"

class gui_finish_page : public wizard_page<116, 4, page_hide_header> {
  public:
    gui_finish_page(const std::wstring& success, const std::wstring& heading);

    bool page_init() override;
    void on_help() override {}

  protected:
    void on_command(int id) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The first focus on the error list goes on to Finish.
    void on_eb_focus();
    virtual void on_store() {}
    // True when the run went through its tables.
    virtual bool run_completed() const = 0;
    // The last entries of the list: the tables the run did not convert, and how far a
    // run that ended early got; empty when there is nothing to say.
    virtual std::wstring early_end() const = 0;

  private:
    bool first_focus_ = true;
    std::wstring success_;
    std::wstring heading_;
};

template <class Converter, int Dialog>
class gui_finish_page_t : public gui_finish_page {
  public:
    gui_finish_page_t(const std::wstring& success, const std::wstring& heading,
                      const std::wstring& extension)
        : gui_finish_page(success, heading), extension_(extension) {}

  protected:
    void on_store() override {
        const QStringList filter = profile_filter(extension_, 141);
        tk_log_wprintf(2, L"gui_finish_page_t::on_store(%s)", extension_);
        save_file_dialog dlg(this, filter, L"Save Settings", L"", extension_.c_str());
        if (!dlg.do_modal()) return;
        // A profile that cannot be saved is no error of the run: the list stays as it is.
        try {
            Converter::get_instance().store_profile_file(dlg.path());
        } catch (const tk_exception& e) {
            show_page_error(e);
        }
    }
    bool run_completed() const override {
        Converter* c = Converter::find();
        // The run's result is published with its done flag.
        return c && c->done() && c->run_completed();
    }
    std::wstring early_end() const override {
        Converter* c = Converter::find();
        // A worker that ended without its run published nothing of it.
        if (!c || !c->done()) return early_end_text(0, 0, {});
        std::wstring text = c->unconverted_account();
        if (!c->run_completed()) text += (text.empty() ? L"" : L"\n") + c->early_end_account();
        return text;
    }

  private:
    std::wstring extension_;
};
