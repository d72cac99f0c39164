#pragma once

#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "storage/results_table_text.h"
#include "storage/ui/treprocess_form.h"

namespace vetra::analysis {
struct GasShow;
}

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;

namespace vetra::library {
class Operator;
}
namespace vetra::settings {
class IniFile;
}

namespace vetra::storage::ui {

class DepthColumns;
class ResultsTableModel;

// The "Таблица" page: the results table with its column order, in-place editing, row
// deletion and clearing. Printing and export are wired by their own module.
class TTablePage : public QWidget {
    Q_OBJECT
public:
    TTablePage(ResultsTableText& text, library::Operator& op, QWidget* parent = nullptr);
    ~TTablePage() override;

    // The table font: "имя_шрифта" and "размер_шрифта_таблицы".
    void apply_font(const QString& family, int point_size);
    // The "TextGrid" group and the reverse button with it.
    void load_settings(const settings::IniFile& file);
    void save_settings(settings::IniFile& file);

    // The open table as the grid shows it, for printing and export.
    const ResultsTableText& table_text() const { return text_; }
    // First and last selected data rows (from 0), or -1, -1.
    std::pair<int, int> selected_rows() const;
    // True while rows are being removed in the background.
    bool busy() const { return removal_ != nullptr; }

    // The gas ratio columns after the values.
    void show_ratios(bool on);
    // Where the program's own columns come from: the row depths beside the table and the
    // well's shows (must outlive the page). Their button shows only once they are set.
    void set_depth_sources(const std::filesystem::path& row_depths,
                           const std::vector<analysis::GasShow>* shows);
    void show_depth_columns(bool on);
    void SpeedButton1Click(bool down);
    void N11Click();
    void N8Click();
    void N9Click();
    void delete_selected(bool zeros_only);
    // What "Пересчёт..." needs; the menu offers it once this is given.
    void set_reprocess_context(ReprocessContext context);
    // "Пересчёт...": for the selected rows' times, else the table's last day.
    void reprocess();
    // Reads the trail again: the cells re-processed and not undone are marked.
    void reload_reprocessed();

    QPushButton* SpeedButton1 = nullptr;  // "Реверс"
    QPushButton* SpeedButton3 = nullptr;  // "Распечатать..."
    QPushButton* btnRedactTable = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* mbExport = nullptr;
    QPushButton* btnRatios = nullptr;
    QPushButton* btnLas = nullptr;
    QPushButton* btnDepthColumns = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblEditHint = nullptr;
    QTableView* grTextValues = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N11 = nullptr;
    QAction* N8 = nullptr;
    QAction* N9 = nullptr;
    QAction* NReprocess = nullptr;  // "Пересчёт..."
    QAction* NOriginals = nullptr;  // "Исходные значения" of re-processed cells

private:
    void set_editing(bool on);
    void fit_columns();
    void select_last_row();
    void restore_selection();
    void finish_removal();
    void set_busy(bool on);

    ResultsTableText& text_;
    library::Operator& operator_;
    ResultsTableModel* model_ = nullptr;
    std::unique_ptr<DepthColumns> depth_columns_;
    std::pair<int, int> kept_selection_{-1, -1};
    std::unique_ptr<RowRemoval> removal_;
    std::jthread worker_;
    std::optional<ReprocessContext> reprocess_context_;
};

}  // namespace vetra::storage::ui
