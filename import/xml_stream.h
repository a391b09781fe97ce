#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A forward-only pull reader over an XML document of any size (libxml2's text
// reader): the document is never built as a tree, and every failure becomes an
// EMarksError naming the file, the line and the reason.
//
// Documents are data: no DTD is loaded, no entity of a DTD is expanded, nothing is
// fetched from the network, and libxml2's limits on the size of one text node stay
// in force, so a single huge text fails instead of filling the memory.

class TXmlStream {
public:
    // Fills the buffer; returns the number of bytes, 0 at the end, or -1 after
    // setting the reason on failure.
    using TSource = std::function<int(char* buffer, int size, std::string& reason)>;

    // fileName is what messages call the file ("Cannot import file \"%s\". ...");
    // part, when not empty, names the document inside it (the KML of a KMZ).
    TXmlStream(std::string fileName, std::string part, TSource source);
    ~TXmlStream();
    TXmlStream(const TXmlStream&) = delete;
    TXmlStream& operator=(const TXmlStream&) = delete;

    // Moves to the next node; false at the end of the document.
    bool Read();

    bool IsStartElement() const;
    bool IsEndElement() const;
    bool IsEmptyElement() const;
    std::string_view LocalName() const;
    std::string_view NamespaceUri() const;
    std::optional<std::string> Attribute(const char* name) const;

    // On a start element: the text inside it (text and CDATA of all its
    // descendants), reading up to and including its end tag. Where the element
    // holds CDATA, text that is only white space around the sections is layout and
    // left out.
    std::string ElementText();

    // Stops the import with the reason, at the line being read.
    [[noreturn]] void Fail(const std::string& reason) const;
    [[noreturn]] void FailAt(int line, const std::string& reason) const;

    // What the reader's callbacks share with the stream.
    struct TState;

private:
    std::unique_ptr<TState> FState;
};
