#pragma once

#include <QStatusBar>
#include <QStringList>
#include <array>
#include <functional>

#include "app/workstation_status.h"

class QHBoxLayout;

namespace vetra::widgets::ui {
class StatusLamp;
}

namespace vetra::app::ui {

// The main window's status line. The hint of the control under the mouse still appears at
// its left, but the state stays in view beside it: the chromatograph's link, the work mode
// with the time mode's countdown, the last analysis, the totalizer, the station, WITS and
// any file that could not be written, each a lamp and a few words, the rest in its tooltip.
class WorkstationStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit WorkstationStatusBar(const WorkstationStatus& status, QWidget* parent = nullptr);

    // Reads the state again; the window calls it on every tick of its timer.
    void refresh();

    enum Field { chromatograph, mode, analysis, totalizer, station, wits, files, kFieldCount };
    // What a field shows now; empty when it is hidden.
    QString text(Field field) const;
    Health health(Field field) const;

    // Gas shows the operator has not acknowledged: "Газ!" in red with the last show's line in
    // its tooltip; hidden at 0. A click on it calls `show_acknowledged`.
    void set_show_mark(int unacknowledged, const QString& last_show);
    QString show_mark_text() const;
    std::function<void()> show_acknowledged;

protected:
    // The settings are read after the bar is made: the state is read again when it shows.
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the hint at the left keeps at the least before the fields take a second line.
    static constexpr int kHintRoom = 260;
    static constexpr int kSpacing = 6;

    int line_height() const;
    void reflow();

    const WorkstationStatus& status_;
    QWidget* panel_ = nullptr;
    std::array<QHBoxLayout*, kFieldCount> lines_{};
    std::array<widgets::ui::StatusLamp*, kFieldCount> lamps_{};
    std::array<Health, kFieldCount> health_{};
    widgets::ui::StatusLamp* show_lamp_ = nullptr;
};

}  // namespace vetra::app::ui
