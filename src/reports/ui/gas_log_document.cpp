#include "reports/ui/gas_log_document.h"

#include "reports/ui/svg_picture.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace vetra::reports::ui {
namespace {

constexpr int kPdfResolution = 300;
constexpr int kSvgResolution = 254;  // 100 dots a centimetre

}  // namespace

GasLogDocument::GasLogDocument(const display::GasLogModel& model, const analysis::TotalizerLog* log,
                               const display::GasLogRows& rows, GasLogPrintOptions options)
    : model_(model), log_(log), rows_(rows), options_(std::move(options)) {
    if (log_ != nullptr) {
        totalizer_background_.update(*log_, rows_.show_parameters());
    }
    if (options_.to < options_.from) {
        std::swap(options_.from, options_.to);
    }
    if (!(options_.scale > 0)) {
        options_.scale = 500;
    }
    // The dates of the analyses inside the interval.
    std::uint32_t first = 0;
    int last_row = -1;
    display::GasLogSample sample;
    for (int i = 0; i < model_.size(); ++i) {
        const float d = model_.depth(i);
        if (d < options_.from || d > options_.to ||
            (options_.drilling_only && !model_.is_drilling(i))) {
            continue;
        }
        if (first == 0 && rows_.read(i, sample) && sample.stamp != 0) {
            first = sample.stamp;
        }
        last_row = i;
    }
    if (first != 0 && rows_.read(last_row, sample)) {
        dates_ = QString::fromStdString(rows_.stamp_text(first)).trimmed() + " — " +
                 QString::fromStdString(rows_.stamp_text(sample.stamp)).trimmed();
    }
}

void GasLogDocument::set_fonts(QPainter& painter, bool heading) const {
    QFont font("Arial", heading ? 9 : 7);
    painter.setFont(font);
}

void GasLogDocument::layout(QPainter& painter, QSize page, double dots_per_cm) {
    page_ = page;
    dots_per_cm_ = dots_per_cm;
    set_fonts(painter, true);
    const QFontMetrics fm = painter.fontMetrics();
    // Title (twice the height), the well line, the interval line, the head lines, a gap.
    heading_ = fm.height() * (2 + 2 + static_cast<int>(options_.head.size())) + fm.height() / 2 +
               static_cast<int>(std::lround(dots_per_cm * 0.2));
    set_fonts(painter, false);
    track_head_ = display::ui::gas_log_head_height(painter);
    const double ppm = dots_per_cm * 100.0 / options_.scale;
    const int body = std::max(1, page.height() - tracks_top());
    metres_per_page_ = body / ppm;
    const double length = options_.to - options_.from;
    pages_ = std::max(1, static_cast<int>(std::ceil(length / metres_per_page_ - 1e-9)));
}

void GasLogDocument::draw_heading(QPainter& p, double from, double to) const {
    set_fonts(p, true);
    const QFontMetrics fm = p.fontMetrics();
    const int lh = fm.height();
    QFont title = p.font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setBold(true);
    p.save();
    p.setFont(title);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, page_.width(), 2 * lh), Qt::AlignHCenter | Qt::AlignVCenter,
               options_.title);
    p.restore();
    int y = 2 * lh;
    const auto line = [&](const QString& text) {
        p.drawText(QRect(0, y, page_.width(), lh), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += lh;
    };
    line("Скважина: " + options_.well + "    Площадь: " + options_.field +
         "    Масштаб глубин 1:" + QString::number(std::lround(options_.scale)) +
         (options_.drilling_only ? "    только бурение" : ""));
    line("Интервал: " + display::ui::number_text(options_.from, 1) + " — " +
         display::ui::number_text(options_.to, 1) + " м    На листе: " +
         display::ui::number_text(from, 1) + " — " + display::ui::number_text(to, 1) + " м" +
         (dates_.isEmpty() ? QString() : "    Анализы: " + dates_));
    for (const QString& h : options_.head) {
        line(h);
    }
}

void GasLogDocument::render_page(QPainter& p, int index) const {
    const double from = options_.from + index * metres_per_page_;
    const double to = std::min(options_.to, from + metres_per_page_);
    draw_heading(p, from, to);
    set_fonts(p, false);
    const display::ui::GasLogView view = view_from(from);
    // The last page ends at the interval's end, not at the paper's.
    const double ppm = dots_per_cm_ * 100.0 / options_.scale;
    const int body = static_cast<int>(std::ceil((to - from) * ppm));
    display::ui::paint_gas_log(p, QRect(0, heading_, page_.width(), track_head_ + body), model_,
                               log_, view);
}

int GasLogDocument::picture_height() const {
    const double ppm = dots_per_cm_ * 100.0 / options_.scale;
    return tracks_top() + static_cast<int>(std::ceil((options_.to - options_.from) * ppm));
}

void GasLogDocument::render_picture(QPainter& p) const {
    draw_heading(p, options_.from, options_.to);
    set_fonts(p, false);
    display::ui::paint_gas_log(p, QRect(0, heading_, page_.width(), picture_height() - heading_),
                               model_, log_, view_from(options_.from));
}

display::ui::GasLogView GasLogDocument::view_from(double top) const {
    display::ui::GasLogView view;
    view.top = top;
    view.scale = options_.scale;
    view.dots_per_cm = dots_per_cm_;
    view.drilling_only = options_.drilling_only;
    view.total_full_scale = options_.total_full_scale;
    view.tracks = options_.tracks;
    view.shows = &options_.shows;
    view.totalizer_background = &totalizer_background_;
    return view;
}

bool print_gas_log(GasLogDocument& document, QPagedPaintDevice& device,
                   const std::function<bool(int, int)>& tick) {
    QPainter p;
    if (!p.begin(&device)) {
        return false;
    }
    const int resolution = device.logicalDpiY();
    const QRect area = device.pageLayout().paintRectPixels(resolution);
    document.layout(p, area.size(), resolution / 2.54);
    const int pages = document.page_count();
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !device.newPage()) {
            p.end();
            return false;
        }
        document.render_page(p, i);
        if (tick && !tick(i + 1, pages)) {
            p.end();
            return false;
        }
    }
    return p.end();
}

bool save_gas_log(GasLogDocument& document, const QString& path, QString& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = "Не удалось создать файл " + path + ": " + file.errorString();
        return false;
    }
    bool drawn = false;
    if (path.endsWith(".svg", Qt::CaseInsensitive)) {
        // One picture of the whole interval; its size in millimetres keeps the scale.
        QImage probe(1, 1, QImage::Format_RGB32);
        probe.setDotsPerMeterX(kSvgResolution * 10000 / 254);
        probe.setDotsPerMeterY(kSvgResolution * 10000 / 254);
        {
            QPainter measure(&probe);
            document.layout(measure, QSize(1900, 1), kSvgResolution / 2.54);
        }
        const QSize size(document.page_size().width(), document.picture_height());
        const auto svg = svg_picture(&file, size, kSvgResolution, document.options().title);
        if (!svg) {
            file.cancelWriting();
            error = "Эта сборка программы не сохраняет рисунки SVG: выберите PDF";
            return false;
        }
        QPainter p;
        drawn = p.begin(svg.get());
        if (drawn) {
            p.fillRect(QRect(QPoint(), size), Qt::white);
            document.render_picture(p);
            drawn = p.end();
        }
    } else {
        QPdfWriter pdf(&file);
        pdf.setResolution(kPdfResolution);
        pdf.setTitle(document.options().title);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        drawn = print_gas_log(document, pdf);
    }
    if (!drawn) {
        file.cancelWriting();
        error = "Не удалось записать каротаж в " + path;
        return false;
    }
    if (!file.commit()) {
        error = "Не удалось записать файл " + path + ": " + file.errorString();
        return false;
    }
    return true;
}

}  // namespace vetra::reports::ui
