#include "app/ui/workstation_status_bar.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>
#include <vector>

#include "widgets/ui/status_lamp.h"

namespace vetra::app::ui {
namespace {

QColor lamp_colour(Health health) {
    switch (health) {
        case Health::ok:
            return {0x2E, 0xA0, 0x43};
        case Health::waiting:
            return {0xE8, 0xA3, 0x17};
        case Health::fault:
            return {0xD3, 0x2F, 0x2F};
        case Health::off:
            break;
    }
    return {};
}

}  // namespace

WorkstationStatusBar::WorkstationStatusBar(const WorkstationStatus& status, QWidget* parent)
    : QStatusBar(parent), status_(status) {
    setObjectName("StatusBar1");
    setFixedHeight(line_height());
    setSizeGripEnabled(true);
    // Permanent: a hint shown at the left never covers the state.
    panel_ = new QWidget(this);
    auto* lines = new QVBoxLayout(panel_);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(0);
    for (auto*& line : lines_) {
        line = new QHBoxLayout();
        line->setSpacing(kSpacing);
        line->addStretch(1);
        lines->addLayout(line);
    }
    addPermanentWidget(panel_);
    const char* names[kFieldCount] = {"statusChromatograph", "statusMode",    "statusAnalysis",
                                      "statusTotalizer",     "statusStation", "statusWits",
                                      "statusFiles"};
    for (int i = 0; i < kFieldCount; ++i) {
        lamps_[i] = new widgets::ui::StatusLamp(panel_);
        lamps_[i]->setObjectName(names[i]);
    }
    show_lamp_ = new widgets::ui::StatusLamp(this);
    show_lamp_->setObjectName("statusShow");
    show_lamp_->setCursor(Qt::PointingHandCursor);
    show_lamp_->installEventFilter(this);
    show_lamp_->hide();
    addPermanentWidget(show_lamp_);
    refresh();
}

void WorkstationStatusBar::refresh() {
    const StatusField fields[kFieldCount] = {
        status_.chromatograph(), status_.mode(), status_.last_analysis(), status_.totalizer(),
        status_.station(),       status_.wits(), status_.files()};
    bool resized = false;
    for (int i = 0; i < kFieldCount; ++i) {
        const StatusField& f = fields[i];
        health_[i] = f.health;
        auto* lamp = lamps_[i];
        const QSize before = lamp->isVisible() ? lamp->sizeHint() : QSize();
        lamp->setVisible(f.health != Health::off);
        lamp->set_state(lamp_colour(f.health), QString::fromStdString(f.text),
                        f.health == Health::fault);
        const QString tip = QString::fromStdString(f.detail.empty() ? f.text : f.detail);
        if (lamp->toolTip() != tip) {
            lamp->setToolTip(tip);
        }
        resized = resized || (lamp->isVisible() ? lamp->sizeHint() : QSize()) != before;
    }
    if (resized) {
        reflow();
    }
}

int WorkstationStatusBar::line_height() const {
    return QFontMetrics(font()).height() + 6;
}

// As many lines as the fields need to stay whole beside room for a hint, filled in order:
// no state is ever cut.
void WorkstationStatusBar::reflow() {
    const int mark = show_lamp_ == nullptr || show_lamp_->isHidden()
                         ? 0
                         : show_lamp_->sizeHint().width() + kSpacing;
    const int room = std::max(width() - kHintRoom - mark, 1);
    int line = 0;
    int used = 0;
    for (auto* lamp : lamps_) {
        for (auto* l : lines_) {
            l->removeWidget(lamp);
        }
        if (lamp->isHidden()) {
            continue;
        }
        const int w = lamp->sizeHint().width() + kSpacing;
        if (used > 0 && used + w > room && line + 1 < kFieldCount) {
            ++line;
            used = 0;
        }
        used += w;
        // Before the line's closing stretch, so the fields keep to the left.
        lines_[line]->insertWidget(lines_[line]->count() - 1, lamp);
    }
    setFixedHeight(line_height() * (line + 1));
    // At once, not at the next pass of the event loop: a picture taken now shows it whole.
    panel_->layout()->activate();
    if (layout()) {
        layout()->activate();
    }
}

void WorkstationStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    if (event->oldSize().width() != event->size().width()) {
        reflow();
    }
}

void WorkstationStatusBar::showEvent(QShowEvent* event) {
    refresh();
    QStatusBar::showEvent(event);
}

QString WorkstationStatusBar::text(Field field) const {
    return health_[field] == Health::off ? QString() : lamps_[field]->text();
}

Health WorkstationStatusBar::health(Field field) const {
    return health_[field];
}

void WorkstationStatusBar::set_show_mark(int unacknowledged, const QString& last_show) {
    const bool on = unacknowledged > 0;
    if (on == show_lamp_->isVisible() && (!on || show_lamp_->toolTip().startsWith(last_show))) {
        return;
    }
    show_lamp_->set_state(lamp_colour(Health::fault), on ? "Газ!" : QString(), on);
    show_lamp_->setToolTip(
        on ? last_show +
                 (unacknowledged > 1 ? QString("\nи ещё газопоказаний: %1").arg(unacknowledged - 1)
                                     : QString()) +
                 "\nЩелчок — звук выключить"
           : QString());
    show_lamp_->setVisible(on);
    reflow();
}

QString WorkstationStatusBar::show_mark_text() const {
    return show_lamp_->isVisible() ? show_lamp_->text() : QString();
}

bool WorkstationStatusBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == show_lamp_ && event->type() == QEvent::MouseButtonPress) {
        if (show_acknowledged) {
            show_acknowledged();
        }
        return true;
    }
    return QStatusBar::eventFilter(watched, event);
}

}  // namespace vetra::app::ui
