#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "library/datetime.h"
#include "settings/ui/dialog_services.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vetra::library {
class Operator;
}

namespace vetra::settings {
class LagSettings;
}

namespace vetra::settings::ui {

// The work settings dialog's page for the sample's depth: where it comes from, the lag of the
// mud and how gas shows are picked against the background.
class LagPage : public QWidget {
    Q_OBJECT
public:
    // Without `apply_lag` the page has no button for the rows already analysed.
    LagPage(library::Operator* op, ApplyLag apply_lag, QWidget* parent = nullptr);

    void fill(const LagSettings& lag);
    void apply(LagSettings& lag) const;
    // The first field whose number is not one the program can use, with its range ("" when
    // all are fine); the dialog applies nothing meanwhile.
    QString problem() const;
    // The moment the corrected lag applies from; now an hour ago when the page is filled.
    void set_since(library::DayNumber since);

private:
    struct Field {
        QLineEdit* edit = nullptr;
        const char* name = "";
        double low = 0;
        double high = 0;
        int decimals = 0;
    };
    enum { kStrokes, kMinutes, kDelay, kBackground, kFactor, kMinimum, kFields };

    std::optional<double> value(int field) const;
    QString field_problem(int field) const;
    void check_fields();
    void apply_to_rows();

    library::Operator* op_;
    ApplyLag apply_lag_;
    QComboBox* cbSampleDepth = nullptr;
    Field fields_[kFields];
    QLabel* lbProblem = nullptr;
    QDateTimeEdit* edSince = nullptr;
    QPushButton* btnApplyLag = nullptr;
};

}  // namespace vetra::settings::ui
