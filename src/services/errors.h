#pragma once

#include <stdexcept>
#include <string>

namespace kestrova {

/// An error that crosses a module boundary. what() is the Japanese description that a
/// handler shows between "<<" and ">>" and writes to the log.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace kestrova
