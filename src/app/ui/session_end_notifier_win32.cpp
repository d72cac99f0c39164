#include "app/ui/session_end_notifier.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace vetra::app::ui {

struct SessionEndNotifier::Private {};

// Qt asks the application to save through commitDataRequest when Windows sends
// WM_QUERYENDSESSION, and lets the session end when the call returns: the connection is
// direct, so the close has run by then. Nothing is cancelled: a workstation that is told to
// log off closes, it does not argue.
SessionEndNotifier::SessionEndNotifier(QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {
    connect(
        qGuiApp, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager&) { Q_EMIT ended(0); }, Qt::DirectConnection);
}

SessionEndNotifier::~SessionEndNotifier() = default;

}  // namespace vetra::app::ui
