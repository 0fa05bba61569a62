#include "support/recording_ui.h"

namespace kestrova::test {

void RecordingUi::clearActivity() {
    activity.clear();
    ++clears;
}

void RecordingUi::addActivity(std::string_view line) {
    activity.emplace_back(line);
}

Answer RecordingUi::question(std::string_view prompt) {
    questions.emplace_back(prompt);
    if (answers.empty()) {
        return Answer::Yes;
    }
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingUi::info(std::string_view prompt) {
    infos.emplace_back(prompt);
}

void RecordingUi::warning(std::string_view text) {
    warnings.emplace_back(text);
}

std::vector<std::string> RecordingUi::activityMessages() const {
    constexpr std::size_t kStampLength = 10;  // "HH:MM:SS  "
    std::vector<std::string> messages;
    for (const auto& line : activity) {
        messages.push_back(line.size() >= kStampLength ? line.substr(kStampLength) : line);
    }
    return messages;
}

}  // namespace kestrova::test
