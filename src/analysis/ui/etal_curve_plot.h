#pragma once

#include <QWidget>
#include <utility>
#include <vector>

namespace vetra::analysis::ui {

// The log-log plot of the curve view: concentration across, area / degassing up, decade
// lines, the points in red joined in point order with their values on yellow. A point can
// be picked and dragged up and down.
class EtalCurvePlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxPoints = 16;

    explicit EtalCurvePlot(QWidget* parent = nullptr);

    // (concentration, area / degassing) per point, in point order.
    void set_points(std::vector<std::pair<double, double>> points);
    const std::vector<std::pair<double, double>>& points() const { return points_; }

    // The mouse's three steps, also for the tests: picks the point vertically nearest,
    // sets its value to the one under the cursor, ends the drag.
    void press_at(QPoint at);
    void move_to(QPoint at);
    void release();
    int picked() const { return picked_; }
    QRect plot_rect() const;
    QPointF position_of(int index) const;

Q_SIGNALS:
    void value_changed(int index, double value);
    void drag_finished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double x_top() const;
    double y_top() const;

    std::vector<std::pair<double, double>> points_;
    int picked_ = -1;
};

}  // namespace vetra::analysis::ui
