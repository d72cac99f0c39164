#pragma once

#include <QWidget>

#include "display/gas_log_model.h"
#include "display/ui/gas_log_painter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace vetra::settings {
class IniFile;
}

namespace vetra::display::ui {

inline constexpr const char* kGasLogSection = "каротаж";

class GasLogPage;

// The tracks of the page; a click places the cursor, the wheel scrolls (with Ctrl: zooms).
class GasLogCanvas : public QWidget {
    Q_OBJECT
public:
    explicit GasLogCanvas(GasLogPage& page);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    GasLogPage& page_;
};

// "Каротаж": the gas log against depth, newest depth followed while drilling.
class GasLogPage : public QWidget {
    Q_OBJECT
public:
    // `rows` and `log` (may be null) must outlive the page.
    GasLogPage(const GasLogRows& rows, const analysis::TotalizerLog* log,
               QWidget* parent = nullptr);

    // Reads new rows and repaints; on the main timer's tick.
    void refresh();

    const GasLogModel& model() const { return model_; }
    const GasLogRows& rows() const { return rows_; }
    const analysis::TotalizerLog* totalizer_log() const { return log_; }
    const GasLogView& view() const { return view_; }
    GasLogCanvas* canvas() const { return canvas_; }

    // 1:scale; a scale not in the list is the free zoom.
    void set_scale(double scale);
    void zoom(double factor);
    void set_drilling_only(bool on);
    void set_tracks(const GasLogTracks& tracks);
    // Scrolls so `depth` is at the top; stops following the newest depth.
    void scroll_to(double depth);
    bool following() const { return following_; }
    // "К забою": back to the newest depth, following it again.
    void follow_newest();
    void set_cursor(std::optional<double> depth);
    // The well's shows to shade (null: none); the vector must outlive the page.
    void set_shows(const std::vector<analysis::GasShow>* shows);
    // The cursor's read-out as shown.
    QString cursor_text() const;

    void load_settings(const settings::IniFile& file);
    void save_settings(settings::IniFile& file) const;

Q_SIGNALS:
    void print_requested();

private:
    friend class GasLogCanvas;
    void update_view();
    void update_scroll_bar();
    void show_cursor();
    double visible_metres() const;
    void ScaleChange(int index);

    const GasLogRows& rows_;
    const analysis::TotalizerLog* log_;
    GasLogModel model_;
    TotalizerBackground totalizer_background_;
    GasLogView view_;
    bool following_ = true;
    bool updating_ = false;

    QComboBox* scale_box_ = nullptr;
    QCheckBox* drilling_box_ = nullptr;
    QCheckBox* track_boxes_[3] = {};
    QPushButton* follow_button_ = nullptr;
    QPushButton* print_button_ = nullptr;
    GasLogCanvas* canvas_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QLabel* readout_ = nullptr;
};

}  // namespace vetra::display::ui
