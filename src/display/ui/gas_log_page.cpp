#include "display/ui/gas_log_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "library/format_auto.h"
#include "settings/ini_file.h"

namespace vetra::display::ui {
namespace {

constexpr int kFreeIndex = 3;
constexpr double kMinScale = 20.0;
constexpr double kMaxScale = 100000.0;
constexpr double kScrollUnit = 0.1;   // the scroll bar counts decimetres
constexpr double kFollowShare = 0.8;  // the newest depth sits this far down the view

QString percent_text(double v) {
    return QString::fromStdString(library::formatAuto(v, 4));
}

}  // namespace

GasLogCanvas::GasLogCanvas(GasLogPage& page) : QWidget(&page), page_(page) {
    setObjectName("gas_log_canvas");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
}

void GasLogCanvas::paintEvent(QPaintEvent*) {
    if (page_.log_ != nullptr) {
        page_.totalizer_background_.update(*page_.log_, page_.rows_.show_parameters());
        page_.view_.totalizer_background = &page_.totalizer_background_;
    }
    QPainter p(this);
    paint_gas_log(p, rect(), page_.model_, page_.log_, page_.view_);
}

void GasLogCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        page_.set_cursor(gas_log_depth_at(fontMetrics(), rect(), page_.view_,
                                          static_cast<int>(event->position().y())));
    }
}

void GasLogCanvas::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (event->modifiers() & Qt::ControlModifier) {
        page_.zoom(std::pow(1.25, -steps));
    } else {
        page_.scroll_to(page_.view_.top - steps * page_.visible_metres() / 10.0);
    }
    event->accept();
}

void GasLogCanvas::resizeEvent(QResizeEvent*) {
    page_.update_view();
}

GasLogPage::GasLogPage(const GasLogRows& rows, const analysis::TotalizerLog* log, QWidget* parent)
    : QWidget(parent), rows_(rows), log_(log) {
    setObjectName("GasLogPage");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel("Масштаб:", this));
    scale_box_ = new QComboBox(this);
    scale_box_->setObjectName("scale_box");
    for (const int s : kGasLogScales) {
        scale_box_->addItem(QString("1:%1").arg(s));
    }
    scale_box_->addItem("Свободный");
    bar->addWidget(scale_box_);
    const auto zoom_button = [&](const QString& text, double factor) {
        auto* b = new QToolButton(this);
        b->setText(text);
        connect(b, &QToolButton::clicked, this, [this, factor] { zoom(factor); });
        bar->addWidget(b);
    };
    zoom_button("+", 1 / 1.5);
    zoom_button("-", 1.5);
    drilling_box_ = new QCheckBox("только бурение", this);
    drilling_box_->setObjectName("drilling_box");
    drilling_box_->setChecked(true);
    bar->addWidget(drilling_box_);
    const char* track_names[3] = {"Сумм. газ", "Газы", "Отношения"};
    for (int t = 0; t < 3; ++t) {
        track_boxes_[t] = new QCheckBox(track_names[t], this);
        track_boxes_[t]->setChecked(true);
        bar->addWidget(track_boxes_[t]);
        connect(track_boxes_[t], &QCheckBox::toggled, this, [this] {
            set_tracks({track_boxes_[0]->isChecked(), track_boxes_[1]->isChecked(),
                        track_boxes_[2]->isChecked()});
        });
    }
    bar->addStretch(1);
    follow_button_ = new QPushButton("К забою", this);
    follow_button_->setObjectName("follow_button");
    follow_button_->setToolTip("Показывать последнюю глубину по мере бурения");
    bar->addWidget(follow_button_);
    print_button_ = new QPushButton("Распечатать...", this);
    print_button_->setObjectName("print_button");
    bar->addWidget(print_button_);
    layout->addLayout(bar);

    auto* body = new QHBoxLayout;
    canvas_ = new GasLogCanvas(*this);
    body->addWidget(canvas_, 1);
    scroll_ = new QScrollBar(Qt::Vertical, this);
    body->addWidget(scroll_);
    layout->addLayout(body, 1);
    readout_ = new QLabel(this);
    readout_->setObjectName("readout");
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(readout_);

    view_.dots_per_cm = canvas_->logicalDpiY() / 2.54;
    scale_box_->setCurrentIndex(1);
    connect(scale_box_, &QComboBox::currentIndexChanged, this, &GasLogPage::ScaleChange);
    connect(drilling_box_, &QCheckBox::toggled, this, &GasLogPage::set_drilling_only);
    connect(follow_button_, &QPushButton::clicked, this, &GasLogPage::follow_newest);
    connect(print_button_, &QPushButton::clicked, this, &GasLogPage::print_requested);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!updating_) {
            scroll_to(value * kScrollUnit);
        }
    });
    model_.update(rows_);
    follow_newest();
}

double GasLogPage::visible_metres() const {
    const int head = gas_log_head_height(canvas_->fontMetrics());
    return std::max(1, canvas_->height() - head) / view_.axis().pixels_per_metre;
}

void GasLogPage::refresh() {
    if (model_.update(rows_)) {
        update_view();
        show_cursor();
    }
}

void GasLogPage::update_view() {
    if (scroll_ == nullptr) {
        return;  // still being built
    }
    if (following_) {
        if (const auto newest = model_.newest_depth()) {
            view_.top = *newest - visible_metres() * kFollowShare;
        }
    }
    follow_button_->setEnabled(!following_);
    update_scroll_bar();
    canvas_->update();
}

void GasLogPage::update_scroll_bar() {
    updating_ = true;
    const double low = model_.shallowest().value_or(0.0);
    const double high = model_.deepest().value_or(0.0);
    const double span = visible_metres();
    const int lo = static_cast<int>(std::floor(std::min(low - span, view_.top) / kScrollUnit));
    const int hi = static_cast<int>(std::ceil(std::max(high, view_.top) / kScrollUnit));
    scroll_->setRange(lo, hi);
    scroll_->setPageStep(std::max(1, static_cast<int>(span / kScrollUnit)));
    scroll_->setSingleStep(std::max(1, static_cast<int>(span / kScrollUnit / 20)));
    scroll_->setValue(static_cast<int>(std::lround(view_.top / kScrollUnit)));
    updating_ = false;
}

void GasLogPage::ScaleChange(int index) {
    if (index >= 0 && index < kFreeIndex) {
        set_scale(kGasLogScales[index]);
    }
}

void GasLogPage::set_scale(double scale) {
    if (!(scale > 0)) {
        return;
    }
    scale = std::clamp(scale, kMinScale, kMaxScale);
    // Keep the depth at the middle of the view where it is.
    const double middle = view_.top + visible_metres() / 2;
    view_.scale = scale;
    view_.top = middle - visible_metres() / 2;
    const auto* named =
        std::find(std::begin(kGasLogScales), std::end(kGasLogScales), static_cast<int>(scale));
    const int index = named != std::end(kGasLogScales) && *named == scale
                          ? static_cast<int>(named - std::begin(kGasLogScales))
                          : kFreeIndex;
    if (scale_box_->currentIndex() != index) {
        const QSignalBlocker block(scale_box_);
        scale_box_->setCurrentIndex(index);
    }
    update_view();
}

void GasLogPage::zoom(double factor) {
    set_scale(view_.scale * factor);
}

void GasLogPage::set_drilling_only(bool on) {
    view_.drilling_only = on;
    if (drilling_box_->isChecked() != on) {
        const QSignalBlocker block(drilling_box_);
        drilling_box_->setChecked(on);
    }
    canvas_->update();
    show_cursor();
}

void GasLogPage::set_tracks(const GasLogTracks& tracks) {
    view_.tracks = tracks;
    const bool shown[3] = {tracks.total, tracks.gases, tracks.ratios};
    for (int t = 0; t < 3; ++t) {
        const QSignalBlocker block(track_boxes_[t]);
        track_boxes_[t]->setChecked(shown[t]);
    }
    canvas_->update();
}

void GasLogPage::scroll_to(double depth) {
    following_ = false;
    view_.top = depth;
    update_view();
}

void GasLogPage::follow_newest() {
    following_ = true;
    update_view();
}

void GasLogPage::set_shows(const std::vector<analysis::GasShow>* shows) {
    view_.shows = shows;
    canvas_->update();
}

void GasLogPage::set_cursor(std::optional<double> depth) {
    view_.cursor = depth;
    canvas_->update();
    show_cursor();
}

void GasLogPage::show_cursor() {
    readout_->setText(cursor_text());
}

QString GasLogPage::cursor_text() const {
    if (!view_.cursor) {
        return "Щёлкните по каротажу, чтобы прочитать значения на глубине";
    }
    QStringList parts{"Глубина: " + number_text(*view_.cursor, 1) + " м"};
    if (log_ != nullptr) {
        if (const auto i = totalizer_record_at(*log_, *view_.cursor, view_.drilling_only)) {
            QString text = "Сумм. газ: " + percent_text(log_->value(*i)) + " % (" +
                           number_text(log_->depth(*i), 1) + " м";
            if (const float b = totalizer_background_.at(*i); !std::isnan(b)) {
                text += ", фон " + percent_text(b) + " %";
            }
            parts << text + ")";
        }
    }
    GasLogSample s;
    const auto row = model_.nearest_row(*view_.cursor, view_.drilling_only);
    if (row && rows_.read(*row, s)) {
        parts << "Анализ на " + number_text(s.depth, 1) + " м, " +
                     QString::fromStdString(rows_.stamp_text(s.stamp)).trimmed();
        std::vector<analysis::CodedValue> coded;
        for (int g = 0; g < model_.gas_count(); ++g) {
            const auto& gas = model_.gases()[static_cast<std::size_t>(g)];
            const float v = s.gases[static_cast<std::size_t>(g)];
            parts << QString::fromStdString(gas.code.empty() ? gas.name : gas.code) + ": " +
                         percent_text(v);
            coded.push_back({gas.code, v});
        }
        if (std::isfinite(s.total)) {
            parts << "сумм_газ: " + percent_text(s.total);
        }
        if (const auto b = model_.background(*row)) {
            parts << "фон: " + percent_text(*b);
        }
        const auto r = analysis::gas_ratios(analysis::light_gases(coded));
        const auto ratio = [&](const char* name, const std::optional<double>& v) {
            parts << QString(name) + ": " + (v ? number_text(*v, 2) : QString("-"));
        };
        ratio("Wh", r.wetness);
        ratio("Bh", r.balance);
        ratio("Ch", r.character);
        const std::string hint = analysis::fluid_character_hint(r);
        if (!hint.empty()) {
            parts << QString::fromStdString(hint);
        }
    }
    return parts.join("   ");
}

void GasLogPage::load_settings(const settings::IniFile& file) {
    const int scale = file.read_integer(kGasLogSection, "масштаб", 500);
    set_drilling_only(file.read_bool(kGasLogSection, "только_бурение", true));
    set_tracks({file.read_bool(kGasLogSection, "сумм_газ", true),
                file.read_bool(kGasLogSection, "газы", true),
                file.read_bool(kGasLogSection, "отношения", true)});
    set_scale(scale > 0 ? scale : 500);
}

void GasLogPage::save_settings(settings::IniFile& file) const {
    file.write_integer(kGasLogSection, "масштаб", static_cast<int>(std::lround(view_.scale)));
    file.write_bool(kGasLogSection, "только_бурение", view_.drilling_only);
    file.write_bool(kGasLogSection, "сумм_газ", view_.tracks.total);
    file.write_bool(kGasLogSection, "газы", view_.tracks.gases);
    file.write_bool(kGasLogSection, "отношения", view_.tracks.ratios);
}

}  // namespace vetra::display::ui
