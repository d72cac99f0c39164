#pragma once

#include <QWidget>

namespace vetra::widgets::ui {

// A small grip beside a plot that the operator drags up or down; it reports the vertical
// distance from where the drag began, in pixels.
class DragHandle : public QWidget {
    Q_OBJECT
public:
    enum class Shape { up, both, down };

    explicit DragHandle(Shape shape, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {18, 22}; }

Q_SIGNALS:
    void dragStarted();
    void dragged(int rows);
    void dragFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Shape shape_;
    int start_row_ = -1;  // -1: no drag
};

}  // namespace vetra::widgets::ui
