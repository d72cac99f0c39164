#include "reports/ui/svg_picture.h"

#include <QRect>
#include <QSvgGenerator>

namespace vetra::reports::ui {

bool svg_available() { return true; }

std::unique_ptr<QPaintDevice> svg_picture(QIODevice* out, QSize size, int resolution,
                                          const QString& title) {
    auto svg = std::make_unique<QSvgGenerator>();
    svg->setOutputDevice(out);
    svg->setResolution(resolution);
    svg->setSize(size);
    svg->setViewBox(QRect(QPoint(), size));
    svg->setTitle(title);
    return svg;
}

}  // namespace vetra::reports::ui
