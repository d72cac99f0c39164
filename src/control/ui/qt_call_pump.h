#pragma once

#include <QObject>

#include "control/mess_caller.h"

namespace vetra::control::ui {

// Makes the Qt event loop the main thread of a MessCaller: every post queues one call to
// `run_pending` into the loop, which runs everything queued so far.
class QtCallPump final : public QObject {
    Q_OBJECT
public:
    explicit QtCallPump(MessCaller& calls, QObject* parent = nullptr);
    ~QtCallPump() override;

private:
    MessCaller& calls_;
};

}  // namespace vetra::control::ui
