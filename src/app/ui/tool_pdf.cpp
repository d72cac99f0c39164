// vetra-tool's printing: the window's table drawing on a PDF printer, without a screen.
#include <QApplication>
#include <QPrinter>

#include "app/tool_pdf.h"
#include "reports/ui/table_document.h"
#include "reports/ui/tprint_grid_form.h"

namespace vetra::app {

std::string print_table_pdf(const storage::TableText& table, const std::string& ini_path,
                            const std::string& pdf_path) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int argc = 1;
    char name[] = "vetra-tool";
    char* argv[] = {name, nullptr};
    const QApplication app(argc, argv);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf_path));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    const reports::ui::PrintOptions options = reports::ui::stored_print_options(ini_path);
    if (!reports::ui::print_document(table, options, printer)) {
        return "Не удалось напечатать таблицу в файл " + pdf_path;
    }
    return {};
}

}  // namespace vetra::app
