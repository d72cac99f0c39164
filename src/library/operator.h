#pragma once

#include <string>

namespace vetra::library {

enum class MessageIcon { none, information, warning, error, stop, question };

// The operator: beeps and message boxes. The GUI shows Qt message boxes, the console
// writes to stderr, tests record what was asked.
class Operator {
public:
    virtual ~Operator() = default;
    virtual void beep(int frequency_hz, int duration_ms) = 0;
    virtual void show_message(const std::string& text, const std::string& caption,
                              MessageIcon icon) = 0;
    virtual bool ask_yes_no(const std::string& text, const std::string& caption) = 0;
};

// Writes messages to stderr, answers every question with yes, beeps silently.
class ConsoleOperator final : public Operator {
public:
    void beep(int frequency_hz, int duration_ms) override;
    void show_message(const std::string& text, const std::string& caption,
                      MessageIcon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& caption) override;
};


}  // namespace vetra::library
