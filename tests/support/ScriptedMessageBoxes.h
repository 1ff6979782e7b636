// Message boxes that answer from a queue and record every box shown, for tests. An empty queue
// answers with the box's default button.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/core/MessageBoxes.h"

namespace cryvan_test {

class ScriptedMessageBoxes : public App::MessageBoxes {
  public:
    struct Shown {
        std::string text;
        std::string caption;
        Icon icon;
        Buttons buttons;
        Answer defaultButton;
    };

    std::deque<Answer> answers;
    std::vector<Shown> shown;
    // Runs while a box is up, as a user would act before answering it.
    std::function<void(const Shown&)> onShow;

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override {
        shown.push_back({text, caption, icon, buttons, defaultButton});
        if (onShow)
            onShow(shown.back());
        if (answers.empty())
            return defaultButton;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace cryvan_test
