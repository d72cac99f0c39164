#include "display/ui/totalizer_chart_panel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "display/ui/chromatogram_painter.h"
#include "library/number_text.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"

namespace vetra::display::ui {
namespace {

struct NamedColour {
    const char* name;
    settings::Colour value;
};
constexpr NamedColour kNamedColours[] = {
    {"clBlack", 0x000000},  {"clMaroon", 0x000080},  {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000},   {"clPurple", 0x800080},  {"clTeal", 0x808000},  {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},     {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},  {"clWhite", 0xFFFFFF},
};

QString fixed(double value, int decimals) {
    char text[400];  // not printf, whose separator follows the process locale
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    QString s = QString::fromLatin1(text, static_cast<int>(end - text));
    s.replace('.', QChar(library::decimal_separator()));
    return s;
}

QLabel* cursor_label(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

}  // namespace

std::string colour_name_text(settings::Colour colour) {
    for (const auto& c : kNamedColours) {
        if (c.value == colour) {
            return c.name;
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(colour));
    return text;
}

std::optional<settings::Colour> parse_colour_name(std::string_view text) {
    for (const auto& c : kNamedColours) {
        if (text == c.name) {
            return c.value;
        }
    }
    const bool hex = !text.empty() && text.front() == '$';
    const std::string digits(hex ? text.substr(1) : text);
    if (digits.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long long v = std::strtoll(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || v < INT32_MIN || v > 0xFFFFFFFFLL) {
        return std::nullopt;
    }
    return static_cast<settings::Colour>(static_cast<std::uint32_t>(v));
}

void write_curve_settings(settings::IniFile& file, settings::Colour colour, int width) {
    file.write_string(kCurveSection, "color", colour_name_text(colour));
    file.write_integer(kCurveSection, "width", width);
}

TotalizerChartPanel::TotalizerChartPanel(QWidget* parent) : QGroupBox("Газосумматор", parent) {
    setObjectName("totalizer_chart");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(3);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    for (int i = 0; i < kTotalizerSpanCount; ++i) {
        ComboBox1->addItem(QString::fromUtf8(totalizer_span_text(i)));
    }
    ComboBox1->setToolTip("Время на графике");
    cbScale = new QComboBox(this);
    cbScale->setObjectName("cbScale");
    for (int i = 0; i < kTotalizerScaleCount; ++i) {
        cbScale->addItem(QString::fromUtf8(totalizer_scale_text(i)));
    }
    cbScale->setToolTip("Шкала: по показаниям на графике или постоянная");
    auto* lists = new QHBoxLayout();
    lists->setSpacing(3);
    lists->addWidget(ComboBox1, 1);
    lists->addWidget(cbScale, 1);
    column->addLayout(lists);

    auto* area = new QHBoxLayout();
    area->setSpacing(1);
    pbSummChart = new TTotalizerChart(this);
    pbSummChart->setToolTip("Суммарный газ");
    area->addWidget(pbSummChart, 1);
    sbar = new QScrollBar(Qt::Vertical, this);
    sbar->setObjectName("sbar");
    area->addWidget(sbar);
    column->addLayout(area, 1);

    auto* cursor = new QGroupBox("Курсор", this);
    auto* rows = new QVBoxLayout(cursor);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(0);
    cursor_time_ = cursor_label(cursor);
    cursor_depth_ = cursor_label(cursor);
    cursor_value_ = cursor_label(cursor);
    rows->addWidget(cursor_time_);
    rows->addWidget(cursor_depth_);
    rows->addWidget(cursor_value_);
    column->addWidget(cursor);
    show_cursor();

    connect(ComboBox1, &QComboBox::currentIndexChanged, this,
            &TotalizerChartPanel::ComboBox1Change);
    connect(cbScale, &QComboBox::currentIndexChanged, this, [this](int index) {
        StripStyle s = pbSummChart->style();
        s.scale_index = std::max(0, index);
        pbSummChart->set_style(s);
    });
    connect(sbar, &QScrollBar::valueChanged, this, &TotalizerChartPanel::sbarVertScroll);
    connect(pbSummChart, &TTotalizerChart::cursor_moved, this, &TotalizerChartPanel::show_cursor);
    connect(pbSummChart, &TTotalizerChart::back_to_newest, this, [this] {
        following_ = true;
        refresh();
    });
}

void TotalizerChartPanel::set_log(const analysis::TotalizerLog* log) {
    log_ = log;
    pbSummChart->set_log(log);
    refresh();
}

void TotalizerChartPanel::set_curve(QColor colour, int width) {
    StripStyle s = pbSummChart->style();
    s.curve = colour;
    s.curve_width = width;
    pbSummChart->set_style(s);
}

void TotalizerChartPanel::set_background(QColor colour) {
    StripStyle s = pbSummChart->style();
    s.background = colour;
    pbSummChart->set_style(s);
}

int TotalizerChartPanel::span_index() const {
    return ComboBox1->currentIndex();
}

void TotalizerChartPanel::set_span_index(int index) {
    const int valid = index >= 0 && index < kTotalizerSpanCount ? index : 0;
    if (ComboBox1->currentIndex() == valid) {
        ComboBox1Change(valid);  // as if the list had been changed
    } else {
        ComboBox1->setCurrentIndex(valid);
    }
}

void TotalizerChartPanel::ComboBox1Change(int index) {
    following_ = true;
    pbSummChart->set_offset(0.0);
    pbSummChart->set_span(totalizer_span_days(index));
    refresh();
}

int TotalizerChartPanel::log_seconds() const {
    if (!log_ || log_->size() < 2) {
        return 0;
    }
    const double days = log_->time(log_->size() - 1) - log_->time(0) - pbSummChart->span();
    return std::max(0, static_cast<int>(std::lround(days * 86400.0)));
}

void TotalizerChartPanel::refresh() {
    const int range = log_seconds();
    // Reading the past, the view stays on its moment while new readings arrive.
    double offset = 0.0;
    if (!following_ && log_ && !log_->empty()) {
        offset = std::max(0.0, log_->time(log_->size() - 1) - anchor_);
    }
    {
        const QSignalBlocker block(sbar);
        sbar->setRange(0, range);
        sbar->setPageStep(std::max(1, static_cast<int>(pbSummChart->span() * 86400.0)));
        sbar->setValue(std::max(0, range - static_cast<int>(std::lround(offset * 86400.0))));
    }
    pbSummChart->set_offset(offset);
    show_cursor();
}

void TotalizerChartPanel::sbarVertScroll(int value) {
    following_ = value >= sbar->maximum();
    const double offset = (sbar->maximum() - value) * library::kSecondInDays;
    if (log_ && !log_->empty()) {
        anchor_ = log_->time(log_->size() - 1) - offset;
    }
    pbSummChart->set_offset(offset);
}

void TotalizerChartPanel::show_cursor() {
    const auto i = pbSummChart->cursor_record();
    if (!i) {
        cursor_time_->setText("Время:");
        cursor_depth_->setText("Глубина:");
        cursor_value_->setText("Сумм. газ:");
        return;
    }
    const library::LocalTime t =
        library::from_day_number(log_->time(*i) + 0.5 * library::kSecondInDays);
    cursor_time_->setText(QString::asprintf("Время: %02d:%02d:%02d", t.hour, t.minute, t.second));
    cursor_depth_->setText("Глубина: " + fixed(log_->depth(*i), 2));
    cursor_value_->setText("Сумм. газ: " + fixed(log_->value(*i), 3));
}

QString TotalizerChartPanel::cursor_text() const {
    return cursor_time_->text() + "\n" + cursor_depth_->text() + "\n" + cursor_value_->text();
}

void TotalizerChartPanel::start_up(const analysis::TotalizerLog* log,
                                   const settings::GlobalSettings& settings,
                                   const std::string& settings_path) {
    set_log(log);
    set_span_index(settings.win_mashtab);
    set_curve(to_qcolor(settings.curve_colour), settings.curve_width);
    set_background(to_qcolor(settings.background_colour));
    settings::IniFile file;
    if (file.open(settings_path)) {
        load_settings(file);
    }
}

void TotalizerChartPanel::apply_settings(const settings::GlobalSettings& settings,
                                         const std::string& settings_path) {
    set_curve(to_qcolor(settings.curve_colour), settings.curve_width);
    set_background(to_qcolor(settings.background_colour));
    settings::IniFile file;
    if (file.open(settings_path)) {
        write_curve_settings(file, settings.curve_colour, settings.curve_width);
        (void)file.save();
        load_settings(file);
    }
}

void TotalizerChartPanel::save_to(const std::string& settings_path) const {
    settings::IniFile file;
    if (file.open(settings_path)) {
        save_settings(file);
        (void)file.save();
    }
}

void TotalizerChartPanel::load_settings(const settings::IniFile& file) {
    StripStyle s = pbSummChart->style();
    s.gap_seconds = std::clamp(
        file.read_integer(kChartSection, "gap_seconds", static_cast<int>(s.gap_seconds)), 1, 86400);
    if (const auto c = parse_colour_name(file.read_string(kCurveSection, "color", ""))) {
        s.curve = to_qcolor(*c);
    }
    s.curve_width = std::clamp(file.read_integer(kCurveSection, "width", s.curve_width), 1, 10);
    s.scale_index = file.read_integer(kChartSection, "scale", s.scale_index);
    if (s.scale_index < 0 || s.scale_index >= kTotalizerScaleCount) {
        s.scale_index = 0;
    }
    pbSummChart->set_style(s);
    const QSignalBlocker block(cbScale);
    cbScale->setCurrentIndex(s.scale_index);
}

void TotalizerChartPanel::save_settings(settings::IniFile& file) const {
    const StripStyle& s = pbSummChart->style();
    file.write_integer(kChartSection, "gap_seconds", static_cast<int>(s.gap_seconds));
    file.write_integer(kChartSection, "scale", s.scale_index);
    const QColor c = s.curve;
    write_curve_settings(file, c.red() | c.green() << 8 | c.blue() << 16, s.curve_width);
}

}  // namespace vetra::display::ui
