#include "display/ui/totalizer_reading_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "library/number_text.h"
#include "widgets/ui/text_indicator.h"

namespace vetra::display::ui {

TotalizerReadingPanel::TotalizerReadingPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("Panel1");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 0, 6, 0);
    auto* label = new QLabel("Показания газосумматора", this);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.3);
    f.setBold(true);
    label->setFont(f);
    indiSumm = new widgets::ui::TextIndicator(this);
    indiSumm->setObjectName("indiSumm");
    indiSumm->setFont(f);
    indiSumm->SetSampleText("  0000,000  ");
    indiSumm->SetCaption("0,00");
    indiSumm->SetGradient(QColor(0x10, 0x30, 0x18), QColor(0x08, 0x18, 0x0C));
    indiSumm->SetTextColour(QColor(0x60, 0xFF, 0x80));
    auto* percent = new QLabel("%", this);
    percent->setFont(f);
    row->addWidget(label);
    row->addWidget(indiSumm);
    row->addWidget(percent);
    row->addStretch(1);
}

void TotalizerReadingPanel::SetValue(double value, int decimals) {
    // Not printf: its separator follows the process locale, ours is injected.
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                   std::clamp(decimals, 0, 10))
                         .ptr;
    QString text = QString::fromLatin1(buffer, static_cast<int>(end - buffer));
    text.replace('.', QChar(library::decimal_separator()));
    indiSumm->SetCaption(text);
}

QString TotalizerReadingPanel::text() const {
    return indiSumm->caption();
}

}  // namespace vetra::display::ui
