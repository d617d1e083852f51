// The wizard window: a header band (or, for pages that hide it, a watermark on the
// left), the stack of pages and the buttons Back, Next, Finish, Cancel and Help, each
// found by its numeric id. The pages belong to their creator, not to the sheet. The
// window never asks for more than its screen has room for: a page that does not fit
// (large fonts, a small screen) scrolls, and the buttons stay in view.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <vector>

#include "platform/ui/ui_dialog.hpp"

class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;

namespace ui {

enum : int {
    id_back = 0x3023,
    id_next = 0x3024,
    id_finish = 0x3025,
    id_cancel = 2,
    id_help = 9,
};

// The buttons a page asks for: 1 Back, 2 Next, 4 Finish (in Next's place).
enum : int { button_back = 1, button_next = 2, button_finish = 4 };

// What exec returns.
enum : int { sheet_cancelled = 0, sheet_finished = 1 };

class wizard_sheet : public QDialog {
  public:
    wizard_sheet();
    ~wizard_sheet() override;

    void set_images(const QPixmap& watermark, const QPixmap& header);
    void add_page(page* p);
    page* current_page() const;
    // Activates the page with the dialog id, whatever lies between.
    void set_current_by_id(int id);
    // Activates the first page that wants to be shown; false when none does.
    bool start();

    void set_buttons(int flags);
    void enable_button(int id, bool on);
    QPushButton* button(int id) const;

    // Safe from any thread: the timer itself lives on the GUI thread.
    void start_timer(int ms);
    void stop_timer();

    // The size the window takes when it is shown: what its pages ask for, at least the
    // design's 600 x 420, but never more than room_on_screen.
    void fit_to_screen();

    // What the buttons do; public so that tests can drive them.
    void go_next();
    void go_back();
    void finish();
    void cancel();
    void help();

    void setVisible(bool visible) override;

  protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;

  private:
    enum class activation { shown, skipped, failed };
    activation activate(int index);
    void move(int step);
    // The area that scrolls the page.
    QScrollArea* page_area(const page* p) const;
    // Once the window is up and framed: smaller and moved where its frame sticks out.
    void keep_on_screen();
    void show_header_for(const page* p);
    int index_of(const page* p) const;

    struct button_state {
        bool back, next, finish_visible, finish;
    };
    button_state buttons_now() const;
    void restore(const button_state& s);

    std::vector<QPointer<page>> pages_;
    int current_ = -1;
    QStackedWidget* stack_;
    QWidget* header_;
    QLabel* title_;
    QLabel* subtitle_;
    QLabel* header_image_;
    QLabel* watermark_;
    QPushButton *back_, *next_, *finish_, *cancel_, *help_;
    QTimer timer_;
};

}  // namespace ui
