#include "control/ui/qt_call_pump.h"

#include <QMetaObject>
#include <QPointer>

namespace vetra::control::ui {

QtCallPump::QtCallPump(MessCaller& calls, QObject* parent) : QObject(parent), calls_(calls) {
    // The hook runs on the posting thread: it only queues an event for this object.
    calls_.set_wake_up([this] {
        QMetaObject::invokeMethod(
            this, [this] { calls_.run_pending(); }, Qt::QueuedConnection);
    });
}

QtCallPump::~QtCallPump() {
    calls_.set_wake_up(nullptr);
}

}  // namespace vetra::control::ui
