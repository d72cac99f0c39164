#pragma once

#include <QSize>
#include <QString>
#include <memory>

class QIODevice;
class QPaintDevice;

namespace vetra::reports::ui {

// Whether this build can write SVG pictures (Qt Svg is optional: the Windows build may
// have Qt without it). Without it the save dialogs offer PDF alone.
bool svg_available();

// A paint device that writes one SVG picture of `size` dots, at `resolution` dots an inch,
// to `out`; null where the build has no SVG writer.
std::unique_ptr<QPaintDevice> svg_picture(QIODevice* out, QSize size, int resolution,
                                          const QString& title);

// The save dialog's filter: SVG first or PDF first, SVG only where it can be written.
inline QString picture_filter(bool svg_first) {
    const QString pdf = "Документ PDF (*.pdf)";
    const QString svg = "Рисунок SVG (*.svg)";
    if (!svg_available()) {
        return pdf;
    }
    return svg_first ? svg + ";;" + pdf : pdf + ";;" + svg;
}

}  // namespace vetra::reports::ui
