#pragma once

#include <QFont>
#include <QWidget>
#include <boost/signals2/connection.hpp>
#include <functional>

#include "display/ui/chromatogram_painter.h"

class QPrinter;
class QPushButton;
class QScrollArea;

namespace vetra::library {
class Operator;
}
namespace vetra::storage {
class History;
}

namespace vetra::storage::ui {

class HistoryEntryWindow;

inline constexpr const char* kPrintQuestion = "Распечатать хроматограмму ?";
inline constexpr const char* kPrintCaption = "  Печать";
inline constexpr const char* kNothingSelected = "В истории нет выбранной хроматограммы";

// What the history page paints with: the plot style, the current gas count and the page's
// own font (its entries use two thirds of it).
struct HistoryPaint {
    display::ui::PlotStyle style;
    int gas_count = 0;
    QFont font;
    int margin = 8;  // pixels per inch / 20, at least 8
};

// Paints the entries whose cells meet `clip` in the compact layout with a 1-pixel curve,
// and the red frame 5 pixels wide 2 pixels outside the selected one's cell.
void paint_history(QPainter& p, const QRect& page, const QRect& clip, History& history,
                   const HistoryPaint& how);

// The grid of stored chromatograms (`pboxHistory`): a click selects, a double click opens
// the entry large; its menu opens, prints or saves the selection.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    HistoryView(History& history, std::function<HistoryPaint()> how, QWidget* parent = nullptr);
    int margin() const;

Q_SIGNALS:
    void openRequested();
    void printRequested();
    void saveRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    History& history_;
    std::function<HistoryPaint()> how_;
};

// The "История" page: the grid, "Печать..." and "Сохранить...". Printing and saving work on
// the selected entry; with none (or an empty one) the operator is told and nothing happens.
class HistoryPage : public QWidget {
    Q_OBJECT
public:
    HistoryPage(History& history, library::Operator& op,
                std::function<display::ui::PlotStyle()> style, std::function<int()> gas_count,
                QWidget* parent = nullptr);
    ~HistoryPage() override;

    // "Печать..." (button and menu): the question, then the printer.
    void MyButton1Click();
    // "Сохранить...": the save dialog, then the picture.
    void MyButton2Click();
    // Double click: the selected entry large in a window of its own; none when nothing is
    // selected.
    HistoryEntryWindow* open_selected();
    // Printing and saving without asking, for the buttons and the tests.
    bool print_selected(QPrinter& printer);
    bool save_selected(const QString& path);

    HistoryView* view() const { return view_; }

private:
    bool have_selection(const char* caption);

    History& history_;
    library::Operator& operator_;
    std::function<display::ui::PlotStyle()> style_;
    std::function<int()> gas_count_;
    HistoryView* view_ = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QPushButton* MyButton1 = nullptr;
    QPushButton* MyButton2 = nullptr;
    boost::signals2::scoped_connection repaint_;
};

}  // namespace vetra::storage::ui
