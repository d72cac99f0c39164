// vetra: the workstation window.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "app/ui/qt_translation.h"
#include "app/ui/session_end_notifier.h"
#include "app/ui/single_instance.h"
#include "app/ui/tvetra_main_form.h"
#include "control/ui/qt_call_pump.h"
#include "control/vetra_system.h"
#include "library/clock.h"
#include "library/datetime.h"
#include "library/number_text.h"
#include "library/ui/qt_operator.h"
#include "settings/global_settings.h"
#include "settings/program_directory.h"

namespace {

struct Options {
    std::optional<std::string> directory;
    std::optional<std::string> port;
    bool demo = false;
    bool second_instance = false;  // "-d"
};

std::optional<Options> parse(const QStringList& args) {
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "-d") {
            o.second_instance = true;
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--dir" && i + 1 < args.size()) {
            o.directory = args[++i].toStdString();
        } else if (a == "--port" && i + 1 < args.size()) {
            o.port = args[++i].toStdString();
        } else {
            return std::nullopt;
        }
    }
    return o;
}

int run(QApplication& app) {
    const auto options = parse(app.arguments());
    if (!options) {
        std::fputs("usage: vetra [--dir DIR] [--demo] [--port NAME] [-d]\n", stderr);
        return 2;
    }
    const std::string dir = vetra::settings::resolve_program_directory(options->directory);
    std::string error;
    if (!vetra::settings::prepare_program_directory(dir, error)) {
        QMessageBox::critical(nullptr, "  ОШИБКА", QString::fromStdString(error));
        return 2;
    }
    // One window per program directory unless "-d" allows another: a second start brings
    // the running window forward and says so.
    vetra::app::ui::SingleInstance instance(dir);
    if (!instance.claim() && !options->second_instance) {
        (void)instance.ask_running_to_show();
        // The running window is already in front; the note closes itself, so a second start
        // from a script or a shortcut never leaves a process waiting for a click.
        QMessageBox note(QMessageBox::Information, "Хроматограф", vetra::app::ui::kAlreadyRunning,
                         QMessageBox::Ok);
        QTimer::singleShot(5000, &note, &QMessageBox::accept);
        note.exec();
        return 0;
    }

    vetra::settings::GlobalSettings settings;
    settings.build_stamp = vetra::library::build_stamp_text(__DATE__, __TIME__);
    vetra::library::ui::QtOperator op;
    vetra::library::SystemClock clock;
    vetra::control::VetraSystem system(settings, op, clock);
    vetra::control::ui::QtCallPump pump(system.calls());

    vetra::app::ui::MainFormOptions form_options;
    form_options.program_dir = dir;
    form_options.demo = options->demo;
    form_options.port = options->port;
    // A logout or shutdown closes the window in order; exit() also ends a question box
    // that may be open, so the program does not wait for an answer nobody gives. One that
    // comes while the window is still being built (the first-start wizard) ends that
    // dialog, and the window closes as soon as it exists.
    vetra::app::ui::SessionEndNotifier session_end;
    vetra::app::ui::TVetraMainForm* window = nullptr;
    QObject::connect(&instance, &vetra::app::ui::SingleInstance::showRequested, &app, [&] {
        vetra::app::ui::bring_forward(window != nullptr ? window
                                                        : QApplication::activeModalWidget());
    });
    bool ended_early = false;
    QObject::connect(&session_end, &vetra::app::ui::SessionEndNotifier::ended, &app, [&] {
        if (window == nullptr) {
            ended_early = true;
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
            return;
        }
        window->end_session();
        QCoreApplication::exit(0);
    });
    vetra::app::ui::TVetraMainForm form(system, settings, op, form_options);
    op.set_parent(&form);
    window = &form;
    if (ended_early) {
        form.end_session();
        system.calls().shut_down();
        return 0;
    }
    form.show();
    const int status = app.exec();
    system.calls().shut_down();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Хроматограф");
    vetra::app::ui::install_qt_translation(app, QLocale::system());
    vetra::library::init_decimal_separator_from_locale();
    try {
        return run(app);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Хроматограф", QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
