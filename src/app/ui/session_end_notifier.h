#pragma once

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace vetra::app::ui {

// SIGTERM, SIGINT and SIGHUP (a logout, a system shutdown, Ctrl+C in the terminal) as a Qt
// signal on the main thread, so the window can close in order instead of dying unsaved.
// The handler only writes the signal number into a socket pair; the event loop reads it.
// One instance at a time; the previous handlers come back when it is destroyed.
class SessionEndNotifier : public QObject {
    Q_OBJECT
public:
    explicit SessionEndNotifier(QObject* parent = nullptr);
    ~SessionEndNotifier() override;
    SessionEndNotifier(const SessionEndNotifier&) = delete;
    SessionEndNotifier& operator=(const SessionEndNotifier&) = delete;

    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

Q_SIGNALS:
    void ended(int signal);

private:
    void on_readable();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    std::array<struct sigaction, kSignals.size()> previous_{};
};

}  // namespace vetra::app::ui
