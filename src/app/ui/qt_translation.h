#pragma once

#include <QLocale>

class QCoreApplication;

namespace vetra::app::ui {

// Qt's own texts (standard buttons, file and colour dialogs) in the operator's language:
// loads Qt's translation for a Russian locale. False when the locale is not Russian or the
// translation is not installed; the program then runs with Qt's English texts.
bool install_qt_translation(QCoreApplication& app, const QLocale& locale);

}  // namespace vetra::app::ui
