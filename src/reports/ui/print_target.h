#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace vetra::reports::ui {

// Lets the operator choose where a print goes: one of the system's printers or a PDF file.
// Qt's own dialog offers the file beside the printers; Windows' dialog lists only printers,
// so where it has none the file is asked for instead. False when the operator cancels.
bool choose_print_target(QPrinter& printer, QWidget* parent, const QString& caption);

}  // namespace vetra::reports::ui
