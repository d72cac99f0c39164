#include "reports/ui/svg_picture.h"

#include <QPaintDevice>

namespace vetra::reports::ui {

bool svg_available() { return false; }

std::unique_ptr<QPaintDevice> svg_picture(QIODevice*, QSize, int, const QString&) {
    return nullptr;
}

}  // namespace vetra::reports::ui
