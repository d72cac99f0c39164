#include "widgets/ui/text_indicator.h"

#include <QLinearGradient>
#include <QPainter>

namespace vetra::widgets::ui {

TextIndicator::TextIndicator(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TextIndicator::SetCaption(const QString& text) {
    if (text != caption_) {
        caption_ = text;
        update();
    }
}

void TextIndicator::SetGradient(const QColor& top, const QColor& bottom) {
    if (top != top_ || bottom != bottom_) {
        top_ = top;
        bottom_ = bottom;
        update();
    }
}

void TextIndicator::SetTextColour(const QColor& colour) {
    text_colour_ = colour;
    update();
}

void TextIndicator::SetBold(bool bold) {
    bold_ = bold;
    QFont f = font();
    f.setBold(bold);
    setFont(f);
    updateGeometry();
}

void TextIndicator::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void TextIndicator::SetSampleText(const QString& text) {
    sample_ = text;
    updateGeometry();
}

QSize TextIndicator::sizeHint() const {
    const QFontMetrics fm(font());
    const int text_width = fm.horizontalAdvance(sample_.isEmpty() ? caption_ : sample_);
    return {text_width + 2 * fm.averageCharWidth() + 8, fm.height() + 12};
}

QSize TextIndicator::minimumSizeHint() const {
    return sizeHint();
}

void TextIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    gradient.setColorAt(0, top_);
    gradient.setColorAt(1, bottom_);
    p.fillRect(r, gradient);

    // Sunken bevel: dark above and left, light below and right.
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QColor(0xFF, 0xFF, 0xFF));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    QColor text = text_colour_;
    if (!text.isValid()) {
        const int lightness = (top_.lightness() + bottom_.lightness()) / 2;
        text = lightness < 110 ? Qt::white : Qt::black;
    }
    p.setPen(text);
    p.drawText(r.adjusted(6, 1, -6, -1), static_cast<int>(alignment_ | Qt::AlignVCenter), caption_);
}

}  // namespace vetra::widgets::ui
