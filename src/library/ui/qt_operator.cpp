#include "library/ui/qt_operator.h"

#include <QApplication>
#include <QMessageBox>

namespace vetra::library::ui {
namespace {

QMessageBox::Icon box_icon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::information:
            return QMessageBox::Information;
        case MessageIcon::warning:
            return QMessageBox::Warning;
        case MessageIcon::error:
        case MessageIcon::stop:
            return QMessageBox::Critical;
        case MessageIcon::question:
            return QMessageBox::Question;
        case MessageIcon::none:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QWidget* QtOperator::box_parent() const {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    return parent_;
}

// Qt has no tone of a given pitch; the system's bell is the nearest there is.
void QtOperator::beep(int, int) {
    QApplication::beep();
}

void QtOperator::show_message(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
    QMessageBox box(box_icon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, box_parent());
    box.exec();
}

bool QtOperator::ask_yes_no(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, box_parent());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace vetra::library::ui
