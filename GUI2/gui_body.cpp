// The wizard's bodies of the operations each program defines once: the converter's
// construction and destruction with the settings store, the run on the worker thread,
// the scope object that starts the progress timer, and the error handler's reporting.
#include "GUI2/gui_body.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <cstdio>

#include "GUI2/g_errdlg.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "GUI2/mvl_main.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_db.hpp"
#include "platform/settings.hpp"
#include "platform/text.hpp"
#include "platform/ui/ui_bridge.hpp"
#include "platform/ui/ui_modal.hpp"
#include "shell/morvale_conv.hpp"
#include "shell/morvale_stop.hpp"

const char* const tk_singl_path = "..\\TK/tk_singl.hpp";

namespace {

std::atomic<bool> ending{false};

void end_event_loops() {
    // Only a running loop is ended: an exit asked for outside any loop would make every
    // later loop return at once.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app,
            [] {
                if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(-1);
            },
            Qt::QueuedConnection);
}

}  // namespace

void gui_end_process(int code) {
    (void)code;  // every failure ends with the one code the program returns for it
    ending.store(true);
    if (morvale_convertor* conv = morvale_convertor::find()) conv->stop_run();
    end_event_loops();
    throw tk_final_exception();
}

gui_stop_watch::gui_stop_watch() {
    const int fd = stop_signal_wake_fd();
    if (fd < 0 || !QCoreApplication::instance()) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        // What woke it is never taken: once is enough.
        notifier_->setEnabled(false);
        end_event_loops();
    });
}

gui_stop_watch::~gui_stop_watch() = default;

int gui_stopped(const morvale_convertor& converter) {
    if (converter.done() && converter.run_completed())
        return converter.unconverted().empty() ? morvale_ok : morvale_incomplete;
    // Stopped on a page before the run: there is no conversion to give an account of.
    if (!conversion_asked()) return morvale_failed;
    std::wstring account =
        converter.done() ? converter.early_end_account() : early_end_text(0, 0, {});
    if (converter.done() && !converter.unconverted().empty())
        account = converter.unconverted_account() + L"\n" + account;
    const std::string line = pt::utf8_encode(account) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return morvale_failed;
}

bool gui_ending() {
    return ending.load();
}

void gui_reset_ending() {
    ending.store(false);
}

void gui_report(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const tk_final_exception&) {
    } catch (const tk_exception& e) {
        error_handler::get_instance().handle(e, true);
    } catch (const std::exception& e) {
        if (wizard_shell* shell = wizard_shell::find()) shell->append_error(e.what());
        wizard_shell::error(std::string(e.what()));
    }
}

void error_handler::handle(const tk_exception& e, bool outermost) {
    settle_gate();
    tk_log_printf(2, "error_handler::handle");
    if (e.kind() == tk_kind_internal) {
        tk_log_printf(3, "Internal error:\n%s", e.what());
        const std::wstring text = tk_ansi_to_unicode(e.what());
        // The clipboard of a program that ends may end with it: the report also goes
        // where it cannot be lost, before anything is shown.
        const std::string report = pt::utf8_encode(text) + "\n";
        std::fwrite(report.data(), 1, report.size(), stderr);
        std::fflush(stderr);
        ui::gui_bridge::instance().call([&] {
            dlg_error_ex dlg(text, error_dialog_owner());
            ui::modal().run_dialog(dlg);
        });
        gui_end_process(-1);
    }
    std::string message = build_message(e);
    tk_log_printf(3, "Error:\n%s", message);
    message = on_one_line(std::move(message));
    if (wizard_shell::is_initialized())
        if (wizard_shell* shell = wizard_shell::find()) shell->append_error(message);
    // At the outermost level nothing can go on, whatever the answer: an error of any
    // kind is shown with OK alone.
    if (e.kind() == tk_kind_error || outermost) {
        tk_log_printf(1, "Got %d-level error", e.kind());
        if (!do_not_show) {
            tk_log_printf(1, "Step 1");
            wizard_shell::error(tk_ansi_to_unicode(message));
        }
        tk_log_printf(1, "Step 2");
        return;
    }
    tk_log_printf(1, "Got 0-level error");
    if (do_not_show) return;
    // A dialog the closing wizard refused counts as Abort.
    int answer = 1;
    bool box = false;
    ui::gui_bridge::instance().call([&] {
        dlg_error_continue dlg(tk_ansi_to_unicode(message), error_dialog_owner());
        answer = ui::modal().run_dialog(dlg);
        box = dlg.do_not_show();
    });
    if (answer == 1) throw tk_final_exception();
    do_not_show = box;
}

namespace {

// A settings file far larger than any this program writes would be read whole for every
// value at each start: it is set aside, where it can still be looked at, and the
// settings start afresh. The window is not up yet, so the line goes to standard error.
void set_aside_oversized_settings(const std::string& key_path) {
    const std::string file = pt::settings_file_for_key(key_path);
    std::string aside;
    if (file.empty() || pt::settings_file(file).set_aside_if_oversized(aside) != 0 || aside.empty())
        return;
    const std::string line = "The settings file " + file + " is larger than " +
                             std::to_string(pt::settings_max_size) +
                             " bytes, which no settings of this program need; it was set aside "
                             "as " +
                             aside + " and the settings start afresh.";
    tk_log_printf(3, "%s", line);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

morvale_convertor::morvale_convertor() : tk_serializer("Software\\Quillmark\\Torvane") {
    set_aside_oversized_settings(key_path());
    serialize(false);
}

morvale_convertor::~morvale_convertor() {
    // After an internal error the settings of the broken session are not kept.
    if (!gui_ending() && !settings_settled_) serialize(true);
}

init_conversion::init_conversion(bool com_initialized, std::atomic<bool>* done)
    : com_initialized_(com_initialized), done_(done) {
    tk_log_printf(2, "init_conversion::ctor");
    log_time("started");
    wizard_shell::get_instance().start_timer(200);
}

namespace {

// What the wizard adds to the run: a table's losses are listed with its errors. A table
// the source lacks ends as an error the run goes past (the default).
class wizard_events : public conversion_events {
  public:
    void table_losses(const std::wstring&, const std::wstring& text) override {
        if (wizard_shell* shell = wizard_shell::find()) shell->append_error(pt::utf8_encode(text));
    }
};

}  // namespace

void morvale_convertor::operator()() {
    tk_log_printf(2, "morvale_convertor::operator()");
    init_conversion scope(true, &done_);
    try {
        conversion_run run(*this);
        run.open();
        run.prepare();
        wizard_events events;
        run.convert_tables(events);
    } catch (const std::exception& e) {
        // A foreign exception is listed too, so that the finish page reports no success.
        if (!stop_explains(e)) gui_report(std::current_exception());
    }
}
