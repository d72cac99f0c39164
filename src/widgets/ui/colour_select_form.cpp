#include "widgets/ui/colour_select_form.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace vetra::widgets::ui {

QColor colour_of(std::int32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

std::int32_t windows_colour_of(const QColor& colour) {
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

// Black, maroon, green, olive, navy, purple, teal, grey; silver, red, lime, yellow, blue,
// fuchsia, aqua, white.
const std::int32_t ColourSelectForm::kStandardColours[16] = {
    0,        128, 32768, 32896, 8388608,  8388736,  8421376,  8421504,
    12632256, 255, 65280, 65535, 16711680, 16711935, 16776960, 16777215};

namespace {

void paint_sample(QWidget* w, std::int32_t colour) {
    w->setStyleSheet(
        QString("background-color: %1; border: 1px solid #404040;").arg(colour_of(colour).name()));
}

}  // namespace

ColourSelectForm::ColourSelectForm(std::int32_t colour, QWidget* parent)
    : QDialog(parent), colour_(colour) {
    setWindowTitle("  Выбор цвета");
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout();
    grid->setSpacing(4);
    for (int i = 0; i < 16; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString("colour%1").arg(i));
        b->setFixedSize(28, 28);
        paint_sample(b, kStandardColours[i]);
        b->setToolTip(QString::number(kStandardColours[i]));
        const std::int32_t c = kStandardColours[i];
        connect(b, &QToolButton::clicked, this, [this, c] { select(c); });
        grid->addWidget(b, i / 8, i % 8);
    }
    layout->addLayout(grid);
    auto* row = new QHBoxLayout();
    row->addWidget(new QLabel("Выбранный цвет:", this));
    sample_ = new QLabel(this);
    sample_->setFixedSize(60, 22);
    row->addWidget(sample_);
    row->addStretch(1);
    auto* other = new QPushButton("Другой цвет...", this);
    other->setAutoDefault(false);
    connect(other, &QPushButton::clicked, this, &ColourSelectForm::custom_colour);
    row->addWidget(other);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText("Отмена");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    select(colour);
}

void ColourSelectForm::select(std::int32_t colour) {
    colour_ = colour & 0xFFFFFF;
    paint_sample(sample_, colour_);
}

void ColourSelectForm::custom_colour() {
    const QColor chosen = QColorDialog::getColor(colour_of(colour_), this, "  Другой цвет");
    if (chosen.isValid()) {
        select(windows_colour_of(chosen));
    }
}

bool choose_colour(QWidget* parent, std::int32_t& colour) {
    ColourSelectForm form(colour, parent);
    if (!form.execute()) {
        return false;
    }
    colour = form.colour();
    return true;
}

ColourSelector::ColourSelector(QWidget* parent) : QPushButton(parent) {
    setMinimumSize(60, 24);
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, [this] {
        std::int32_t c = value_;
        if (chooser_ && chooser_(this, c)) {
            SetValue(c);
            Q_EMIT changed();
        }
    });
    SetValue(0);
}

void ColourSelector::SetValue(std::int32_t colour) {
    value_ = colour;
    paint_sample(this, colour);
}

}  // namespace vetra::widgets::ui
