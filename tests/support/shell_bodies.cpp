// The test programs' bodies of the converter operations each program defines once:
// no settings store, and a run that records what a program would show.
#include "tests/support/shell_bodies.hpp"

#include "TK/tk_errh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "UDB/udb_db.hpp"
#include "shell/morvale_conv.hpp"

std::vector<std::string>& run_lines() {
    static std::vector<std::string> lines;
    return lines;
}

std::function<void(const char*, const std::wstring&)>& run_hook() {
    static std::function<void(const char*, const std::wstring&)> hook;
    return hook;
}

namespace {

// Records each table's way; a missing table ends as an error the run goes past.
struct test_events : conversion_events {
    explicit test_events(const morvale_convertor& conv) : conv(conv) {}
    const morvale_convertor& conv;
    void before_table(const std::wstring& name) override {
        if (run_hook()) run_hook()("table", name);
    }
    void table_opened(const std::wstring& name) override {
        if (run_hook()) run_hook()("rows", name);
    }
    void table_counted(const std::wstring& name) override {
        run_lines().push_back(tk_format(std::string_view("table %s(%d records)"),
                                        tk_unicode_to_utf8(name), conv.record_count()));
    }
    void table_skipped(const std::wstring& name) override {
        run_lines().push_back("skipped " + tk_unicode_to_utf8(name));
    }
};

}  // namespace

morvale_convertor::morvale_convertor() : tk_serializer("Software\\Quillmark\\Torvane") {}

morvale_convertor::~morvale_convertor() = default;

init_conversion::init_conversion(bool com_initialized, std::atomic<bool>* done)
    : com_initialized_(com_initialized), done_(done) {
    log_time("started");
}

void morvale_convertor::operator()() {
    init_conversion scope(true, &done_);
    try {
        conversion_run run(*this);
        run.open();
        run.prepare();
        run_lines().push_back(tk_format(std::string_view("database %s(%d tables)"),
                                        tk_unicode_to_utf8(source_), table_count()));
        test_events events(*this);
        run.convert_tables(events);
    } catch (const tk_final_exception&) {
        run_lines().push_back("stopped");
    } catch (const tk_exception& e) {
        error_handler::get_instance().handle(e, true);
    } catch (const std::exception& e) {
        run_lines().push_back(std::string("other: ") + e.what());
    }
}
