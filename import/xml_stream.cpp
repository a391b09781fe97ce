#include "xml_stream.h"

#include <libxml/xmlreader.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "marks_error.h"

struct TXmlStream::TState {
    std::string FileName;
    std::string Part;
    TSource Source;
    std::string SourceError;
    bool SourceEnded = false;
    std::string ParseError; // the first fatal error, or else the last error
    int ParseErrorLine = 0;
    int ParseErrorCode = 0;
    bool ParseErrorFatal = false;
    xmlTextReaderPtr Reader = nullptr;
};

namespace {

int ReadCallback(void* context, char* buffer, int size)
{
    auto* state = static_cast<TXmlStream::TState*>(context);
    try {
        int n = state->Source(buffer, size, state->SourceError);
        state->SourceEnded = n == 0;
        return n;
    } catch (...) {
        // Nothing may pass through the parser's C frames.
        state->SourceError = ErrorMessageOf();
        return -1;
    }
}

int CloseCallback(void*)
{
    return 0;
}

// Keeps the error that stopped the reading. Warnings, and the errors that do not
// stop it (such as the undeclared "gx:" prefix many writers leave), are no reason to
// refuse a file; they only matter when nothing fatal is reported.
void ErrorCallback(void* context, xmlErrorPtr error)
{
    auto* state = static_cast<TXmlStream::TState*>(context);
    if (!error || error->level < XML_ERR_ERROR || state->ParseErrorFatal)
        return;
    std::string message = error->message ? error->message : "unreadable XML";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    state->ParseError = message;
    state->ParseErrorLine = error->line;
    state->ParseErrorCode = error->code;
    state->ParseErrorFatal = error->level == XML_ERR_FATAL;
}

std::string_view View(const xmlChar* text)
{
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

// The callbacks reach the state through libxml2's void pointers.
TXmlStream::TXmlStream(std::string fileName, std::string part, TSource source) : FState(std::make_unique<TState>())
{
    xmlInitParser();
    FState->FileName = std::move(fileName);
    FState->Part = std::move(part);
    FState->Source = std::move(source);
    FState->Reader = xmlReaderForIO(ReadCallback, CloseCallback, FState.get(), nullptr, nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_COMPACT);
    if (!FState->Reader)
        throw EMarksError("Insufficient memory for this operation.");
    xmlTextReaderSetStructuredErrorHandler(FState->Reader, ErrorCallback, FState.get());
}

TXmlStream::~TXmlStream()
{
    xmlFreeTextReader(FState->Reader);
}

void TXmlStream::Fail(const std::string& reason) const
{
    FailAt(xmlTextReaderGetParserLineNumber(FState->Reader), reason);
}

void TXmlStream::FailAt(int line, const std::string& reason) const
{
    std::string message = "Cannot import file \"" + FState->FileName + "\". ";
    message += FState->Part.empty() ? "Line " : FState->Part + ", line ";
    throw EMarksError(message + std::to_string(std::max(line, 1)) + ": " + reason);
}

bool TXmlStream::Read()
{
    int result = xmlTextReaderRead(FState->Reader);
    if (result == 1)
        return true;
    if (result == 0)
        return false;
    if (!FState->SourceError.empty())
        Fail(FState->SourceError);
    if (FState->ParseError.empty())
        Fail("the XML document cannot be read");
    // The streaming parser reports a file that ends inside an element as extra
    // content; say what happened instead.
    if (FState->ParseErrorCode == XML_ERR_DOCUMENT_END && FState->SourceEnded)
        FailAt(FState->ParseErrorLine, "the file ends before all its elements are closed");
    FailAt(FState->ParseErrorLine, FState->ParseError);
}

bool TXmlStream::IsStartElement() const
{
    return xmlTextReaderNodeType(FState->Reader) == XML_READER_TYPE_ELEMENT;
}

bool TXmlStream::IsEndElement() const
{
    return xmlTextReaderNodeType(FState->Reader) == XML_READER_TYPE_END_ELEMENT;
}

bool TXmlStream::IsEmptyElement() const
{
    return xmlTextReaderIsEmptyElement(FState->Reader) == 1;
}

std::string_view TXmlStream::LocalName() const
{
    return View(xmlTextReaderConstLocalName(FState->Reader));
}

std::string_view TXmlStream::NamespaceUri() const
{
    return View(xmlTextReaderConstNamespaceUri(FState->Reader));
}

std::optional<std::string> TXmlStream::Attribute(const char* name) const
{
    xmlChar* value = xmlTextReaderGetAttribute(FState->Reader, reinterpret_cast<const xmlChar*>(name));
    if (!value)
        return std::nullopt;
    std::string text(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

std::string TXmlStream::ElementText()
{
    std::string text;
    // Where the pieces that are only white space lie in text, dropped at the end
    // when the element holds CDATA.
    std::vector<std::pair<size_t, size_t>> layout;
    bool hasCdata = false;
    if (IsEmptyElement())
        return text;
    for (int depth = 1; depth > 0;) {
        if (!Read())
            Fail("the document ends inside an element");
        switch (xmlTextReaderNodeType(FState->Reader)) {
        case XML_READER_TYPE_ELEMENT:
            if (!IsEmptyElement())
                ++depth;
            break;
        case XML_READER_TYPE_END_ELEMENT:
            --depth;
            break;
        case XML_READER_TYPE_CDATA:
            hasCdata = true;
            text += View(xmlTextReaderConstValue(FState->Reader));
            break;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE: {
            std::string_view piece = View(xmlTextReaderConstValue(FState->Reader));
            if (std::all_of(piece.begin(), piece.end(), IsXmlSpace))
                layout.emplace_back(text.size(), piece.size());
            text += piece;
            break;
        }
        default:
            break;
        }
    }
    if (!hasCdata || layout.empty())
        return text;
    std::string kept;
    size_t from = 0;
    for (const auto& [at, length] : layout) {
        kept.append(text, from, at - from);
        from = at + length;
    }
    kept.append(text, from);
    return kept;
}
