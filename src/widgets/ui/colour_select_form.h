#pragma once

#include <QColor>
#include <QDialog>
#include <QPushButton>
#include <cstdint>
#include <functional>

class QLabel;

namespace vetra::widgets::ui {

// Windows colour values (0x00BBGGRR), as the settings store them.
QColor colour_of(std::int32_t windows_colour);
std::int32_t windows_colour_of(const QColor& colour);

// The colour selection window: the sixteen standard colours the gas list and the plots use,
// and any other colour through the system's colour chooser. Created per use, modal.
class ColourSelectForm : public QDialog {
    Q_OBJECT
public:
    explicit ColourSelectForm(std::int32_t colour, QWidget* parent = nullptr);

    bool execute() { return exec() == QDialog::Accepted; }
    std::int32_t colour() const { return colour_; }

    // Picks one of the grid's colours; the dialog stays open until OK.
    void select(std::int32_t colour);
    void custom_colour();

    static const std::int32_t kStandardColours[16];

private:
    std::int32_t colour_;
    QLabel* sample_ = nullptr;
};

// The default way to ask the operator for a colour: the selection window above.
using ColourChooser = std::function<bool(QWidget* parent, std::int32_t& colour)>;
bool choose_colour(QWidget* parent, std::int32_t& colour);

// A button that shows a colour and opens the chooser on a click.
class ColourSelector : public QPushButton {
    Q_OBJECT
public:
    explicit ColourSelector(QWidget* parent = nullptr);
    void SetValue(std::int32_t colour);
    std::int32_t value() const { return value_; }
    void set_chooser(ColourChooser chooser) { chooser_ = std::move(chooser); }

Q_SIGNALS:
    void changed();

private:
    std::int32_t value_ = 0;
    ColourChooser chooser_ = &choose_colour;
};

}  // namespace vetra::widgets::ui
