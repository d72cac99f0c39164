#pragma once

#include <cstdint>
#include <string_view>

#include "settings/ini_file.h"

namespace vetra::settings {

// A window's restored rectangle and state (0 normal, 1 minimised, 2 maximised).
struct WindowPlacement {
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t state = 0;
};

void save_placement(IniFile& file, std::string_view section, const WindowPlacement& placement);
// Missing keys keep the values of `current`.
WindowPlacement load_placement(const IniFile& file, std::string_view section,
                               const WindowPlacement& current);

}  // namespace vetra::settings
