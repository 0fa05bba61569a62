#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/user_interface.h"

namespace kestrova::test {

/// A UserInterface that records everything shown and answers questions from a queue
/// (Yes when the queue is empty), so that no test ever waits for a person.
class RecordingUi : public UserInterface {
  public:
    void clearActivity() override;
    void addActivity(std::string_view line) override;
    Answer question(std::string_view prompt) override;
    void info(std::string_view prompt) override;
    void warning(std::string_view text) override;
    void breathe() override { ++breaths; }

    void setNextAnswer(Answer answer) { answers.push_back(answer); }

    /// Activity lines without their "HH:MM:SS  " time stamp.
    std::vector<std::string> activityMessages() const;

    std::vector<std::string> activity;  ///< lines as shown, time stamp included
    std::vector<std::string> questions;
    std::vector<std::string> infos;
    std::vector<std::string> warnings;
    std::deque<Answer> answers;
    int clears = 0;
    long breaths = 0;
};

}  // namespace kestrova::test
