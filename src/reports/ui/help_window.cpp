#include "reports/ui/help_window.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "library/ui/screen_fit.h"

namespace vetra::reports::ui {
namespace {

QString topic_path(const QString& topic) {
    return QStringLiteral(":/help/") + topic + QStringLiteral(".html");
}

}  // namespace

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("THelpForm");
    setWindowTitle("Справка");
    setGeometry(library::ui::opening_place(this, {760, 640}));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("browser");
    browser_->setSearchPaths({QStringLiteral(":/help")});
    browser_->setOpenExternalLinks(true);

    auto* contents = new QPushButton("Содержание", this);
    auto* back = new QPushButton("< Назад", this);
    auto* forward = new QPushButton("Вперёд >", this);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QPushButton::clicked, this, [this] { show_topic(kContentsTopic); });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle("Справка - " + browser_->documentTitle()); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);
}

bool THelpForm::show_topic(const QString& topic) {
    const bool known = QFile::exists(topic_path(topic));
    browser_->setSource(QUrl(QStringLiteral("qrc") + topic_path(known ? topic : kContentsTopic)));
    return known;
}

QString THelpForm::current_topic() const {
    return browser_->source().fileName().section('.', 0, 0);
}

THelpForm* THelpForm::instance(QWidget* parent) {
    static QPointer<THelpForm> form;
    // A modal dialog blocks every window but its own: the help it asks for must be one of
    // them, and goes when the dialog goes.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner && parent && parent->window()->isModal()) {
        owner = parent->window();
    }
    if (form && form->parentWidget() != owner) {
        delete form;
    }
    if (!form) {
        form = new THelpForm(owner);
        form->setAttribute(Qt::WA_DeleteOnClose);
        // An open manual must not keep the program running after the main window closed.
        form->setAttribute(Qt::WA_QuitOnClose, false);
    }
    return form;
}

THelpForm* show_help_contents(QWidget* parent) {
    return show_help_topic(parent, kContentsTopic);
}

THelpForm* show_help_topic(QWidget* parent, const QString& topic) {
    THelpForm* form = THelpForm::instance(parent);
    form->show_topic(topic);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

}  // namespace vetra::reports::ui
