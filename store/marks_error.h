#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// The one error type of the program. It carries a single UTF-8 message that the
// window shows as it stands; values quoted from a table are converted from
// Windows-1251 before they are put into a message.
class EMarksError : public std::runtime_error {
public:
    explicit EMarksError(const std::string& message) : std::runtime_error(message) {}
};

// What a person is shown for an error caught where a command ends (by default the
// one being handled): the program's own message as it stands, and for anything else
// a sentence, never the name of a C++ type. Running out of memory reads as
// "Insufficient memory for this operation."
std::string ErrorMessageOf(std::exception_ptr error = std::current_exception());
