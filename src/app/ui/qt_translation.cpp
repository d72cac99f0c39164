#include "app/ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace vetra::app::ui {

bool install_qt_translation(QCoreApplication& app, const QLocale& locale) {
    if (locale.language() != QLocale::Russian) {
        return false;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    translator->setParent(&app);  // lives as long as the application
    return QCoreApplication::installTranslator(translator.release());
}

}  // namespace vetra::app::ui
