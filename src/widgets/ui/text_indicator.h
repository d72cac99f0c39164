#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace vetra::widgets::ui {

// A sunken text panel of the instrument's tool bar: the text centred on a vertical
// gradient, drawn by hand so that it looks the same on every platform style.
class TextIndicator : public QWidget {
    Q_OBJECT
public:
    explicit TextIndicator(QWidget* parent = nullptr);

    void SetCaption(const QString& text);
    QString caption() const { return caption_; }
    // Top and bottom colours of the gradient; the text colour follows their brightness.
    void SetGradient(const QColor& top, const QColor& bottom);
    void SetTextColour(const QColor& colour);
    void SetBold(bool bold);
    void SetAlignment(Qt::Alignment alignment);
    // The widest text the panel must hold without clipping.
    void SetSampleText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QString sample_;
    QColor top_{0xF4, 0xF4, 0xF0};
    QColor bottom_{0xDC, 0xDC, 0xD4};
    QColor text_colour_;
    bool bold_ = false;
    Qt::Alignment alignment_ = Qt::AlignCenter;
};

}  // namespace vetra::widgets::ui
