#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace vetra::reports::ui {

// The program's manual: Russian HTML pages compiled into the program, one topic per page of
// the main window and per dialog. One window serves the whole program and is raised again
// for the next topic.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);

    // False when there is no such topic; the contents are shown then.
    bool show_topic(const QString& topic);
    QString current_topic() const;
    QTextBrowser* browser() const { return browser_; }

    // The one window, created on first use.
    static THelpForm* instance(QWidget* parent);

private:
    QTextBrowser* browser_ = nullptr;
};

inline constexpr const char* kContentsTopic = "index";

// "Вызов справки" (F1): the contents.
THelpForm* show_help_contents(QWidget* parent);
// A "Справка" button: its dialog's topic, for example "print_table".
THelpForm* show_help_topic(QWidget* parent, const QString& topic);

}  // namespace vetra::reports::ui
