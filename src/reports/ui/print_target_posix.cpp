#include "reports/ui/print_target.h"

#include <QPrintDialog>
#include <QPrinter>

namespace vetra::reports::ui {

bool choose_print_target(QPrinter& printer, QWidget* parent, const QString& caption) {
    QPrintDialog choose(&printer, parent);
    choose.setWindowTitle(caption);
    return choose.exec() == QDialog::Accepted;
}

}  // namespace vetra::reports::ui
