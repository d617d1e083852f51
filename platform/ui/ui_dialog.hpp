// Dialogs and wizard pages whose controls are addressed by numeric ids. Each control's
// objectName is its decimal id; a lookup searches one dialog or page only, since the
// same id may stand on several pages.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <exception>
#include <functional>

class QAbstractButton;
class QListWidget;
class QListWidgetItem;

namespace ui {

enum class control_kind {
    label,
    title,  // a label in the large title font
    button,
    default_button,
    check,
    radio,
    edit,
    password,
    list,         // sorted without regard to case, several entries selectable
    single_list,  // sorted without regard to case, one entry selectable
    group,        // a frame with a caption around other controls
    progress,
    text_view,  // multi-line, read-only
    icon_error,
    icon_warning,
};

// Creates one control of the kind under parent, named by its id (0: no id). Buttons,
// boxes and radios report clicks to on_click.
QWidget* make_control(QWidget* parent, int id, control_kind kind, const QString& text,
                      const std::function<void(int)>& on_click);

// The control with the id under root (its own children only), or null.
QWidget* find_control(const QWidget* root, int id);

template <class T>
T* control(const QWidget* root, int id) {
    return qobject_cast<T*>(find_control(root, id));
}

// Adds an entry to a list; a sorted list keeps its order without regard to case, as
// the lists of the design do (ties in case order, so that the order is stable).
QListWidgetItem* add_list_item(QListWidget* list, const QString& text);
// That order, for a list that is kept in it without sorting itself.
bool list_less(const QString& a, const QString& b);
// An entry whose text the list's width cuts off (or that is scrolled partly out of
// view) shows the whole text as its tooltip.
void tip_cut_entries(QListWidget* list);

// The text with a break opportunity (a zero-width space) in every run of 40 characters
// without one, so that a label wraps a long name or path rather than cutting it off.
QString breakable(const QString& text);

// The large title font of the welcome and finish pages: the default family at 13 pt.
QFont title_font();

// Every callback from Qt runs through this guard: an exception goes to the sink that
// the program installs and never into Qt's event loop. False when fn threw.
void set_exception_sink(std::function<void(std::exception_ptr)> sink);
bool guarded(const std::function<void()>& fn);

// A modal dialog with controls by id. Clicks reach on_command with the control's id.
class dialog : public QDialog {
  public:
    explicit dialog(QWidget* owner = nullptr);

    QWidget* add(int id, control_kind kind, const QString& text = {});
    template <class T>
    T* ctrl(int id) const {
        return control<T>(this, id);
    }
    // Acts as a click on the control (a box toggles), so that the dialog's own code
    // runs; tests drive dialogs through it without a modal loop.
    void press(int id);

  protected:
    virtual void on_command(int id) { done(id); }
    // Escape and the close box.
    void reject() override;
    virtual int escape_id() const { return 2; }
};

// One wizard page: controls by id plus the callbacks the sheet calls.
class page : public QWidget {
  public:
    page(int id, int buttons, int flags);

    int id() const { return id_; }
    int buttons() const { return buttons_; }
    bool hides_header() const { return (flags_ & 2048) != 0; }
    bool has_help() const { return (flags_ & 32) != 0; }
    QString header_title, header_subtitle;

    QWidget* add(int id, control_kind kind, const QString& text = {});
    template <class T>
    T* ctrl(int id) const {
        return control<T>(this, id);
    }
    void press(int id);

    // Called by the sheet after it set the page's buttons; false skips the page.
    virtual bool on_set_active() { return true; }
    virtual bool on_kill_active() { return true; }
    virtual bool on_finish() { return true; }
    virtual void on_help_request() {}
    // 0 lets the sheet move, -1 keeps the page.
    virtual int on_next_request() { return 0; }
    virtual int on_back_request() { return 0; }
    // True lets the wizard close.
    virtual bool on_cancel_request() { return true; }
    virtual void on_tick() {}
    virtual void on_command(int) {}

    // The least height the page's layout allows at the width, not its preferred one: the
    // sheet's scroll area gives the page that much, and scrolls only when it lacks it.
    int heightForWidth(int width) const override;

  private:
    int id_, buttons_, flags_;
};

}  // namespace ui
