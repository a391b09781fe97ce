#pragma once

#include <stdexcept>
#include <string>

// The one error type of the program. It carries a single UTF-8 message that the
// window shows as it stands; values quoted from a table are converted from
// Windows-1251 before they are put into a message.
class EMarksError : public std::runtime_error {
public:
    explicit EMarksError(const std::string& message) : std::runtime_error(message) {}
};
