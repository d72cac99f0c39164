#pragma once

#include <string>

class QPrinter;

namespace vetra::display::ui {
class GasLogPage;
}
namespace vetra::library {
class Operator;
}
namespace vetra::settings {
class GlobalSettings;
}

namespace vetra::app::ui {

// The log page's "Распечатать...": the print dialog over the interval the page has logged,
// at the page's scale and with its tracks, the well and field in the heading.
bool print_gas_log_page(display::ui::GasLogPage& page, const settings::GlobalSettings& settings,
                        const std::string& settings_path, library::Operator& op,
                        QPrinter* printer = nullptr);

}  // namespace vetra::app::ui
