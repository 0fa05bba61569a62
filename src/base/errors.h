#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace kestrova {

/// An error that crosses a module boundary. what() is the Japanese description that a
/// handler shows between "<<" and ">>" and writes to the log.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    /// `detail`: a library's own (often English) words for the log, never shown.
    Error(const std::string& description, std::string detail)
        : std::runtime_error(description), detail_(std::move(detail)) {}

    const std::string& detail() const { return detail_; }

  private:
    std::string detail_;
};

/// The user asked a long operation to stop: not a failure, so nothing reports it as one.
class StopRequested : public std::exception {
  public:
    const char* what() const noexcept override { return "stopped by the user"; }
};

/// The system's error line: the owner (procedure or window:procedure), "<<", the error
/// description and ">>". Logged at error level and, where a warning is shown, its text.
inline std::string errorText(std::string_view owner, std::string_view description) {
    std::string text(owner);
    text.append("<<").append(description).append(">>");
    return text;
}

/// Japanese wording of a system error (file, disk), for messages shown to the user.
std::string fileErrorReason(const std::error_code& error);

/// `error` in the generic category where the system gave it in codes of its own (Windows'
/// error codes from std::filesystem), so that each cause has one wording; else as it is.
std::error_code asGenericError(const std::error_code& error);

/// The Japanese description of any exception a handler catches: an Error's own text, or a
/// wording for what the standard library throws (whose texts are English).
std::string describeError(const std::exception& error);

}  // namespace kestrova
