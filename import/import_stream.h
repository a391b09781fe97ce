#pragma once

#include <string>

// A reader of one file of an import, which can stop the import with a reason at
// the place it has come to (the XML and the JSON streams).
class TImportStream {
public:
    // Throws an EMarksError naming the file, the line and the reason.
    [[noreturn]] virtual void Fail(const std::string& reason) const = 0;

protected:
    ~TImportStream() = default;
};
