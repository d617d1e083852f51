#include "GUI2/g_progr.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "GUI2/g_wiz_sh.hpp"
#include "GUI2/gui_body.hpp"
#include "TK/tk_errh.hpp"
#include "TK/tk_except.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_string.hpp"
#include "shell/morvale_conv.hpp"
#include "shell/morvale_stop.hpp"

namespace {

constexpr int finish_page_id = 116;

}  // namespace

unsigned progress_percent(const udb_progress& p) {
    if (p.table_count == 0) return 0;
    uint64_t percent = uint64_t{p.tables_done} * 100 / p.table_count;
    if (p.record_count != 0) {
        // Rows added after the count are still read: the table's share stops at 100.
        const uint64_t index = std::min(p.record_index, p.record_count);
        const auto share =
            static_cast<uint64_t>(static_cast<unsigned __int128>(index) * 100 / p.record_count);
        percent += share / p.table_count;
    }
    return static_cast<unsigned>(std::min<uint64_t>(percent, 100));
}

std::wstring progress_status(const udb_progress& p) {
    if (p.current_table.empty()) return {};
    return L"Processing table '" + shown_text(p.current_table) + L"'";
}

std::wstring progress_records(const udb_progress& p) {
    if (p.current_table.empty()) return {};
    if (p.record_count == 0) {
        if (p.record_index == 0) return {};
        return tk_grouped(p.record_index) + (p.record_index == 1 ? L" record" : L" records");
    }
    return tk_grouped(p.record_index) + L" of " + tk_grouped(p.record_count) +
           (p.record_count == 1 ? L" record" : L" records");
}

progress_page::progress_page(const std::wstring& title, const std::wstring& subtitle)
    : wizard_page(title, subtitle), tk_thread(false) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(add(0, ui::control_kind::label,
                          "Database conversion is in progress. Please wait until wizard "
                          "completes"));
    layout->addWidget(
        add(0, ui::control_kind::label, "converting your MySQL into FoxPro/DBase format."));
    layout->addSpacing(16);
    layout->addWidget(add(1323, ui::control_kind::label));
    auto* row = new QHBoxLayout;
    row->addWidget(add(1321, ui::control_kind::progress), 1);
    auto* records = static_cast<QLabel*>(add(1324, ui::control_kind::label));
    records->setWordWrap(false);
    records->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(records);
    layout->addLayout(row);
    layout->addStretch(1);
}

// The worker is joined by the thread base before the page's widgets go.
progress_page::~progress_page() = default;

tk_thread_functor* progress_page::create_functor() {
    return &morvale_convertor::get_instance();
}

bool progress_page::page_init() {
    tk_log_printf(2, "progress_page::page_init");
    wizard_shell& shell = wizard_shell::get_instance();
    shell.sheet().set_buttons(0);
    ctrl<QProgressBar>(1321)->setValue(0);
    // Room for the counts of a large table from the start.
    ctrl<QLabel>(1324)->setMinimumWidth(
        ctrl<QLabel>(1324)->fontMetrics().horizontalAdvance("888,888 of 888,888 records"));
    show_records(QString(), QString());
    // From here a stop signal ends a conversion, and says how far it got.
    set_conversion_asked(true);
    try {
        start();
    } catch (...) {
        // No worker, so no timer: report and go on to the finish page by ourselves.
        gui_report(std::current_exception());
        QTimer::singleShot(0, &shell.sheet(),
                           [&shell] { shell.sheet().set_current_by_id(finish_page_id); });
    }
    return true;
}

void progress_page::report_worker_end() {
    if (std::exception_ptr e = error()) gui_report(e);
}

void progress_page::on_timer() {
    tk_log_printf(2, "progress_page::on_timer");
    morvale_convertor* conv = morvale_convertor::find();
    if (!conv) throw tk_mail_assertion("mvl_shel.cpp", 308);
    const udb_progress p = conv->get_progress();
    ctrl<QProgressBar>(1321)->setValue(static_cast<int>(progress_percent(p)));
    const bool done = conv->done();
    // A worker that ended without its scope object (it could not begin) never sets done.
    const bool ended = !done && finished();
    if (ended) report_worker_end();
    if (done || ended) {
        wizard_shell::get_instance().stop_timer();
        wizard_shell::get_instance().sheet().set_current_by_id(finish_page_id);
    }
    ctrl<QLabel>(1323)->setText(QString::fromStdWString(progress_status(p)));
    // Room for the table's last count from its first: the bar keeps its length while
    // the digits grow.
    udb_progress last = p;
    last.record_index = std::max(p.record_index, p.record_count);
    show_records(QString::fromStdWString(progress_records(p)),
                 QString::fromStdWString(progress_records(last)));
}

void progress_page::show_records(const QString& text, const QString& widest) {
    auto* records = ctrl<QLabel>(1324);
    // The room beside the bar only grows during a run.
    const int width = records->fontMetrics().horizontalAdvance(widest);
    if (width > records->minimumWidth()) records->setMinimumWidth(width);
    records->setText(text);
}

bool progress_page::on_cancel() {
    if (!wizard_page_base::on_cancel()) return false;
    // The timer goes on while the question is open: a run that ended meanwhile keeps
    // its finish page, which may already be on show.
    morvale_convertor* conv = morvale_convertor::find();
    if (wizard_shell::get_instance().sheet().current_page() != this || !conv || conv->done() ||
        finished())
        return false;
    // Also when the server has stopped answering: the worker must end to be joined.
    conv->stop_run();
    return true;
}

void progress_page::on_help() {
    wizard_shell::get_instance().display_help();
}
