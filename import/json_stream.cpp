#include "json_stream.h"

#include <cstring>

#include "marks_error.h"

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kMaxDepth = 256;
// A number longer than this is kept as no number at all: no coordinate needs it.
constexpr std::size_t kMaxNumberText = 128;

bool IsJsonSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(int c)
{
    return c >= '0' && c <= '9';
}

std::string Shown(int c)
{
    if (c > ' ' && c < 0x7F)
        return std::string("\"") + static_cast<char>(c) + "\"";
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kDigits[(c >> 4) & 15] + kDigits[c & 15];
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

TJsonStream::TJsonStream(std::string fileName, TSource source)
    : FFileName(std::move(fileName)), FSource(std::move(source)), FBuffer(kBufferSize)
{
}

void TJsonStream::Fail(const std::string& reason) const
{
    throw EMarksError("Cannot import file \"" + FFileName + "\". Line " + std::to_string(FLine) + ": " + reason);
}

int TJsonStream::Peek()
{
    if (FAt == FEnd) {
        if (FSourceEnded)
            return -1;
        std::string reason;
        const int n = FSource(FBuffer.data(), static_cast<int>(FBuffer.size()), reason);
        if (n < 0)
            Fail(reason.empty() ? "the file cannot be read" : reason);
        if (n == 0) {
            FSourceEnded = true;
            return -1;
        }
        FAt = 0;
        FEnd = static_cast<std::size_t>(n);
    }
    return static_cast<unsigned char>(FBuffer[FAt]);
}

char TJsonStream::Take()
{
    const char c = FBuffer[FAt++];
    if (c == '\n')
        ++FLine;
    return c;
}

void TJsonStream::SkipSpace()
{
    while (IsJsonSpace(Peek()))
        Take();
}

void TJsonStream::Keep(std::size_t limit, const char* bytes, std::size_t size)
{
    if (FCut || size == 0)
        return;
    if (FText.size() + size <= limit) {
        FText.append(bytes, size);
        return;
    }
    // Cut before the character that would not fit whole.
    std::size_t fits = limit - FText.size();
    while (fits > 0 && (static_cast<unsigned char>(bytes[fits]) & 0xC0) == 0x80)
        --fits;
    FText.append(bytes, fits);
    FCut = true;
}

void TJsonStream::ReadString(std::size_t limit)
{
    Take(); // the opening quote
    FText.clear();
    FCut = false;
    // A high surrogate waiting for the low one that must follow it.
    char32_t high = 0;
    std::string piece;
    auto keepCodePoint = [&](char32_t cp) {
        piece.clear();
        AppendUtf8(piece, cp);
        Keep(limit, piece.data(), piece.size());
    };
    auto flushHigh = [&] {
        if (high != 0)
            keepCodePoint(0xFFFD);
        high = 0;
    };
    for (;;) {
        if (Peek() < 0)
            Fail("the file ends inside a string");
        std::size_t run = FAt;
        while (run < FEnd) {
            const auto u = static_cast<unsigned char>(FBuffer[run]);
            if (u == '"' || u == '\\' || u < 0x20)
                break;
            ++run;
        }
        if (run > FAt) {
            flushHigh();
            Keep(limit, FBuffer.data() + FAt, run - FAt);
            FAt = run;
            continue;
        }
        const char c = Take();
        if (c == '"') {
            flushHigh();
            return;
        }
        if (c != '\\')
            Fail("a string holds a control character, which JSON writes as an escape");
        const int e = Peek();
        if (e < 0)
            Fail("the file ends inside a string");
        Take();
        if (e != 'u') {
            flushHigh();
            char plain;
            switch (e) {
            case '"': plain = '"'; break;
            case '\\': plain = '\\'; break;
            case '/': plain = '/'; break;
            case 'b': plain = '\b'; break;
            case 'f': plain = '\f'; break;
            case 'n': plain = '\n'; break;
            case 'r': plain = '\r'; break;
            case 't': plain = '\t'; break;
            default: Fail("a string holds the unknown escape \"\\" + std::string(1, static_cast<char>(e)) + "\"");
            }
            Keep(limit, &plain, 1);
            continue;
        }
        char32_t cp = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = Peek();
            int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
            if (digit < 0)
                Fail("a \"\\u\" escape of a string is not four hexadecimal digits");
            Take();
            cp = cp * 16 + static_cast<char32_t>(digit);
        }
        if (high != 0 && cp >= 0xDC00 && cp <= 0xDFFF) {
            keepCodePoint(0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00));
            high = 0;
            continue;
        }
        flushHigh();
        if (cp >= 0xD800 && cp <= 0xDBFF)
            high = cp;
        else
            keepCodePoint(cp >= 0xDC00 && cp <= 0xDFFF ? 0xFFFD : cp);
    }
}

void TJsonStream::ReadNumber()
{
    FText.clear();
    bool tooLong = false;
    auto take = [&] {
        const char c = Take();
        if (FText.size() < kMaxNumberText)
            FText.push_back(c);
        else
            tooLong = true;
    };
    auto digits = [&] {
        if (!IsDigit(Peek()))
            Fail("a number lacks its digits");
        while (IsDigit(Peek()))
            take();
    };
    if (Peek() == '-')
        take();
    if (Peek() == '0')
        take();
    else
        digits();
    if (Peek() == '.') {
        take();
        digits();
    }
    if (Peek() == 'e' || Peek() == 'E') {
        take();
        if (Peek() == '+' || Peek() == '-')
            take();
        digits();
    }
    if (tooLong)
        FText.clear();
}

void TJsonStream::ReadWord(const char* word)
{
    for (const char* p = word; *p; ++p) {
        const int c = Peek();
        if (c != static_cast<unsigned char>(*p))
            Fail(c < 0 ? "the file ends inside a value" : "unexpected " + Shown(c));
        Take();
    }
}

void TJsonStream::AfterValue()
{
    FExpect = FOpen.empty() ? TExpect::Nothing : TExpect::CommaOrEnd;
}

TJsonStream::TToken TJsonStream::Close(char closing)
{
    const char opening = closing == '}' ? '{' : '[';
    if (FOpen.empty() || FOpen.back() != opening)
        Fail("unexpected " + Shown(closing));
    Take();
    FOpen.pop_back();
    AfterValue();
    return closing == '}' ? TToken::EndObject : TToken::EndArray;
}

TJsonStream::TToken TJsonStream::Next(std::size_t stringLimit)
{
    FIsName = false;
    if (!FStarted) {
        FStarted = true;
        // A byte-order mark, which some writers put first.
        if (Peek() == 0xEF)
            ReadWord("\xEF\xBB\xBF");
    }
    for (;;) {
        SkipSpace();
        const int c = Peek();
        if (c < 0) {
            if (FExpect == TExpect::Nothing)
                return TToken::End;
            Fail(FOpen.empty() ? "the file holds no JSON value"
                               : "the file ends before all its objects and arrays are closed");
        }
        switch (FExpect) {
        case TExpect::Nothing:
            Fail("unexpected " + Shown(c) + " after the end of the JSON text");
        case TExpect::Colon:
            if (c != ':')
                Fail("a \":\" is expected after a member's name, not " + Shown(c));
            Take();
            FExpect = TExpect::Value;
            continue;
        case TExpect::CommaOrEnd:
            if (c == '}' || c == ']')
                return Close(static_cast<char>(c));
            if (c != ',')
                Fail("a \",\" or the end of an object or array is expected, not " + Shown(c));
            Take();
            FExpect = FOpen.back() == '{' ? TExpect::Name : TExpect::Value;
            continue;
        case TExpect::NameOrEnd:
        case TExpect::Name:
            if (c == '}' && FExpect == TExpect::NameOrEnd)
                return Close('}');
            if (c != '"')
                Fail("a member's name in quotes is expected, not " + Shown(c));
            ReadString(stringLimit);
            FIsName = true;
            FExpect = TExpect::Colon;
            return TToken::String;
        case TExpect::ValueOrEnd:
            if (c == ']')
                return Close(']');
            [[fallthrough]];
        case TExpect::Value:
            break;
        }
        switch (c) {
        case '{':
        case '[':
            if (FOpen.size() == kMaxDepth)
                Fail("objects and arrays nest more than " + std::to_string(kMaxDepth) + " deep");
            Take();
            FOpen.push_back(static_cast<char>(c));
            FExpect = c == '{' ? TExpect::NameOrEnd : TExpect::ValueOrEnd;
            return c == '{' ? TToken::BeginObject : TToken::BeginArray;
        case '"':
            ReadString(stringLimit);
            AfterValue();
            return TToken::String;
        case 't':
            ReadWord("true");
            AfterValue();
            return TToken::True;
        case 'f':
            ReadWord("false");
            AfterValue();
            return TToken::False;
        case 'n':
            ReadWord("null");
            AfterValue();
            return TToken::Null;
        default:
            if (c != '-' && !IsDigit(c))
                Fail("unexpected " + Shown(c));
            ReadNumber();
            AfterValue();
            return TToken::Number;
        }
    }
}

void TJsonStream::SkipValue(TToken token)
{
    if (token != TToken::BeginObject && token != TToken::BeginArray)
        return;
    for (int depth = 1; depth > 0;) {
        const TToken t = Next(0);
        if (t == TToken::BeginObject || t == TToken::BeginArray)
            ++depth;
        else if (t == TToken::EndObject || t == TToken::EndArray)
            --depth;
    }
}
