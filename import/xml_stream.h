#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "import_stream.h"

// A forward-only pull reader over an XML document of any size. libxml2 parses the
// bytes as they come (its push parser with our own SAX handlers, so no tree is ever
// built) and the stream hands out what it found, one node at a time. Every failure
// becomes an EMarksError naming the file, the line and the reason in our own words.
//
// Documents are data: nothing is fetched from a file or the network (an external
// entity reads as empty text), internal entities are expanded within libxml2's
// limits and ours (no more than ten times the document's own bytes), elements nest
// at most 256 deep, and a text of any length is handed out in pieces, so its size
// alone never fills the memory.

class TXmlStream : public TImportStream {
public:
    // Fills the buffer; returns the number of bytes, 0 at the end, or -1 after
    // setting the reason on failure. It may also throw an EMarksError of its own.
    using TSource = std::function<int(char* buffer, int size, std::string& reason)>;

    // fileName is what messages call the file ("Cannot import file \"%s\". ...");
    // part, when not empty, names the document inside it (the KML of a KMZ).
    TXmlStream(std::string fileName, std::string part, TSource source);
    ~TXmlStream();
    TXmlStream(const TXmlStream&) = delete;
    TXmlStream& operator=(const TXmlStream&) = delete;

    // Moves to the next start tag, end tag or piece of text; false at the end of the
    // document. Every element gives a start and an end, also when written "<a/>".
    bool Read();

    bool IsStartElement() const;
    bool IsEndElement() const;
    std::string_view LocalName() const;
    std::string_view NamespaceUri() const;
    // The prefix as written, also when no namespace declares it.
    std::string_view Prefix() const;
    std::optional<std::string> Attribute(std::string_view name) const;

    // On a start element: reads up to and including its end tag, handing every piece
    // of text and CDATA inside it (its descendants' too) to the callback in order.
    void ReadText(const std::function<void(std::string_view piece)>& piece);

    // The same text as one string, keeping at most limit bytes (cut before a
    // character that would not fit whole); cut, when given, tells whether text was
    // left out. Where the element holds CDATA, text that is only white space around
    // the sections is layout and left out.
    std::string ElementText(std::size_t limit, bool* cut = nullptr);

    // The line of the node the stream stands on.
    int Line() const;

    // Stops the import with the reason, at the line being read.
    [[noreturn]] void Fail(const std::string& reason) const override;
    [[noreturn]] void FailAt(int line, const std::string& reason) const;

    // What the parser's callbacks share with the stream.
    struct TState;

private:
    std::unique_ptr<TState> FState;
};
