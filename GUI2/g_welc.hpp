// The first page: a greeting and "&Load Settings...", which loads a profile whose
// values the following pages then show.
#pragma once

#include <string>

#include "GUI2/g_f_dlg.hpp"
#include "GUI2/g_wiz_pg.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"

class welcome_page : public wizard_page<103, 2, page_hide_header | page_has_help> {
  public:
    welcome_page();

    bool page_init() override;
    void on_help() override;
    // After every "&Load Settings...", whether a file was chosen or not.
    virtual void on_profile_loaded() {}

  protected:
    void on_command(int id) override;
    virtual void on_load() {}
};

template <class Converter, int Dialog>
class welcome_page_t : public welcome_page {
  public:
    explicit welcome_page_t(const std::wstring& extension) : extension_(extension) {}

  protected:
    void on_load() override {
        const QStringList filter = profile_filter(extension_, 266);
        tk_log_wprintf(2, L"welcome_page_t::on_load(%s)", extension_);
        open_file_dialog dlg(this, filter, L"Load Settings", L"");
        if (dlg.do_modal()) {
            Converter& converter = Converter::get_instance();
            // The wizard stays: a profile that cannot be read is shown and changes nothing.
            try {
                converter.require_profile_file(dlg.path());
            } catch (const tk_exception& e) {
                show_page_error(e);
            }
        }
        on_profile_loaded();
    }

  private:
    std::wstring extension_;
};
