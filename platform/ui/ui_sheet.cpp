#include "platform/ui/ui_sheet.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/ui_app.hpp"

namespace ui {

namespace {

QPushButton* make_button(QWidget* parent, int id, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::number(id));
    b->setAutoDefault(false);
    return b;
}

// The size the design gives the window.
constexpr QSize design_size(600, 420);

// Asks for the room its page needs (its minimum size), so that the window is made large
// enough for every page; only a screen too small for that makes a page scroll.
class page_scroller : public QScrollArea {
  public:
    explicit page_scroller(QWidget* parent) : QScrollArea(parent) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
    }
    QSize sizeHint() const override {
        const QWidget* page = widget();
        return page ? page->minimumSizeHint() : QScrollArea::sizeHint();
    }
};

QFrame* rule(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

}  // namespace

wizard_sheet::wizard_sheet() {
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    header_ = new QWidget(this);
    header_->setAutoFillBackground(true);
    QPalette pal = header_->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    header_->setPalette(pal);
    auto* hl = new QHBoxLayout(header_);
    hl->setContentsMargins(16, 8, 8, 8);
    auto* texts = new QVBoxLayout;
    title_ = new QLabel(header_);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    subtitle_ = new QLabel(header_);
    subtitle_->setIndent(16);
    subtitle_->setWordWrap(true);
    texts->addWidget(title_);
    texts->addWidget(subtitle_);
    hl->addLayout(texts, 1);
    header_image_ = new QLabel(header_);
    hl->addWidget(header_image_);
    outer->addWidget(header_);
    outer->addWidget(rule(this));

    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    watermark_ = new QLabel(this);
    watermark_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    watermark_->setScaledContents(true);
    watermark_->setFixedWidth(164);
    body->addWidget(watermark_);
    stack_ = new QStackedWidget(this);
    stack_->setContentsMargins(20, 12, 20, 12);
    body->addWidget(stack_, 1);
    outer->addLayout(body, 1);
    outer->addWidget(rule(this));

    // Back and Next (or Finish) touch as a pair; Cancel and Help stand apart from them
    // and from each other by the style's usual distance between buttons.
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 10, 12, 10);
    buttons->setSpacing(0);
    int gap = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    if (gap <= 0) gap = 6;
    buttons->addStretch(1);
    back_ = make_button(this, id_back, tr("< &Back"));
    next_ = make_button(this, id_next, tr("&Next >"));
    finish_ = make_button(this, id_finish, tr("Finish"));
    cancel_ = make_button(this, id_cancel, tr("Cancel"));
    help_ = make_button(this, id_help, tr("Help"));
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(finish_);
    buttons->addSpacing(gap);
    buttons->addWidget(cancel_);
    buttons->addSpacing(gap);
    buttons->addWidget(help_);
    outer->addLayout(buttons);
    finish_->hide();

    connect(back_, &QPushButton::clicked, this, [this] { go_back(); });
    connect(next_, &QPushButton::clicked, this, [this] { go_next(); });
    connect(finish_, &QPushButton::clicked, this, [this] { finish(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    connect(help_, &QPushButton::clicked, this, [this] { help(); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { help(); });
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (page* p = current_page()) guarded([p] { p->on_tick(); });
    });
}

wizard_sheet::~wizard_sheet() {
    timer_.stop();
    // Pages still alive belong to their creator: take them out before Qt deletes the
    // sheet's children.
    for (auto& p : pages_)
        if (p) {
            if (QScrollArea* area = page_area(p)) area->takeWidget();
            p->setParent(nullptr);
        }
}

QScrollArea* wizard_sheet::page_area(const page* p) const {
    // The page stands in its area's viewport.
    QWidget* viewport = p ? p->parentWidget() : nullptr;
    return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
}

void wizard_sheet::fit_to_screen() {
    const QSize room = room_on_screen(*this);
    QSize wanted = sizeHint();
    // Measured with the header band, which all pages but the first and the last show.
    if (header_->isHidden()) wanted.rheight() += header_->sizeHint().height();
    setMinimumSize(design_size.boundedTo(room));
    resize(wanted.expandedTo(design_size).boundedTo(room));
}

void wizard_sheet::keep_on_screen() {
    const QScreen* s = screen();
    if (!s || !isVisible()) return;
    const QRect room = s->availableGeometry();
    const QSize frame = frameGeometry().size() - size();
    const QSize fitting = size().boundedTo(room.size() - frame).expandedTo(QSize(1, 1));
    if (fitting != size()) {
        setMinimumSize(minimumSize().boundedTo(fitting));
        resize(fitting);
    }
    // A window's position is its frame's.
    const QSize framed = fitting + frame;
    QPoint at = frameGeometry().topLeft();
    at.setX(
        std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - framed.width())));
    at.setY(
        std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - framed.height())));
    if (at != frameGeometry().topLeft()) QWidget::move(at);
}

void wizard_sheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The frame is the window system's, known once the window is up.
    QTimer::singleShot(0, this, [this] { keep_on_screen(); });
}

void wizard_sheet::setVisible(bool visible) {
    // Before the window is placed, so that it is centred at the size it shows.
    if (visible && !isVisible()) fit_to_screen();
    QDialog::setVisible(visible);
}

void wizard_sheet::set_images(const QPixmap& watermark, const QPixmap& header) {
    watermark_->setPixmap(watermark);
    header_image_->setPixmap(header);
}

void wizard_sheet::add_page(page* p) {
    pages_.emplace_back(p);
    auto* area = new page_scroller(stack_);
    area->setWidget(p);
    stack_->addWidget(area);
}

page* wizard_sheet::current_page() const {
    if (current_ < 0 || current_ >= static_cast<int>(pages_.size())) return nullptr;
    return pages_[current_];
}

int wizard_sheet::index_of(const page* p) const {
    for (size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i] == p) return static_cast<int>(i);
    return -1;
}

void wizard_sheet::show_header_for(const page* p) {
    const bool hide = p->hides_header();
    header_->setVisible(!hide);
    watermark_->setVisible(hide);
    title_->setText(p->header_title);
    subtitle_->setText(p->header_subtitle);
}

wizard_sheet::button_state wizard_sheet::buttons_now() const {
    return {back_->isEnabled(), next_->isEnabled(), !finish_->isHidden(), finish_->isEnabled()};
}

void wizard_sheet::restore(const button_state& s) {
    back_->setEnabled(s.back);
    next_->setEnabled(s.next);
    next_->setVisible(!s.finish_visible);
    finish_->setVisible(s.finish_visible);
    finish_->setEnabled(s.finish);
}

void wizard_sheet::set_buttons(int flags) {
    back_->setEnabled(flags & button_back);
    const bool fin = flags & button_finish;
    next_->setVisible(!fin);
    next_->setEnabled(flags & button_next);
    finish_->setVisible(fin);
    finish_->setEnabled(fin);
    (fin ? finish_ : next_)->setDefault(true);
}

void wizard_sheet::enable_button(int id, bool on) {
    if (QPushButton* b = button(id)) b->setEnabled(on);
}

QPushButton* wizard_sheet::button(int id) const {
    switch (id) {
        case id_back:
            return back_;
        case id_next:
            return next_;
        case id_finish:
            return finish_;
        case id_cancel:
            return cancel_;
        case id_help:
            return help_;
    }
    return nullptr;
}

wizard_sheet::activation wizard_sheet::activate(int index) {
    page* p = pages_[index];
    if (!p) return activation::skipped;
    const button_state before = buttons_now();
    // The page's buttons first, so that a page that turns them off has the last word.
    set_buttons(p->buttons());
    const bool help_before = help_->isEnabled();
    help_->setEnabled(p->has_help());
    bool shown = false;
    if (!guarded([&] { shown = p->on_set_active(); })) {
        restore(before);
        help_->setEnabled(help_before);
        return activation::failed;
    }
    if (!shown) {
        restore(before);
        help_->setEnabled(help_before);
        return activation::skipped;
    }
    current_ = index;
    stack_->setCurrentWidget(page_area(p));
    show_header_for(p);
    return activation::shown;
}

bool wizard_sheet::start() {
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i) {
        activation a = activate(i);
        if (a == activation::shown) return true;
        if (a == activation::failed) return false;
    }
    return false;
}

void wizard_sheet::move(int step) {
    for (int i = current_ + step; i >= 0 && i < static_cast<int>(pages_.size()); i += step) {
        activation a = activate(i);
        if (a != activation::skipped) return;
    }
}

void wizard_sheet::set_current_by_id(int id) {
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
        if (pages_[i] && pages_[i]->id() == id) {
            if (page* p = current_page()) guarded([p] { p->on_kill_active(); });
            activate(i);
            return;
        }
}

void wizard_sheet::go_next() {
    page* p = current_page();
    if (!p || !next_->isEnabled() || next_->isHidden()) return;
    int r = -1;
    if (!guarded([&] { r = p->on_next_request(); }) || r != 0) return;
    if (!guarded([&] { r = p->on_kill_active() ? 0 : -1; }) || r != 0) return;
    move(1);
}

void wizard_sheet::go_back() {
    page* p = current_page();
    if (!p || !back_->isEnabled()) return;
    int r = -1;
    if (!guarded([&] { r = p->on_back_request(); }) || r != 0) return;
    if (!guarded([&] { r = p->on_kill_active() ? 0 : -1; }) || r != 0) return;
    move(-1);
}

void wizard_sheet::finish() {
    page* p = current_page();
    bool ok = false;
    if (p && !guarded([&] { ok = p->on_finish(); })) return;
    if (!p || ok) done(sheet_finished);
}

void wizard_sheet::cancel() {
    // Once the run is over Cancel is off: closing the window then means Finish.
    if (!cancel_->isEnabled()) {
        if (finish_->isEnabled() && !finish_->isHidden()) finish();
        return;
    }
    page* p = current_page();
    bool ok = true;
    if (p && !guarded([&] { ok = p->on_cancel_request(); })) return;
    if (ok) done(sheet_cancelled);
}

void wizard_sheet::help() {
    page* p = current_page();
    if (p && help_->isEnabled()) guarded([p] { p->on_help_request(); });
}

void wizard_sheet::reject() {
    cancel();
}

void wizard_sheet::start_timer(int ms) {
    QMetaObject::invokeMethod(
        &timer_, [this, ms] { timer_.start(ms); }, Qt::AutoConnection);
}

void wizard_sheet::stop_timer() {
    if (on_gui_thread())
        timer_.stop();
    else
        QMetaObject::invokeMethod(
            &timer_, [this] { timer_.stop(); }, Qt::QueuedConnection);
}

}  // namespace ui
