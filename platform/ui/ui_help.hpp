// The in-program help viewer: an HTML file shown modally, at an anchor.
#pragma once

#include <QString>

class QWidget;

namespace ui {

void show_help_viewer(QWidget* owner, const QString& file, const QString& anchor);

}  // namespace ui
