#pragma once

#include <functional>
#include <memory>
#include <string>

#include "library/datetime.h"
#include "settings/ui/network_computers.h"
#include "widgets/ui/colour_select_form.h"

namespace vetra::library {
class Operator;
}

namespace vetra::settings {
class LagSettings;
class RigSettings;
}  // namespace vetra::settings

namespace vetra::settings::ui {

// Applies a corrected lag (strokes, minutes) to the rows analysed since a moment; returns the
// journal line that says what changed.
using ApplyLag =
    std::function<std::string(library::DayNumber since, double strokes, double minutes)>;

// What the settings dialogs use beyond the settings themselves: the operator's message
// boxes, the network list, the colour chooser and the help viewer. Tests replace them.
struct DialogServices {
    library::Operator* op = nullptr;
    std::function<std::unique_ptr<NetworkComputers>()> network = &make_network_computers;
    widgets::ui::ColourChooser choose_colour = &widgets::ui::choose_colour;
    // Opens a help topic; the "Справка" buttons do nothing while it is empty.
    std::function<void(const std::string& topic)> show_help;
    // The rig's own formats; the work settings dialog shows its page "WITS" only with them.
    RigSettings* rig = nullptr;
    // The sample's depth, the lag and the shows: the page "Отставание" only with them.
    LagSettings* lag = nullptr;
    ApplyLag apply_lag;
};

}  // namespace vetra::settings::ui
