#include "tests/GUI2/gui_support.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QtTest/QTest>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "platform/ui/ui_bridge.hpp"

scripted_modal::scripted_modal() {
    ui::set_modal(this);
}

scripted_modal::~scripted_modal() {
    ui::set_modal(nullptr);
}

std::vector<modal_request> scripted_modal::of(const std::string& kind) const {
    std::vector<modal_request> r;
    for (const auto& q : requests)
        if (q.kind == kind) r.push_back(q);
    return r;
}

ui::box_answer scripted_modal::message_box(QWidget* owner, ui::box_icon icon,
                                           const QString& caption, const QString& text,
                                           bool default_no) {
    const char* kind = icon == ui::box_icon::error         ? "error"
                       : icon == ui::box_icon::information ? "information"
                                                           : "question";
    requests.push_back({kind, caption, text, owner != nullptr, default_no});
    if (on_shown) on_shown();
    if (icon != ui::box_icon::question) return ui::box_answer::ok;
    if (on_question) on_question();
    if (questions.empty()) return ui::box_answer::no;
    ui::box_answer a = questions.front();
    questions.pop_front();
    return a;
}

int scripted_modal::run_dialog(ui::dialog& d) {
    auto* message = d.ctrl<QLabel>(1320);
    requests.push_back({"dialog", d.windowTitle(), message ? message->text() : QString(),
                        d.parentWidget() != nullptr});
    d.adjustSize();
    save_shot(d, "dialog-" + std::to_string(requests.size()));
    if (on_shown) on_shown();
    if (real_dialogs) return d.exec();
    std::vector<int> presses{1};
    if (!dialogs.empty()) {
        presses = dialogs.front();
        dialogs.pop_front();
    }
    d.setResult(0);
    for (int id : presses) d.press(id);
    return d.result();
}

bool scripted_modal::choose_file(const ui::file_request& request, QString& path) {
    requests.push_back({"file", request.title, request.folder, request.owner != nullptr});
    file_requests.push_back(request);
    if (files.empty()) return false;
    path = files.front();
    files.pop_front();
    return !path.isEmpty();
}

void scripted_modal::show_help(QWidget* owner, const QString& file, const QString& anchor) {
    requests.push_back({"help", QString(), anchor, owner != nullptr});
    help_file = file;
}

bool scripted_modal::open_url(const QString& url) {
    requests.push_back({"url", QString(), url});
    return urls_open;
}

void scripted_modal::set_clipboard_text(const QString& text) {
    clipboard = text;
}

stderr_capture::stderr_capture(const std::string& path) : path_(path) {
    std::fflush(stderr);
    saved_ = dup(2);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
}

std::string stderr_capture::text() {
    restore();
    return read_file_bytes(path_);
}

void stderr_capture::restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
}

private_settings::private_settings() {
    setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
}

std::string private_settings::file() const {
    return dir.file("config/Quillmark/Torvane.conf");
}

page_fixture::page_fixture() {
    // An earlier run of the whole program closed the bridge on its way out.
    ui::gui_bridge::instance().open();
    shell.initialize_if();
}

std::vector<std::string> page_fixture::texts(const std::string& kind) const {
    std::vector<std::string> r;
    for (const auto& q : modal.of(kind)) r.push_back(q.text.toStdString());
    return r;
}

QWidget* control(ui::wizard_sheet& sheet, int id) {
    QWidget* w = ui::find_control(sheet.current_page(), id);
    EXPECT_NE(w, nullptr) << id;
    return w;
}

void click(ui::wizard_sheet& sheet, int id) {
    QWidget* w = sheet.button(id);
    if (!w) w = control(sheet, id);
    // Near the left edge: a radio button or box takes clicks on its mark and text only.
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
}

void type(ui::wizard_sheet& sheet, int id, const std::string& text) {
    auto* edit = static_cast<QLineEdit*>(control(sheet, id));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromStdString(text));
}

void connect_to_test_server(ui::wizard_sheet& sheet, unsigned port) {
    const test_server& s = test_server::get();
    click(sheet, 1330);
    type(sheet, 1014, s.host);
    type(sheet, 1015, std::to_string(port ? port : s.port));
    type(sheet, 1012, s.user);
    type(sheet, 1013, s.password);
    click(sheet, ui::id_next);
}

void save_shot(QWidget& w, const std::string& name) {
    const char* dir = std::getenv("TORVANE_GUI_SHOTS");
    // A control hidden a moment ago still has its room until the layout runs again.
    if (QLayout* l = w.layout()) l->activate();
    const QPixmap shot = w.grab();
    EXPECT_FALSE(shot.isNull()) << name;
    if (!dir) return;
    QDir().mkpath(dir);
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    shot.save(QString::fromStdString(std::string(dir) + "/" + test + "-" + name + ".png"));
}

wizard_robot::wizard_robot() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(20);
}

void wizard_robot::poll() {
    if (paused) return;
    wizard_shell* shell = wizard_shell::find();
    if (!shell || !shell->sheet().isVisible()) return;
    ui::wizard_sheet& sheet = shell->sheet();
    ui::page* p = sheet.current_page();
    if (!p) return;
    if (seen.empty() || seen.back() != p->id()) {
        seen.push_back(p->id());
        save_shot(sheet, "page-" + std::to_string(p->id()));
        if (auto it = on_enter.find(p->id()); it != on_enter.end()) it->second(sheet);
        // The action may have moved the wizard on; the next poll sees where.
        if (sheet.current_page() != p) return;
    }
    if (on_page) on_page(p->id(), sheet);
    if (p->id() == 116) QTest::mouseClick(sheet.button(ui::id_finish), Qt::LeftButton);
}
