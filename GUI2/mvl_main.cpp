#include "GUI2/mvl_main.hpp"

#include <cstdio>
#include <memory>
#include <vector>

#include "GUI2/g_finish.hpp"
#include "GUI2/g_progr.hpp"
#include "GUI2/g_selfil.hpp"
#include "GUI2/g_seltab.hpp"
#include "GUI2/g_sqlpg.hpp"
#include "GUI2/g_welc.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "GUI2/gui_body.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "platform/ui/ui_bridge.hpp"
#include "shell/morvale_conv.hpp"
#include "shell/morvale_stop.hpp"

namespace {

const wchar_t* const wizard_title = L"Torvane 4.3";

// The arguments left after the window system took its own, joined with single blanks.
std::string profile_argument(int argc, char** argv) {
    std::string path;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) path += ' ';
        path += argv[i];
    }
    return path;
}

// The pages that ask for the settings, in front of the progress page.
void add_settings_pages(std::vector<std::unique_ptr<wizard_page_base>>& pages) {
    pages.push_back(std::make_unique<welcome_page_t<morvale_convertor, 103>>(L"mvl"));
    pages.push_back(std::make_unique<sql_settings_page2<morvale_convertor, 1011, 1016>>(
        L"Step 1 of 4", L"MySQL server connection settings"));
    pages.push_back(std::make_unique<sel_file_page>(L"Step 2 of 4", L"Select databases"));
    pages.push_back(
        std::make_unique<mvl_sel_tables_page>(L"There are no tables selected. Continue anyway?", 0,
                                              L"Step 3 of 4", L"Select tables to convert"));
}

}  // namespace

int morvale_main(int argc, char** argv) {
    gui_reset_ending();
    error_handler handler(error_handler_code_count, error_handler_codes);
    std::unique_ptr<QApplication> app;
    if (!QApplication::instance()) app = gui_initialize(argc, argv);
    ui::gui_bridge::instance().open();
    // Whatever a callback of the wizard lets escape is reported, never thrown into Qt.
    ui::set_exception_sink(gui_report);

    int code = morvale_failed;
    {
        morvale_convertor converter;
        // SIGINT and SIGTERM stop the run and end the wizard.
        stop_signal_target stop_target(converter);
        gui_stop_watch stop_watch;
        const std::string argument = profile_argument(argc, argv);
        const bool quick = !argument.empty();
        // A quick launch is a conversion from its start, as TALVORIN's run is; the
        // wizard begins one on its progress page.
        set_conversion_asked(quick);
        std::unique_ptr<wizard_shell> shell;
        std::vector<std::unique_ptr<wizard_page_base>> pages;
        // A quick launch that cannot start leaves the settings store as it was.
        bool store_settings = !quick;
        try {
            if (quick) {
                std::wstring path;
                tk_to_wide(argument.c_str(), path);
                tk_log_wprintf(2, L"QUICK LAUNCH: profile=%s", path);
                // Going on with the stored settings would run mode 0 on whatever folder
                // they name.
                converter.require_complete_profile(path);
            }
            shell = std::make_unique<wizard_shell>(wizard_title, 501, 311, 312);
            add_settings_pages(pages);
            const size_t first_run_page = pages.size();
            pages.push_back(std::make_unique<progress_page>(L"Step 4 of 4",
                                                            L"Database conversion is in progress"));
            pages.push_back(std::make_unique<gui_finish_page_t<morvale_convertor, 116>>(
                L"Wizard has converted your MySQL database into DBase format successfully.",
                L"There were some errors while converting the database.", L"mvl"));
            // The server may keep a quick launch waiting: a small window says so, and its
            // Cancel ends the program with nothing touched. A mistyped database must be
            // found out before mode 0 empties the folder, and a profile that lists no
            // table converts every table, as the console does.
            if (quick && !connect_while_waiting(converter, nullptr, [&converter] {
                    converter.check_source();
                    if (converter.selected_tables().empty() && converter.selection().empty())
                        converter.get_all_tables(converter.selection());
                })) {
                code = morvale_cancelled;
            } else {
                if (quick) {
                    converter.check_dest();
                    store_settings = true;
                }
                for (size_t i = quick ? first_run_page : 0; i < pages.size(); ++i)
                    shell->add_page(*pages[i]);
                const int result = shell->run();
                if (result == ui::sheet_cancelled)
                    code = morvale_cancelled;
                else if (converter.done() && converter.run_completed())
                    code = converter.unconverted().empty() ? morvale_ok : morvale_incomplete;
            }
        } catch (const std::exception&) {
            try {
                gui_report(std::current_exception());
            } catch (const tk_final_exception&) {
                // The internal-error end: the flag below says it.
            }
        }
        if (gui_ending()) code = morvale_failed;
        // A worker still waiting for a dialog gets its refusal, so the join cannot hang.
        ui::gui_bridge::instance().close();
        if (shell) shell->sheet().hide();
        while (!pages.empty()) pages.pop_back();
        // After an internal error the settings of the broken session are not kept.
        if (!store_settings || gui_ending()) converter.leave_settings();
        // The worker is gone: the settings are kept now, and a failure is said once.
        if (const std::string why = converter.keep_settings(); !why.empty()) {
            if (stop_signal_received()) {
                // A signal ends every event loop at once: no box could show it.
                std::fprintf(stderr, "%s\n", why.c_str());
                std::fflush(stderr);
            } else {
                ui::gui_bridge::instance().open();
                wizard_shell::error(why);
                ui::gui_bridge::instance().close();
            }
        }
        shell.reset();
        if (stop_signal_received()) code = gui_stopped(converter);
    }
    ui::set_exception_sink(nullptr);
    app.reset();
    return code;
}
