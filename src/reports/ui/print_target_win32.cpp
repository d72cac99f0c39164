#include "reports/ui/print_target.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace vetra::reports::ui {

bool choose_print_target(QPrinter& printer, QWidget* parent, const QString& caption) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty()) {
        QPrintDialog choose(&printer, parent);
        choose.setWindowTitle(caption);
        return choose.exec() == QDialog::Accepted;
    }
    // Windows' dialog without a printer only says there is none.
    QString path = QFileDialog::getSaveFileName(parent, caption, QString(),
                                                QStringLiteral("Документ PDF (*.pdf)"));
    if (path.isEmpty()) {
        return false;
    }
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".pdf");
    }
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return true;
}

}  // namespace vetra::reports::ui
