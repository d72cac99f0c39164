#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "settings/ui/network_computers.h"

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace vetra::settings::ui {

// The network list: the computers of the local network, filled as their names arrive, so
// opening it never waits for the network.
class TNetCompForm : public QDialog {
    Q_OBJECT
public:
    TNetCompForm(std::unique_ptr<NetworkComputers> computers, QWidget* parent = nullptr);
    ~TNetCompForm() override;

    // True with `chosen` set when OK was pressed on an entry (or an entry double-clicked).
    bool execute(const std::string& current, std::string& chosen);

    // One computer of the network; the current one is selected when it arrives.
    void add_computer(const QString& name);
    // The chosen name, trimmed; empty without a selection.
    QString chosen_name() const;
    QListWidget* list() const { return ListBox1; }
    // The search is over: "Компьютеры не найдены" when nothing turned up.
    void search_finished();
    // "Поиск…" while the network is asked, then empty or the message above.
    QString search_text() const;

private:
    std::unique_ptr<NetworkComputers> computers_;
    QString current_;
    QListWidget* ListBox1 = nullptr;
    QLabel* search_label_ = nullptr;
};

}  // namespace vetra::settings::ui
