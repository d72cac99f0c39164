#include "storage/ui/journal_page.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "library/operator.h"
#include "storage/event_log.h"
#include "storage/ui/tlog_add_text_form.h"

namespace vetra::storage::ui {

JournalPage::JournalPage(EventLog& log, library::Operator& op, QWidget* parent)
    : QWidget(parent), log_(log), operator_(op) {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout();
    auto* add = new QPushButton("Добавить запись...", this);
    add->setObjectName("btnAddLog");
    auto* clear = new QPushButton("Очистить...", this);
    clear->setObjectName("btnClearLog");
    buttons->addWidget(add);
    buttons->addWidget(clear);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    lbLog = new QListWidget(this);
    lbLog->setObjectName("lbLog");
    lbLog->setUniformItemSizes(true);
    layout->addWidget(lbLog, 1);

    connect(add, &QPushButton::clicked, this, &JournalPage::AddLogLine);
    connect(clear, &QPushButton::clicked, this, &JournalPage::ClearLog);
    follow_ = log_.changed.connect([this] { show_lines(); });
    show_lines();
}

JournalPage::~JournalPage() = default;

void JournalPage::show_lines() {
    lbLog->setUpdatesEnabled(false);  // one repaint for the whole batch
    lbLog->clear();
    for (const std::string& line : log_.lines()) {
        lbLog->addItem(QString::fromStdString(line));
    }
    lbLog->setUpdatesEnabled(true);
    lbLog->scrollToBottom();
}

void JournalPage::AddLogLine() {
    TLogAddTextForm form(this);
    const QString text = form.execute(QCursor::pos());
    if (!text.isEmpty()) {
        log_.add(text.toStdString());
    }
}

void JournalPage::ClearLog() {
    if (!operator_.ask_yes_no("Стереть все записи в журнале?", "  Очистка журнала")) {
        return;
    }
    log_.clear();
    log_.add("Очищен журнал");
}

}  // namespace vetra::storage::ui
