#pragma once

// What the settings dialogs need, over a program directory of their own.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "control/vetra_system.h"
#include "library/clock.h"
#include "settings/global_settings.h"
#include "settings/ui/dialog_services.h"
#include "settings/ui/totalizer_control.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

namespace vetra::test {

struct DialogRig {
    explicit DialogRig(int model = settings::kModelTd5) {
        settings.load_from(dir.dir());
        settings.device_type = model;
        settings.apply_model_defaults();
        services.op = &op;
    }

    TempDir dir;
    settings::GlobalSettings settings;
    RecordingOperator op;
    library::ManualClock clock;
    control::VetraSystem system{settings, op, clock};
    settings::ui::SettingsTotalizerControl totalizer{system.link(), settings};
    settings::ui::DialogServices services;
};

// Runs `act` on the next modal dialog once it is up (the code under test is inside exec()).
inline void on_modal(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

}  // namespace vetra::test
