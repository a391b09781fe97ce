#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "import_stream.h"

// A forward-only pull reader over a JSON text (RFC 8259) of any size: the bytes
// are read in pieces as the tokens are asked for, so nothing but the string being
// read is held. Strings are decoded to UTF-8 and kept up to a limit the caller
// gives, the rest checked and dropped; values nest at most 256 deep. Every failure
// becomes an EMarksError naming the file, the line and the reason.

class TJsonStream final : public TImportStream {
public:
    // Fills the buffer; returns the number of bytes, 0 at the end, or -1 after
    // setting the reason on failure.
    using TSource = std::function<int(char* buffer, int size, std::string& reason)>;

    enum class TToken { BeginObject, EndObject, BeginArray, EndArray, String, Number, True, False, Null, End };

    TJsonStream(std::string fileName, TSource source);

    // The next token; a member's name comes as a String for which IsName() holds.
    // A string keeps at most stringLimit bytes (cut before a character that would
    // not fit whole). End comes once the one value of the text has been read.
    TToken Next(std::size_t stringLimit);
    bool IsName() const { return FIsName; }
    // The string, or the number as written.
    const std::string& Text() const { return FText; }
    // Whether the last string was longer than its limit.
    bool Cut() const { return FCut; }

    // After a token that begins an object or an array: reads up to and including
    // its end. After any other token: nothing.
    void SkipValue(TToken token);

    int Line() const { return FLine; }
    [[noreturn]] void Fail(const std::string& reason) const override;

private:
    enum class TExpect : unsigned char { Value, ValueOrEnd, NameOrEnd, Name, Colon, CommaOrEnd, Nothing };

    std::string FFileName;
    TSource FSource;
    std::vector<char> FBuffer;
    std::size_t FAt = 0;
    std::size_t FEnd = 0;
    bool FSourceEnded = false;
    bool FStarted = false;
    int FLine = 1;

    std::string FText;
    bool FCut = false;
    bool FIsName = false;
    // The open objects ('{') and arrays ('['), and what may come next.
    std::string FOpen;
    TExpect FExpect = TExpect::Value;

    // The next byte without taking it, or -1 at the end of the text.
    int Peek();
    char Take();
    void SkipSpace();
    void ReadString(std::size_t limit);
    void ReadNumber();
    void ReadWord(const char* word);
    void Keep(std::size_t limit, const char* bytes, std::size_t size);
    TToken Close(char closing);
    void AfterValue();
};
