#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "library/operator.h"

namespace vetra::test {

// Records what the program asked of the operator; answers questions with `answer`.
class RecordingOperator final : public library::Operator {
public:
    struct Message {
        std::string text;
        std::string caption;
        library::MessageIcon icon;
    };
    struct Beep {
        int frequency_hz;
        int duration_ms;
    };

    void beep(int frequency_hz, int duration_ms) override {
        std::lock_guard lock(mutex_);
        beeps.push_back({frequency_hz, duration_ms});
    }
    void show_message(const std::string& text, const std::string& caption,
                      library::MessageIcon icon) override {
        std::lock_guard lock(mutex_);
        messages.push_back({text, caption, icon});
    }
    bool ask_yes_no(const std::string& text, const std::string& caption) override {
        {
            std::lock_guard lock(mutex_);
            questions.push_back({text, caption, library::MessageIcon::question});
        }
        if (while_asking) {
            while_asking();  // what a question box's event loop may run meanwhile
        }
        return answer;
    }

    std::vector<Beep> beeps;
    std::vector<Message> messages;
    std::vector<Message> questions;
    bool answer = true;
    std::function<void()> while_asking;

private:
    std::mutex mutex_;
};

}  // namespace vetra::test
