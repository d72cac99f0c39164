#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "storage/reprocessor.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace vetra::analysis {
class GazList;
}
namespace vetra::library {
class Clock;
class Operator;
enum class MessageIcon;
}  // namespace vetra::library

namespace vetra::storage::ui {

// What the "Пересчёт..." window needs from the workstation.
struct ReprocessContext {
    std::string program_dir;  // with a trailing separator
    const analysis::EtalonStorage* calibration = nullptr;
    const analysis::GazList* gases = nullptr;
    const library::Clock* clock = nullptr;
    std::function<void(const std::string&)> journal;
};

// "Пересчёт...": stored analyses of a time range computed again from their run files with
// the current or a saved calibration and the windows as stored or current; a preview of old
// and new values, then "Применить" through the trail, or "Отменить пересчёт". The preview is
// computed a few rows at a time and the apply keeps the window answering, both can be
// stopped.
class TReprocessForm : public QDialog {
    Q_OBJECT
public:
    TReprocessForm(ResultsTable& table, ReprocessContext context, library::Operator& op,
                   QWidget* parent = nullptr);
    ~TReprocessForm() override;

    void set_range(std::uint32_t from, std::uint32_t to);
    // Starts the preview; false (with a message) when the entries are not usable.
    bool preview();
    bool previewing() const;
    void apply();
    void undo();
    const std::vector<ReprocessedRow>& rows() const { return rows_; }
    // Not while rows are being written: the apply ends first (or is stopped).
    void reject() override;

    QDateTimeEdit* edFrom = nullptr;
    QDateTimeEdit* edTo = nullptr;
    QComboBox* cbCalibration = nullptr;  // the current one, or a "*.cal" file
    QLineEdit* edCalibrationFile = nullptr;
    QPushButton* btnCalibrationFile = nullptr;
    QComboBox* cbWindows = nullptr;  // as stored, or the gas list's
    QPushButton* btnPreview = nullptr;
    QTableWidget* grPreview = nullptr;
    QLabel* lblSummary = nullptr;
    QLineEdit* edReason = nullptr;
    QProgressBar* pbProgress = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnUndo = nullptr;
    QPushButton* btnClose = nullptr;

Q_SIGNALS:
    void preview_finished();
    // After an apply or an undo changed the table.
    void table_rewritten();

private:
    void invalidate();
    void tell(const std::string& text, library::MessageIcon icon);
    void preview_step();
    void add_preview_lines(const ReprocessedRow& row);
    void finish_preview();
    void set_working(bool on);
    bool reason_given();
    std::string calibration_name() const;

    ResultsTable& table_;
    ReprocessContext context_;
    library::Operator& operator_;
    analysis::EtalonStorage chosen_;  // the calibration the preview used
    ReprocessMethod method_;
    std::unique_ptr<ReprocessPlan> plan_;
    std::unique_ptr<RunRecomputer> recomputer_;
    std::size_t next_ = 0;
    std::vector<ReprocessedRow> rows_;
    bool ready_ = false;  // the preview is whole and matches the entries
    bool stop_ = false;
    bool working_ = false;
    QTimer* timer_ = nullptr;
};

}  // namespace vetra::storage::ui
