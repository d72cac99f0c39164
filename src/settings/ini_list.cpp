#include "settings/ini_list.h"

#include <algorithm>

#include "library/cp1251.h"
#include "library/utf8_path.h"

namespace vetra::settings {

namespace {

// "size" and "item" + a number: the keys a list writes.
bool owned_key(std::string_view key) {
    if (library::equals_ignore_case(key, "size")) {
        return true;
    }
    if (key.size() <= 4 || !library::equals_ignore_case(key.substr(0, 4), "item")) {
        return false;
    }
    return std::all_of(key.begin() + 4, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void IniList::load(std::string_view path) {
    IniFile file;
    file.open(library::path_from_utf8(library::trim(path)));
    load(file);
}

bool IniList::save(std::string_view path) {
    IniFile file;
    if (!file.open(library::path_from_utf8(library::trim(path)))) {
        return false;
    }
    save(file);
    return file.save();
}

void IniList::load(const IniFile& file) {
    const int size = file.read_integer(section_, "size", -1);
    if (size == -1) {
        return;
    }
    const int count = std::clamp(size, 0, kMaxItems);
    resize_list(count);
    const auto entries = file.read_section(section_);
    for (int i = 0; i < count; ++i) {
        const auto it = entries.find("item" + std::to_string(i + 1));
        set_item_text(i, it != entries.end() ? it->second : std::string());
    }
    after_load(file);
}

void IniList::save(IniFile& file) {
    const int count = list_count();
    std::vector<std::pair<std::string, std::string>> keys;
    keys.reserve(static_cast<std::size_t>(count) + 1);
    keys.emplace_back("size", std::to_string(count));
    for (int i = 0; i < count; ++i) {
        keys.emplace_back("item" + std::to_string(i + 1), "\"" + item_text(i) + "\"");
    }
    file.replace_keys(section_, owned_key, keys);
    after_save(file);
}

void IniList::after_save(IniFile&) {}
void IniList::after_load(const IniFile&) {}

}  // namespace vetra::settings
