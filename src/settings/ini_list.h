#pragma once

#include <string>
#include <string_view>

#include "settings/ini_file.h"

namespace vetra::settings {

// A variable-length list kept in one section of its own: "size" and "item1".."itemN",
// each item one line of text between double quotes.
class IniList {
public:
    // More items than this in "size" is garbage, not a list; it is cut to this length.
    static constexpr int kMaxItems = 10000;

    explicit IniList(std::string section) : section_(std::move(section)) {}
    virtual ~IniList() = default;

    void load(std::string_view path);
    bool save(std::string_view path);
    // A missing "size" leaves the list untouched and calls no hook.
    void load(const IniFile& file);
    // Rewrites "size" and the items; items past the count go, so no stale item survives.
    // Other keys of the section belong to others and stay.
    void save(IniFile& file);

    const std::string& section() const { return section_; }

protected:
    virtual int list_count() const = 0;
    virtual std::string item_text(int index) const = 0;
    virtual void resize_list(int count) = 0;
    virtual void set_item_text(int index, std::string_view text) = 0;
    virtual void after_save(IniFile& file);
    virtual void after_load(const IniFile& file);

private:
    std::string section_;
};

}  // namespace vetra::settings
