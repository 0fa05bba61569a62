#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrova {

/// An error that crosses a module boundary. what() is the Japanese description that a
/// handler shows between "<<" and ">>" and writes to the log.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The system's error line: the owner (procedure or window:procedure), "<<", the error
/// description and ">>". Logged at error level and, where a warning is shown, its text.
inline std::string errorText(std::string_view owner, std::string_view description) {
    std::string text(owner);
    text.append("<<").append(description).append(">>");
    return text;
}

}  // namespace kestrova
