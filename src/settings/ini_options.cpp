#include "settings/ini_options.h"

#include <cstring>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "library/utf8_path.h"

namespace vetra::settings {
namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// The float kinds' reading: an empty or missing text leaves the value; anything else goes
// through C atof after turning ',' into '.', so an unparsable text gives 0.
std::optional<double> read_real(const IniFile& file, const Binding& b) {
    const std::string text = file.read_string(b.section, b.key, "");
    if (text.empty()) {
        return std::nullopt;
    }
    return library::read_float_text(text);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string bytes_to_hex(const std::uint8_t* data, std::size_t size) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    return out;
}

bool hex_to_bytes(std::string_view text, std::uint8_t* data, std::size_t size) {
    if (text.size() != size * 2) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        const int hi = hex_digit(text[2 * i]);
        const int lo = hex_digit(text[2 * i + 1]);
        data[i] = (hi < 0 || lo < 0) ? 0 : static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return true;
}

void Binding::read(const IniFile& file) const {
    std::visit(
        Overloaded{
            [&](std::int32_t* v) { *v = file.read_integer(section, key, *v); },
            [&](std::atomic<std::int32_t>* v) { v->store(file.read_integer(section, key, *v)); },
            [&](bool* v) { *v = file.read_bool(section, key, *v); },
            [&](std::atomic<bool>* v) { v->store(file.read_bool(section, key, v->load())); },
            [&](float* v) {
                if (const auto r = read_real(file, *this)) {
                    *v = static_cast<float>(*r);
                }
            },
            [&](std::atomic<float>* v) {
                if (const auto r = read_real(file, *this)) {
                    v->store(static_cast<float>(*r));
                }
            },
            [&](double* v) {
                if (const auto r = read_real(file, *this)) {
                    *v = *r;
                }
            },
            [&](std::string* v) { *v = file.read_string(section, key, *v); },
            // The length rule counts the file's one-byte characters, not UTF-8 bytes.
            [&](std::uint8_t* v) {
                hex_to_bytes(library::utf8_to_cp1251(file.read_string(section, key, "")), v, size);
            },
        },
        target);
}

void Binding::write(IniFile& file) const {
    std::visit(Overloaded{
                   [&](std::int32_t* v) { file.write_integer(section, key, *v); },
                   [&](std::atomic<std::int32_t>* v) { file.write_integer(section, key, *v); },
                   [&](bool* v) { file.write_bool(section, key, *v); },
                   [&](std::atomic<bool>* v) { file.write_bool(section, key, v->load()); },
                   [&](float* v) { file.write_float(section, key, *v); },
                   [&](std::atomic<float>* v) { file.write_float(section, key, v->load()); },
                   [&](double* v) { file.write_float(section, key, *v); },
                   [&](std::string* v) { file.write_string(section, key, "\"" + *v + "\""); },
                   [&](std::uint8_t* v) { file.write_string(section, key, bytes_to_hex(v, size)); },
               },
               target);
}

void BindingList::add(BindingKind kind, Binding::Target target, std::string_view section,
                      std::string_view key, std::size_t size) {
    bindings_.push_back(Binding{std::string(section), std::string(key), kind, target, size});
}

void BindingList::add_integer(std::int32_t* value, std::string_view section, std::string_view key) {
    add(BindingKind::integer, value, section, key);
}
void BindingList::add_integer(std::atomic<std::int32_t>* value, std::string_view section,
                              std::string_view key) {
    add(BindingKind::integer, value, section, key);
}
void BindingList::add_colour(Colour* value, std::string_view section, std::string_view key) {
    add(BindingKind::colour, value, section, key);
}
void BindingList::add_bool(bool* value, std::string_view section, std::string_view key) {
    add(BindingKind::boolean, value, section, key);
}
void BindingList::add_bool(std::atomic<bool>* value, std::string_view section,
                           std::string_view key) {
    add(BindingKind::boolean, value, section, key);
}
void BindingList::add_float(float* value, std::string_view section, std::string_view key) {
    add(BindingKind::single, value, section, key);
}
void BindingList::add_float(std::atomic<float>* value, std::string_view section,
                            std::string_view key) {
    add(BindingKind::single, value, section, key);
}
void BindingList::add_double(double* value, std::string_view section, std::string_view key) {
    add(BindingKind::real, value, section, key);
}
void BindingList::add_text(std::string* value, std::string_view section, std::string_view key) {
    add(BindingKind::text, value, section, key);
}
void BindingList::add_bytes(void* value, std::size_t size, std::string_view section,
                            std::string_view key) {
    add(BindingKind::bytes, static_cast<std::uint8_t*>(value), section, key, size);
}
void BindingList::add_int_block(std::int32_t* value, std::string_view section,
                                std::string_view key) {
    static_assert(sizeof(std::int32_t) == 4);
    add_bytes(value, 4, section, key);
}

void IniOptions::load(std::string_view path) {
    const std::string_view trimmed = library::trim(path);
    if (trimmed.empty()) {
        return;
    }
    path_ = std::string(trimmed);
    IniFile file;
    file.open(library::path_from_utf8(path_));
    load(file);
}

bool IniOptions::save(std::string_view path) {
    const std::string_view trimmed = library::trim(path);
    if (trimmed.empty()) {
        return false;
    }
    path_ = std::string(trimmed);
    IniFile file;
    std::error_code error = std::make_error_code(std::errc::io_error);
    bool ok = file.open(library::path_from_utf8(path_));
    if (ok) {
        save(file);
        ok = file.save(&error);
    }
    if (reporter_ != nullptr) {
        reporter_->report(path_, ok, error);
    }
    return ok;
}

void IniOptions::load(const IniFile& file) {
    before_load(file);
    BindingList list;
    register_bindings(list);
    for (const auto& b : list.bindings()) {
        b.read(file);
    }
    after_load(file);
}

void IniOptions::save(IniFile& file) {
    before_save(file);
    BindingList list;
    register_bindings(list);
    for (const auto& b : list.bindings()) {
        b.write(file);
    }
    after_save(file);
}

void IniOptions::after_save(IniFile&) {}
void IniOptions::after_load(const IniFile&) {}
void IniOptions::before_save(IniFile&) {}
void IniOptions::before_load(const IniFile&) {}

}  // namespace vetra::settings
