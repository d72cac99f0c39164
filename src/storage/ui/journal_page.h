#pragma once

#include <QWidget>
#include <boost/signals2/connection.hpp>

class QListWidget;
class QPushButton;

namespace vetra::library {
class Operator;
}
namespace vetra::storage {
class EventLog;
}

namespace vetra::storage::ui {

// The "Журнал" page: the journal's lines (`lbLog`), "Добавить запись..." and "Очистить...".
// The list follows the log, whoever adds to it.
class JournalPage : public QWidget {
    Q_OBJECT
public:
    JournalPage(EventLog& log, library::Operator& op, QWidget* parent = nullptr);
    ~JournalPage() override;

    // The entry dialog at the mouse position; a non-empty text is added.
    void AddLogLine();
    // Asks first; on yes the journal is emptied and says so.
    void ClearLog();

    QListWidget* list() const { return lbLog; }

private:
    void show_lines();

    EventLog& log_;
    library::Operator& operator_;
    QListWidget* lbLog = nullptr;
    boost::signals2::scoped_connection follow_;
};

}  // namespace vetra::storage::ui
