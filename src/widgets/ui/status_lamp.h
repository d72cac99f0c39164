#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace vetra::widgets::ui {

// A field of a status line: a coloured lamp and a short text beside it. Given less room
// than its text needs, it shortens the text with "…" instead of pushing its neighbours out;
// the whole text is then in the tooltip.
class StatusLamp : public QWidget {
    Q_OBJECT
public:
    explicit StatusLamp(QWidget* parent = nullptr);

    // An invalid colour draws no lamp.
    void set_state(const QColor& lamp, const QString& text, bool alarm);
    QString text() const { return text_; }
    QColor lamp() const { return lamp_; }
    bool alarm() const { return alarm_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor lamp_;
    QString text_;
    bool alarm_ = false;
};

}  // namespace vetra::widgets::ui
