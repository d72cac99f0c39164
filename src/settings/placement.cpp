#include "settings/placement.h"

namespace vetra::settings {

void save_placement(IniFile& file, std::string_view section, const WindowPlacement& p) {
    file.write_integer(section, "top", p.top);
    file.write_integer(section, "left", p.left);
    file.write_integer(section, "width", p.width);
    file.write_integer(section, "height", p.height);
    file.write_integer(section, "state", p.state);
}

WindowPlacement load_placement(const IniFile& file, std::string_view section,
                               const WindowPlacement& current) {
    WindowPlacement p;
    p.top = file.read_integer(section, "top", current.top);
    p.left = file.read_integer(section, "left", current.left);
    p.width = file.read_integer(section, "width", current.width);
    p.height = file.read_integer(section, "height", current.height);
    p.state = file.read_integer(section, "state", current.state);
    return p;
}

}  // namespace vetra::settings
