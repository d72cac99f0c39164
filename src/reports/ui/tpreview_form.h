#pragma once

#include <QAbstractScrollArea>
#include <QDialog>
#include <QPageLayout>
#include <memory>

#include "reports/ui/table_document.h"

class QComboBox;

namespace vetra::reports::ui {

// The preview's pages at the chosen scale, one under another; only those in view are drawn.
class PreviewArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    PreviewArea(const TableDocument& document, QWidget* parent = nullptr);
    void set_scale(int percent);
    int scale() const { return scale_; }
    int first_visible_page() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    static constexpr int kPageGap = 12;  // grey between the pages
    qint64 page_step() const;
    void update_bars();
    const TableDocument& document_;
    int scale_ = 100;
};

// "Предварительный просмотр": the table as it will print, at 13 scales. "Печать" closes
// with result 1 (the print dialog then prints), "Закрыть" with 2.
class TPreviewForm : public QDialog {
    Q_OBJECT
public:
    TPreviewForm(const storage::TableText& table, const PrintOptions& options,
                 const QPageLayout& page, QWidget* parent = nullptr);
    ~TPreviewForm() override;

    static const QStringList& scales();
    int scale_percent() const;
    QComboBox* scale_box() const { return scale_box_; }
    PreviewArea* area() const { return area_; }
    const TableDocument& document() const { return *document_; }

    void zoom_in();   // "+"
    void zoom_out();  // "-"
    // The drawing as SVG (one picture, as on screen at 100 %) or PDF (the printed pages),
    // chosen by the file's extension. False when it could not be written.
    bool save_to(const QString& path);

private:
    void SaveClick();

    const storage::TableText& table_;
    PrintOptions options_;
    QPageLayout page_;
    std::unique_ptr<TableDocument> document_;
    QComboBox* scale_box_ = nullptr;
    PreviewArea* area_ = nullptr;
};

}  // namespace vetra::reports::ui
