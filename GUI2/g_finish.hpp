// The last page: the success text, or the error heading and the errors of the run;
// "&Save Settings..." saves the settings the run used as a profile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_singl.hpp"
#include "shell/morvale_conv.hpp"

// What the finish page tells of a run, as the run left it.
struct finish_facts {
    bool completed = false;    // the run went through its tables
    uint32_t table_count = 0;  // the tables it had to convert
    std::vector<converted_table> converted;
    size_t skipped = 0;  // tables that mode 2 left as they were
    std::wstring folder;
};

// Where the tables went and how many, with their records; the tables written under
// another name than their own ("my table → my_table.dbf"). For a run that wrote
// nothing, that and why, in place of any word of success.
std::wstring finish_account(const finish_facts& facts);

// The page's text: the success text, or the error heading when the run listed errors or
// ended early; then the account; then how to leave the wizard. A run that wrote nothing
// and listed nothing gets the account alone, which says so.
std::wstring finish_text(const finish_facts& facts, bool errors, const std::wstring& success,
                         const std::wstring& heading);

class gui_finish_page : public wizard_page<116, 4, page_hide_header> {
  public:
    // The success text and the error heading, each a sentence: the page adds the
    // account of the run and how to leave the wizard.
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
    // What the run did with its tables.
    virtual finish_facts facts() const = 0;

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

    finish_facts facts() const override {
        finish_facts f;
        Converter* c = Converter::find();
        if (!c) return f;
        f.folder = c->destination();
        // A worker that ended without its run published nothing of it.
        if (!c->done()) return f;
        f.completed = c->run_completed();
        f.table_count = c->table_count();
        f.converted = c->converted_tables();
        f.skipped = c->skipped_tables().size();
        return f;
    }

  private:
    std::wstring extension_;
};
