#include "platform/ui/ui_dialog.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolTip>
#include <utility>

namespace ui {

namespace {

std::function<void(std::exception_ptr)>& sink() {
    static std::function<void(std::exception_ptr)> s;
    return s;
}

class nocase_item : public QListWidgetItem {
  public:
    explicit nocase_item(const QString& text) : QListWidgetItem(text) {}
    bool operator<(const QListWidgetItem& other) const override {
        return list_less(text(), other.text());
    }
};

// Asked only when a tooltip is due, so that a list of thousands costs nothing per entry.
class cut_entry_tips : public QObject {
  public:
    explicit cut_entry_tips(QListWidget* list) : QObject(list), list_(list) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || watched != list_->viewport()) return false;
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = list_->indexAt(help->pos());
        const QRect shown = list_->visualRect(index);
        const int needed = list_->sizeHintForIndex(index).width();
        if (index.isValid() &&
            (shown.left() < 0 || shown.left() + needed > list_->viewport()->width()))
            // As rich text that says the name as it is: a name such as "<b>" would
            // otherwise be taken for markup.
            QToolTip::showText(
                help->globalPos(),
                "<p style='white-space:pre'>" + index.data().toString().toHtmlEscaped() + "</p>",
                list_->viewport(), shown);
        else
            QToolTip::hideText();
        return true;
    }

  private:
    QListWidget* list_;
};

QLabel* icon_label(QWidget* parent, QStyle::StandardPixmap which) {
    auto* l = new QLabel(parent);
    l->setPixmap(parent->style()->standardIcon(which).pixmap(32, 32));
    l->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return l;
}

}  // namespace

QWidget* make_control(QWidget* parent, int id, control_kind kind, const QString& text,
                      const std::function<void(int)>& on_click) {
    QWidget* w = nullptr;
    QAbstractButton* b = nullptr;
    switch (kind) {
        case control_kind::label:
        case control_kind::title: {
            auto* l = new QLabel(text, parent);
            // What a label says (a table's name, a folder, a host) is shown as it is:
            // "<b>x" is a name, never markup.
            l->setTextFormat(Qt::PlainText);
            l->setWordWrap(true);
            if (kind == control_kind::title) l->setFont(title_font());
            w = l;
            break;
        }
        case control_kind::button:
        case control_kind::default_button: {
            auto* p = new QPushButton(text, parent);
            p->setDefault(kind == control_kind::default_button);
            p->setAutoDefault(kind == control_kind::default_button);
            w = b = p;
            break;
        }
        case control_kind::check:
            w = b = new QCheckBox(text, parent);
            break;
        case control_kind::radio:
            w = b = new QRadioButton(text, parent);
            break;
        case control_kind::edit:
        case control_kind::password: {
            auto* e = new QLineEdit(text, parent);
            if (kind == control_kind::password) e->setEchoMode(QLineEdit::Password);
            w = e;
            break;
        }
        case control_kind::list:
        case control_kind::single_list: {
            auto* l = new QListWidget(parent);
            l->setSortingEnabled(true);
            l->setSelectionMode(kind == control_kind::list ? QAbstractItemView::ExtendedSelection
                                                           : QAbstractItemView::SingleSelection);
            w = l;
            break;
        }
        case control_kind::group:
            w = new QGroupBox(text, parent);
            break;
        case control_kind::progress: {
            auto* p = new QProgressBar(parent);
            p->setRange(0, 100);
            p->setValue(0);
            w = p;
            break;
        }
        case control_kind::text_view: {
            auto* t = new QPlainTextEdit(text, parent);
            t->setReadOnly(true);
            w = t;
            break;
        }
        case control_kind::icon_error:
            w = icon_label(parent, QStyle::SP_MessageBoxCritical);
            break;
        case control_kind::icon_warning:
            w = icon_label(parent, QStyle::SP_MessageBoxWarning);
            break;
    }
    if (id != 0) w->setObjectName(QString::number(id));
    if (b && on_click)
        QObject::connect(b, &QAbstractButton::clicked,
                         [on_click, id] { guarded([&] { on_click(id); }); });
    return w;
}

bool list_less(const QString& a, const QString& b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

QListWidgetItem* add_list_item(QListWidget* list, const QString& text) {
    // Added after construction: an item given its list in the constructor is sorted in
    // before its own comparison exists.
    auto* item = new nocase_item(text);
    list->addItem(item);
    return item;
}

void tip_cut_entries(QListWidget* list) {
    list->viewport()->installEventFilter(new cut_entry_tips(list));
}

QWidget* find_control(const QWidget* root, int id) {
    return root->findChild<QWidget*>(QString::number(id));
}

QString breakable(const QString& text) {
    constexpr int run_max = 40;
    QString out;
    int run = 0;
    for (QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        // Never between the two halves of a character outside the basic plane.
        if (run > run_max && !c.isLowSurrogate()) {
            out += QChar(0x200B);
            run = 1;
        }
        out += c;
    }
    return out;
}

QFont title_font() {
    QFont f = QApplication::font();
    f.setPointSize(13);
    f.setWeight(QFont::Normal);
    return f;
}

void set_exception_sink(std::function<void(std::exception_ptr)> s) {
    sink() = std::move(s);
}

bool guarded(const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (...) {
        if (sink()) {
            try {
                sink()(std::current_exception());
            } catch (...) {
                // The sink reports; nothing it raises may reach Qt either.
            }
        }
        return false;
    }
}

namespace {

void press_control(QWidget* root, int id) {
    if (auto* b = control<QAbstractButton>(root, id)) b->click();
}

}  // namespace

dialog::dialog(QWidget* owner) : QDialog(owner) {
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

QWidget* dialog::add(int id, control_kind kind, const QString& text) {
    return make_control(this, id, kind, text, [this](int c) { on_command(c); });
}

void dialog::press(int id) {
    press_control(this, id);
}

void dialog::reject() {
    const int id = escape_id();
    guarded([&] { on_command(id); });
}

page::page(int id, int buttons, int flags) : id_(id), buttons_(buttons), flags_(flags) {
    setObjectName(QString("page-%1").arg(id));
}

int page::heightForWidth(int width) const {
    const QLayout* l = layout();
    return l && l->hasHeightForWidth() ? l->totalMinimumHeightForWidth(width)
                                       : QWidget::heightForWidth(width);
}

QWidget* page::add(int id, control_kind kind, const QString& text) {
    return make_control(this, id, kind, text, [this](int c) { on_command(c); });
}

void page::press(int id) {
    press_control(this, id);
}

}  // namespace ui
