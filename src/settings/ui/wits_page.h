#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;

namespace vetra::settings {
class RigSettings;
}

namespace vetra::settings::ui {

// The work settings dialog's page for the rig's own formats: where WITS packets go, where
// the rig's depth comes from, and the well header of LAS files.
class WitsPage : public QWidget {
    Q_OBJECT
public:
    explicit WitsPage(QWidget* parent = nullptr);

    void fill(const RigSettings& rig);
    void apply(RigSettings& rig) const;
    // Why the addresses as entered cannot work ("" when they can); the dialog refuses OK
    // meanwhile, and each field says it under itself as it is typed.
    QString problem() const;

private:
    void enable_fields();
    void check_addresses();

    QComboBox* cbOut = nullptr;
    QLineEdit* edOutPort = nullptr;
    QLineEdit* edOutMode = nullptr;
    QLineEdit* edOutAddress = nullptr;
    QLabel* lbOutProblem = nullptr;
    QComboBox* cbIn = nullptr;
    QLineEdit* edInPort = nullptr;
    QLineEdit* edInMode = nullptr;
    QLineEdit* edInAddress = nullptr;
    QLabel* lbInProblem = nullptr;
    QLineEdit* edInIdle = nullptr;
    QLabel* lbIdleProblem = nullptr;
    QComboBox* cbDepthItem = nullptr;
    QLineEdit* edCompany = nullptr;
    QLineEdit* edService = nullptr;
    QLineEdit* edLocation = nullptr;
};

}  // namespace vetra::settings::ui
