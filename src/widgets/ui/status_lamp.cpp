#include "widgets/ui/status_lamp.h"

#include <QPainter>

namespace vetra::widgets::ui {
namespace {

QFont text_font(const QFont& base, bool alarm) {
    QFont f = base;
    f.setBold(alarm);
    return f;
}

}  // namespace

StatusLamp::StatusLamp(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void StatusLamp::set_state(const QColor& lamp, const QString& text, bool alarm) {
    if (lamp == lamp_ && text == text_ && alarm == alarm_) {
        return;
    }
    const bool longer = text.size() != text_.size() || alarm != alarm_;
    lamp_ = lamp;
    text_ = text;
    alarm_ = alarm;
    if (longer) {
        updateGeometry();
    }
    update();
}

QSize StatusLamp::sizeHint() const {
    const QFontMetrics fm(text_font(font(), alarm_));
    return {fm.height() + fm.horizontalAdvance(text_) + fm.averageCharWidth(), fm.height()};
}

QSize StatusLamp::minimumSizeHint() const {
    const QFontMetrics fm(text_font(font(), alarm_));
    return {fm.height() + fm.horizontalAdvance(QStringLiteral("Газосум…")), fm.height()};
}

void StatusLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont f = text_font(font(), alarm_);
    const QFontMetrics fm(f);
    const int d = fm.height() * 6 / 10;
    const int y = (height() - d) / 2;
    if (lamp_.isValid()) {
        p.setPen(lamp_.darker(150));
        p.setBrush(lamp_);
        p.drawEllipse(QRect(2, y, d, d));
    }
    p.setFont(f);
    p.setPen(alarm_ ? QColor(0xB0, 0x00, 0x00) : palette().color(QPalette::WindowText));
    const int x = d + fm.averageCharWidth();
    const QRect text_rect(x, 0, width() - x, height());
    p.drawText(text_rect, Qt::AlignVCenter | Qt::AlignLeft,
               fm.elidedText(text_, Qt::ElideRight, text_rect.width()));
}

}  // namespace vetra::widgets::ui
