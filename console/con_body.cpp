// The console program's bodies of the operations each program defines once.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "SQL/sql_limq.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_db.hpp"
#include "console/con_main.hpp"
#include "console/con_term.hpp"
#include "shell/morvale_conv.hpp"

const char* const tk_singl_path = "../..\\TK/tk_singl.hpp";

namespace {

bool silent() {
    morvale_convertor* conv = morvale_convertor::find();
    return conv && conv->silent();
}

// The table's line on a terminal, while a run draws on one.
terminal_line* terminal = nullptr;

// Each line is flushed, so that a pipe or a log sees the progress as it happens. A
// table's line open on the terminal is ended first.
void put_line(FILE* stream, const std::string& text) {
    if (terminal) terminal->end();
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The run in progress, while there is one.
conversion_run* active_run = nullptr;

struct active_run_scope {
    explicit active_run_scope(conversion_run& run) { active_run = &run; }
    ~active_run_scope() { active_run = nullptr; }
    active_run_scope(const active_run_scope&) = delete;
    active_run_scope& operator=(const active_run_scope&) = delete;
};

// std::exit unwinds no stack, so the table in work is put back as it was first. The
// threads reading the table's rows are stopped, so that nothing runs while the process
// ends.
[[noreturn]] void end_process() {
    if (conversion_run* run = std::exchange(active_run, nullptr)) run->abandon_open_table();
    sql_stop_all_readers();
    std::exit(-1);
}

// One line per table on the console, unless silent. On a terminal a long table's line
// shows how far it has got; anywhere else the lines are written once each.
class console_events : public conversion_events {
  public:
    explicit console_events(const morvale_convertor& conv) : conv_(conv) {
        if (!conv_.silent() && isatty(STDOUT_FILENO)) {
            line_ = std::make_unique<terminal_line>(stdout);
            terminal = line_.get();
        }
    }
    // Also when the run ends early: the table's line is ended before what is said then.
    ~console_events() override {
        if (line_) terminal = nullptr;
    }
    console_events(const console_events&) = delete;
    console_events& operator=(const console_events&) = delete;

    void before_table(const std::wstring&) override {
        if (line_) line_->new_table();
    }
    void table_missing(const std::wstring& name) override {
        if (!conv_.silent()) put_line(stderr, "Table " + tk_unicode_to_ansi(name) + " not exists");
    }
    void table_counted(const std::wstring& name) override {
        if (conv_.silent()) return;
        const std::string line = tk_format(std::string_view("Converting table %s(%d records)"),
                                           tk_unicode_to_ansi(name), conv_.record_count());
        if (line_)
            line_->show_line(line);
        else
            put_line(stdout, line);
    }
    void rows_copied(const std::wstring& name, uint64_t records) override {
        if (line_) line_->progress(name, records, conv_.record_count());
    }
    void table_skipped(const std::wstring& name) override {
        if (!conv_.silent())
            put_line(stdout, "Skipping table " + tk_unicode_to_ansi(name) +
                                 ": the folder has a DBF table of its name, which is kept");
    }
    void table_losses(const std::wstring&, const std::wstring& text) override {
        if (!conv_.silent()) put_line(stdout, tk_unicode_to_ansi(text));
    }

  private:
    const morvale_convertor& conv_;
    std::unique_ptr<terminal_line> line_;
};

}  // namespace

void fatal_exit(const std::string& text) {
    tk_log_printf(3, "%s", text);
    if (!silent()) put_line(stderr, text);
    end_process();
}

void error_handler::handle(const tk_exception& e, bool outermost) {
    (void)outermost;
    settle_gate();
    tk_log_printf(2, "error_handler::handle");
    if (e.kind() == tk_kind_internal) {
        tk_log_printf(3, "Internal error:\n%s", e.what());
        put_line(stdout, std::string("Internal error: ") + e.what());
        end_process();
    }
    const std::string message = build_message(e);
    tk_log_printf(3, "Error:\n%s", message);
    if (!do_not_show) {
        put_line(stdout, "Error:");
        put_line(stdout, on_one_line(message));
    }
    if (e.kind() == tk_kind_error) {
        tk_log_printf(1, "Got 1-level error");
        // A run ends by itself, the way a stop ends it, so that the table in work is put
        // back and the account of how far it got is given.
        if (!active_run) end_process();
        return;
    }
    tk_log_printf(1, "Got 0-level error");
}

// The console program neither reads nor writes the settings store.
morvale_convertor::morvale_convertor() : tk_serializer("Software\\Quillmark\\Torvane") {}

morvale_convertor::~morvale_convertor() = default;

init_conversion::init_conversion(bool com_initialized, std::atomic<bool>* done)
    : com_initialized_(com_initialized), done_(done) {
    tk_log_printf(2, "init_conversion::ctor");
    log_time("started");
}

void morvale_convertor::operator()() {
    tk_log_printf(2, "morvale_convertor::operator()");
    init_conversion scope(true, &done_);
    try {
        conversion_run run(*this);
        active_run_scope active(run);
        run.open();
        // No table chosen, by a table-list file or a profile, means every table of the
        // source database.
        if (selection().empty() && selected_tables().empty())
            selection() = run.source().get_table_names();
        run.prepare();
        if (!silent_)
            put_line(stdout, tk_format(std::string_view("Converting database %s(%d tables)"),
                                       tk_unicode_to_ansi(source_), table_count()));
        console_events events(*this);
        run.convert_tables(events);
    } catch (const tk_final_exception&) {
        // Stopped on request; nothing more to say.
    } catch (const tk_exception& e) {
        if (!stop_explains(e)) error_handler::get_instance().handle(e, true);
    } catch (const std::exception& e) {
        tk_log_printf(3, "ERROR:\n%s", e.what());
        if (!silent_) put_line(stderr, e.what());
    }
}
