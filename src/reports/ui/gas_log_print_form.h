#pragma once

#include <QDialog>
#include <QPageLayout>
#include <QWidget>
#include <memory>
#include <string>

#include "reports/ui/gas_log_document.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;

namespace vetra::library {
class Operator;
}

namespace vetra::reports::ui {

// The preview's pages, one under another, at the chosen percentage of their paper size.
class GasLogPreviewPages : public QWidget {
    Q_OBJECT
public:
    GasLogPreviewPages(GasLogDocument& document, QSizeF page_mm, QWidget* parent = nullptr);
    void set_scale(int percent);
    // Dots of the document per screen pixel at 100 %.
    double factor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GasLogDocument& document_;
    QSizeF page_mm_;
    int percent_ = 100;
};

// "Предварительный просмотр" of the log: the pages at 25 % to 500 %, "Печать" (result 1),
// "Сохранить..." as PDF or SVG, "Закрыть" (result 2).
class TGasLogPreviewForm : public QDialog {
    Q_OBJECT
public:
    TGasLogPreviewForm(GasLogDocument& document, const QPageLayout& page,
                       QWidget* parent = nullptr);
    QComboBox* scale_box() const { return scale_box_; }
    GasLogPreviewPages* pages() const { return pages_; }

private:
    void SaveClick();
    GasLogDocument& document_;
    QComboBox* scale_box_ = nullptr;
    GasLogPreviewPages* pages_ = nullptr;
};

// "  Распечатка каротажа": title, head, the depth interval and the depth scale;
// "Просмотр..." shows the preview.
class TPrintGasLogForm : public QDialog {
    Q_OBJECT
public:
    TPrintGasLogForm(const display::GasLogModel& model, const analysis::TotalizerLog* log,
                     const display::GasLogRows& rows, QWidget* parent = nullptr);
    ~TPrintGasLogForm() override;

    void set_ini_file(std::string path) { ini_path_ = std::move(path); }
    void set_printer(QPrinter* printer) { printer_ = printer; }
    void set_operator(library::Operator* op) { operator_ = op; }

    // The interval, scale and view the page suggests, then the stored title over them.
    void prepare(const GasLogPrintOptions& defaults);
    GasLogPrintOptions options() const;
    bool print_and_save();
    void PreviewClick();

private:
    QPrinter& printer();

    const display::GasLogModel& model_;
    const analysis::TotalizerLog* log_;
    const display::GasLogRows& rows_;
    GasLogPrintOptions defaults_;
    std::string ini_path_;
    QPrinter* printer_ = nullptr;
    std::unique_ptr<QPrinter> own_printer_;
    library::Operator* operator_ = nullptr;

    QLineEdit* title_ = nullptr;
    QPlainTextEdit* head_ = nullptr;
    QDoubleSpinBox* from_ = nullptr;
    QDoubleSpinBox* to_ = nullptr;
    QComboBox* scale_ = nullptr;
};

// The log page's "Распечатать...". A printer may be given (tests print to PDF). True when
// the log was printed.
bool print_gas_log_dialog(QWidget* parent, const display::GasLogModel& model,
                          const analysis::TotalizerLog* log, const display::GasLogRows& rows,
                          const GasLogPrintOptions& defaults, const std::string& ini_path,
                          library::Operator& op, QPrinter* printer = nullptr);

}  // namespace vetra::reports::ui
