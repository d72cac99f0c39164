#pragma once

#include <QWidget>
#include <boost/signals2/signal.hpp>
#include <functional>

class QComboBox;
class QLabel;

namespace vetra::analysis {
class GazList;
}
namespace vetra::library {
class LockObject;
}
namespace vetra::widgets::ui {
class RangeSelector;
}

namespace vetra::analysis::ui {

// The small tool window " Корректировка времени выхода газа": moves one gas's exit-time
// window on the fly. Not modal; a tool window of the main window, so it stays above that
// window but never above a dialog. The main window creates it on first use and keeps it.
class TGazTimeForm : public QWidget {
    Q_OBJECT
public:
    // `screen_seconds` is read at every show: the scale runs to the current screen span.
    TGazTimeForm(analysis::GazList& gases, library::LockObject& data_lock,
                 boost::signals2::signal<void()>& windows_changed,
                 std::function<int()> screen_seconds, QWidget* parent = nullptr);

    QComboBox* cbGazes() const { return gazes_; }
    widgets::ui::RangeSelector* Range() const { return range_; }
    QLabel* lbRange() const { return range_label_; }
    // Says why the last move was refused; hidden while there is nothing to say.
    QLabel* lbOverlap() const { return overlap_label_; }

    void FormShow();
    void cbGazesChange();
    void RangeChange(int a, int b);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void update_label();
    void place_over_plot();

    analysis::GazList& gases_;
    library::LockObject& data_lock_;
    boost::signals2::signal<void()>& windows_changed_;
    std::function<int()> screen_seconds_;
    QComboBox* gazes_;
    widgets::ui::RangeSelector* range_;
    QLabel* range_label_;
    QLabel* overlap_label_;
    bool placed_ = false;
};

}  // namespace vetra::analysis::ui
