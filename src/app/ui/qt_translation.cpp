#include "app/ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace vetra::app::ui {
namespace {

// The texts Qt's own Russian translation leaves out: the file dialog's type column.
class MissingQtTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        (void)disambiguation;
        (void)n;
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) {
            return {};
        }
        static const struct {
            const char* source;
            const char* text;
        } kTexts[] = {{"Drive", "Диск"},        {"File", "Файл"},      {"File Folder", "Папка"},
                      {"Folder", "Папка"},      {"Shortcut", "Ярлык"}, {"Alias", "Ярлык"},
                      {"Unknown", "Неизвестно"}};
        for (const auto& t : kTexts) {
            if (qstrcmp(source, t.source) == 0) {
                return QString::fromUtf8(t.text);
            }
        }
        return {};
    }
};

}  // namespace

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
    if (!QCoreApplication::installTranslator(translator.release())) {
        return false;
    }
    return QCoreApplication::installTranslator(new MissingQtTexts(&app));
}

}  // namespace vetra::app::ui
