#include "analysis/ui/tgaz_time_form.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/gaz_list.h"
#include "library/lock_object.h"
#include "widgets/ui/range_selector.h"

namespace vetra::analysis::ui {
namespace {

int whole_seconds(float t) {
    return static_cast<int>(std::trunc(static_cast<double>(t) + 0.5));
}

}  // namespace

TGazTimeForm::TGazTimeForm(analysis::GazList& gases, library::LockObject& data_lock,
                           boost::signals2::signal<void()>& windows_changed,
                           std::function<int()> screen_seconds, QWidget* parent)
    : QWidget(parent, Qt::Tool),
      gases_(gases),
      data_lock_(data_lock),
      windows_changed_(windows_changed),
      screen_seconds_(std::move(screen_seconds)),
      gazes_(new QComboBox(this)),
      range_(new widgets::ui::RangeSelector(this)),
      range_label_(new QLabel(this)),
      overlap_label_(new QLabel(this)) {
    setWindowTitle(QStringLiteral(" Корректировка времени выхода газа"));
    setWindowModality(Qt::NonModal);
    setObjectName(QStringLiteral("TGazTimeForm"));
    gazes_->setObjectName(QStringLiteral("cbGazes"));
    range_->setObjectName(QStringLiteral("Range"));
    range_label_->setObjectName(QStringLiteral("lbRange"));
    overlap_label_->setObjectName(QStringLiteral("lbOverlap"));
    overlap_label_->setWordWrap(true);
    overlap_label_->setStyleSheet(QStringLiteral("color: #b00000"));
    overlap_label_->hide();
    range_->set_scale_marks(20);
    range_label_->setAlignment(Qt::AlignCenter);
    range_label_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    range_label_->setMargin(2);
    range_label_->setMinimumWidth(range_label_->fontMetrics().horizontalAdvance("0000 - 0000") + 8);

    auto* name = new QLabel(QStringLiteral("Название газа"), this);
    auto* top = new QHBoxLayout;
    top->addWidget(name);
    top->addWidget(gazes_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(range_, 1);
    bottom->addWidget(range_label_, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
    layout->addWidget(overlap_label_);
    setMinimumWidth(460);

    connect(gazes_, &QComboBox::currentIndexChanged, this, [this] { cbGazesChange(); });
    // Only the operator's moves change a window; showing a gas does not.
    connect(range_, &widgets::ui::RangeSelector::rangeMoved, this,
            [this](int a, int b) { RangeChange(a, b); });
}

void TGazTimeForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
    if (!placed_) {
        placed_ = true;
        place_over_plot();
    }
}

// At the top right of the main window's client area, below its menu and tool bar, so it
// neither hides "Запуск" nor the gas windows along the bottom of the chromatogram. Stays on
// the screen however the main window lies.
void TGazTimeForm::place_over_plot() {
    auto* main = qobject_cast<QMainWindow*>(parentWidget());
    if (main == nullptr || main->centralWidget() == nullptr) {
        return;
    }
    adjustSize();
    QWidget* client = main->centralWidget();
    const QRect area(client->mapToGlobal(QPoint(0, 0)), client->size());
    const QSize frame = frameGeometry().size();
    const int margin = fontMetrics().height();
    QPoint at(area.right() - frame.width() - margin, area.top() + 2 * margin);
    if (const QScreen* s = main->screen()) {
        const QRect room = s->availableGeometry();
        at.setX(
            std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - frame.width())));
        at.setY(
            std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - frame.height())));
    }
    move(at);
}

void TGazTimeForm::FormShow() {
    range_->set_maximum(screen_seconds_ ? screen_seconds_() : 120);
    // The entries are filled once; later changes of the gas list do not refill them.
    if (gazes_->count() > 0) {
        return;
    }
    {
        const QSignalBlocker quiet(gazes_);
        for (int i = 0; i < gases_.count(); ++i) {
            const GazOption& gas = gases_.gas(i);
            gazes_->addItem(QString::fromStdString(gas.name + " (" + gas.code + ")"));
        }
        if (gazes_->count() > 0) {
            gazes_->setCurrentIndex(0);
        }
    }
    cbGazesChange();
}

void TGazTimeForm::cbGazesChange() {
    overlap_label_->hide();
    const int index = gazes_->currentIndex();
    // The list may have shrunk since the entries were made.
    const bool selected = index >= 0 && index < gases_.count();
    range_->setEnabled(selected);
    range_label_->setEnabled(selected);
    if (!selected) {
        return;
    }
    int a = 0;
    int b = 0;
    {
        library::ScopedLock lock(data_lock_);
        const GazOption& gas = gases_.gas(index);
        a = whole_seconds(gas.work_start);
        b = whole_seconds(gas.work_end);
    }
    range_->set_values(a, b);
    update_label();
}

// A move into another gas's window is refused: the window stays, the handles go back to it
// and the label under them names both gases. Not a message box, which would break the drag.
void TGazTimeForm::RangeChange(int a, int b) {
    const int index = gazes_->currentIndex();
    if (index >= 0 && index < gases_.count()) {
        std::string refusal;
        int back_a = 0;
        int back_b = 0;
        {
            library::ScopedLock lock(data_lock_);
            const auto start = static_cast<float>(a);
            const auto end = static_cast<float>(b);
            if (const auto other = new_window_overlap(gases_.gases(), index, start, end)) {
                GazOption moved = gases_.gas(index);
                moved.start = start;
                moved.end = end;
                refusal = window_overlap_message(moved, gases_.gas(*other));
                back_a = whole_seconds(gases_.gas(index).work_start);
                back_b = whole_seconds(gases_.gas(index).work_end);
            } else {
                gases_.setWindow(index, start, end);
            }
        }
        if (refusal.empty()) {
            overlap_label_->hide();
            windows_changed_();
        } else {
            range_->set_values(back_a, back_b);
            overlap_label_->setText(QString::fromStdString(refusal));
            overlap_label_->show();
        }
    }
    update_label();
}

void TGazTimeForm::update_label() {
    range_label_->setText(QString::number(range_->lower()) + QStringLiteral(" - ") +
                          QString::number(range_->upper()));
}

}  // namespace vetra::analysis::ui
