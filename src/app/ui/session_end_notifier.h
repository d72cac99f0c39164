#pragma once

#include <QObject>
#include <memory>

namespace vetra::app::ui {

// A logout or a system shutdown as a Qt signal on the main thread, so the window can close
// in order instead of dying unsaved. On Windows it is the session manager's request to save
// (WM_QUERYENDSESSION), given while Windows waits for the answer: whatever `ended` is
// connected to must have finished its closing when it returns, since the process may end
// right after. Elsewhere it is SIGTERM, SIGINT or SIGHUP (also Ctrl+C in the terminal),
// passed from the handler to the event loop. One instance at a time.
class SessionEndNotifier : public QObject {
    Q_OBJECT
public:
    explicit SessionEndNotifier(QObject* parent = nullptr);
    ~SessionEndNotifier() override;
    SessionEndNotifier(const SessionEndNotifier&) = delete;
    SessionEndNotifier& operator=(const SessionEndNotifier&) = delete;

Q_SIGNALS:
    // The signal number where the end came as one, else 0.
    void ended(int signal);

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

}  // namespace vetra::app::ui
