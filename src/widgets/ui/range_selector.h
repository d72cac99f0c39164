#pragma once

#include <QWidget>

namespace vetra::widgets::ui {

// A scale of whole values with two handles, lower and upper, that the operator drags with
// the mouse or moves with the keys (arrows by one, Page Up/Down by one scale mark, Home/End
// to the limits, Tab to the other handle). The handles never cross; values stay within
// minimum .. maximum.
class RangeSelector : public QWidget {
    Q_OBJECT
public:
    enum class Handle { none, lower, upper };

    explicit RangeSelector(QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Both keep minimum <= maximum and pull the handles inside.
    void set_minimum(int value);
    void set_maximum(int value);

    int lower() const { return lower_; }
    int upper() const { return upper_; }
    // From the program: clamped into the scale, a reversed pair is put in order.
    void set_values(int lower, int upper);

    int scale_marks() const { return scale_marks_; }
    void set_scale_marks(int count);

    Handle active_handle() const { return active_; }
    void set_active_handle(Handle handle);

    // Scale geometry, in widget coordinates.
    int position_of(int value) const;
    int value_at(int x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // Any change of either value, by the program or by the operator.
    void rangeChanged(int lower, int upper);
    // Only the operator's moves.
    void rangeMoved(int lower, int upper);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void move_handle(Handle handle, int value);
    void apply(int lower, int upper, bool by_operator);
    int page_step() const;
    int track_left() const;
    int track_right() const;
    QRect handle_rect(Handle handle) const;
    Handle handle_at(const QPoint& point) const;
    void paint_scale(class QPainter& p) const;
    void paint_handle(class QPainter& p, Handle handle) const;

    int minimum_ = 0;
    int maximum_ = 100;
    int lower_ = 0;
    int upper_ = 100;
    int scale_marks_ = 20;
    Handle active_ = Handle::lower;
    Handle dragged_ = Handle::none;
    bool tie_ = false;     // both handles under the press: the first move decides
    int drag_offset_ = 0;  // press point minus handle centre, so the handle does not jump
};

}  // namespace vetra::widgets::ui
