#pragma once

#include <QDialog>
#include <QString>

#include "library/ui/number_fields.h"
#include "settings/ui/dialog_services.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

namespace vetra::analysis {
class GazList;
}
namespace vetra::settings {
class GlobalSettings;
}

namespace vetra::settings::ui {

// The setup wizard: which gases are registered, whether a gas totalizer is used and shown.
// Four pages, one step at a time; nothing changes until OK on the last page.
class TOptMasterForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPageCount = 4;
    static constexpr int kMaxGases = 15;
    static constexpr int kCountWhenNotANumber = 6;

    TOptMasterForm(GlobalSettings& settings, analysis::GazList& gases, DialogServices services,
                   QWidget* parent = nullptr);

    bool execute() { return exec() == QDialog::Accepted; }
    // Validates the gas names; applies and closes only when they are all given and distinct.
    void accept() override;

    void btnNextClick();
    void btnPrevClick();
    void set_page(int index);
    int page() const;
    QString step_text() const;

    QLineEdit* count_edit() const { return edCount; }
    library::ui::NumberFields number_fields() const;
    QTableWidget* gas_grid() const { return sgGazes; }
    QCheckBox* use_box() const { return cbUse; }
    QCheckBox* show_box() const { return cbShow; }
    QPushButton* ok_button() const { return btnOk; }

private:
    QWidget* build_model_page();
    QWidget* build_gas_page();
    QWidget* build_totalizer_page();
    QWidget* build_finish_page();
    void fill();
    void show_gas_page();
    int count_from_field() const;
    void cut_to_first_word(int row);
    void error(const QString& text);

    GlobalSettings& settings_;
    analysis::GazList& gases_;
    DialogServices services_;
    QStackedWidget* pages_ = nullptr;
    QLabel* lbStep = nullptr;
    QLabel* lbModel = nullptr;
    QComboBox* cbModel = nullptr;
    QLineEdit* edCount = nullptr;
    QTableWidget* sgGazes = nullptr;
    QCheckBox* cbUse = nullptr;
    QCheckBox* cbShow = nullptr;
    QPushButton* btnPrev = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnOk = nullptr;
};

// The model's name: 0 "ТД-5ЛК", 1 "Велон", any other "Неизвестный прототип".
QString model_name(int device_type);

}  // namespace vetra::settings::ui
