#pragma once

#include <QWidget>

namespace vetra::widgets::ui {
class TextIndicator;
}

namespace vetra::display::ui {

// "Показания газосумматора": the current total gas `indiSumm`, in percent, above the pages.
class TotalizerReadingPanel : public QWidget {
    Q_OBJECT
public:
    explicit TotalizerReadingPanel(QWidget* parent = nullptr);

    // The reading with `decimals` decimals and the system's separator.
    void SetValue(double value, int decimals);
    QString text() const;

private:
    widgets::ui::TextIndicator* indiSumm = nullptr;
};

}  // namespace vetra::display::ui
