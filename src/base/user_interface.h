#pragma once

#include <string_view>

namespace kestrova {

/// Answer codes of the message boxes, as the platform numbers them.
enum class Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

/// How the core reaches the user. The window, the command line and the tests each implement
/// it their own way; the core never shows anything itself.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    /// Empties the activity list.
    virtual void clearActivity() = 0;
    /// Appends one finished activity line ("HH:MM:SS  message") and keeps it in view.
    virtual void addActivity(std::string_view line) = 0;
    /// Question box, Yes and No, titled "Kestrova".
    virtual Answer question(std::string_view prompt) = 0;
    /// Information box, OK, titled "Kestrova".
    virtual void info(std::string_view prompt) = 0;
    /// Warning box (exclamation icon), OK, titled "Kestrova".
    virtual void warning(std::string_view text) = 0;
    /// Lets the window process pending events; called often during long work.
    virtual void breathe() {}
};

}  // namespace kestrova
