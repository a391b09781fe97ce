#include "xml_stream.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "marks_error.h"

namespace {

enum class TKind { Start, End, Text, Cdata };

// Where a string of the last chunk parsed stands in the stream's arena.
struct TSpan {
    size_t Begin = 0;
    size_t Length = 0;
};

// One node found by the parser: a start or end tag, or a piece of text or CDATA.
struct TEvent {
    TKind Kind = TKind::Text;
    int Line = 0;
    TSpan Local;
    TSpan Uri;
    TSpan Prefix;
    TSpan Text;
    size_t FirstAttribute = 0;
    size_t Attributes = 0;
};

struct TAttribute {
    TSpan Name;
    TSpan Value;
};

// The bytes handed to the parser at a time.
constexpr int kChunk = 65536;
// libxml2's own bound on nesting, which its push parser does not apply by itself.
constexpr int kMaxDepth = 256;
// Internal entities may expand a document to ten times its bytes (libxml2's measure
// of a reasonable expansion), beyond a first allowance for small documents.
constexpr std::uint64_t kExpansionFactor = 10;
constexpr std::uint64_t kExpansionAllowance = 16u << 20;

constexpr const char* kOutOfMemory = "Insufficient memory for this operation.";
constexpr const char* kTooMuchExpansion = "its entities expand to far more text than the file holds";

} // namespace

struct TXmlStream::TState {
    std::string FileName;
    std::string Part;
    TSource Source;
    xmlParserCtxtPtr Ctxt = nullptr;
    std::vector<char> Buffer;

    // The nodes of the last chunk parsed, their attributes, and the arena that
    // holds all their strings in one piece, which is reused for the next chunk.
    std::vector<TEvent> Events;
    size_t Next = 0;
    std::vector<TAttribute> Attributes;
    std::string Arena;
    const TEvent* Current = nullptr;

    int Depth = 0;
    bool SeenElement = false;
    bool OnlySpaceRead = true;
    bool SourceEnded = false;
    bool ParseEnded = false;
    std::uint64_t Fed = 0;    // bytes given to the parser
    std::uint64_t Handed = 0; // bytes of text and attribute values it gave back

    // Why a callback stopped the parser, and where.
    std::string StopReason;
    int StopLine = 0;
    // The first fatal error libxml2 reported.
    bool Fatal = false;
    bool FatalAtEnd = false;
    int ErrorCode = 0;
    int ErrorLine = 0;
    std::string ErrorMessage;
};

namespace {

using TState = TXmlStream::TState;

TState* StateOf(void* context)
{
    return context ? static_cast<TState*>(static_cast<xmlParserCtxtPtr>(context)->_private) : nullptr;
}

// The line in the document itself, also while an entity's text is being parsed.
int LineOf(const TState& s)
{
    return s.Ctxt && s.Ctxt->input ? s.Ctxt->input->line : 0;
}

void Stop(TState& s, const char* reason)
{
    if (!s.StopReason.empty())
        return;
    s.StopReason = reason;
    s.StopLine = LineOf(s);
    xmlStopParser(s.Ctxt);
}

TEvent& NewEvent(TState& s, TKind kind)
{
    TEvent& e = s.Events.emplace_back();
    e.Kind = kind;
    e.Line = LineOf(s);
    return e;
}

TSpan Keep(TState& s, const char* text, size_t length)
{
    const TSpan span{s.Arena.size(), length};
    s.Arena.append(text, length);
    return span;
}

TSpan Keep(TState& s, const xmlChar* text)
{
    const char* chars = reinterpret_cast<const char*>(text);
    return chars ? Keep(s, chars, std::strlen(chars)) : TSpan{};
}

bool HandOver(TState& s, std::uint64_t bytes)
{
    s.Handed += bytes;
    if (s.Handed <= kExpansionFactor * s.Fed + kExpansionAllowance)
        return true;
    Stop(s, kTooMuchExpansion);
    return false;
}

void StartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri, int,
                  const xmlChar**, int attributeCount, int, const xmlChar** attributes)
{
    TState* s = StateOf(context);
    if (!s || !s->StopReason.empty())
        return;
    try {
        if (++s->Depth > kMaxDepth) {
            Stop(*s, "the elements are nested more than 256 deep");
            return;
        }
        s->SeenElement = true;
        TEvent& e = NewEvent(*s, TKind::Start);
        e.Local = Keep(*s, localName);
        e.Prefix = Keep(*s, prefix);
        e.Uri = Keep(*s, uri);
        e.FirstAttribute = s->Attributes.size();
        e.Attributes = static_cast<size_t>(attributeCount);
        std::uint64_t bytes = 0;
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar* const* a = attributes + 5 * i;
            const auto length = static_cast<size_t>(a[4] - a[3]);
            TAttribute& attribute = s->Attributes.emplace_back();
            attribute.Name = Keep(*s, a[0]);
            attribute.Value = Keep(*s, reinterpret_cast<const char*>(a[3]), length);
            bytes += length;
        }
        HandOver(*s, bytes);
    } catch (...) {
        Stop(*s, kOutOfMemory);
    }
}

void EndElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri)
{
    TState* s = StateOf(context);
    if (!s || !s->StopReason.empty())
        return;
    try {
        --s->Depth;
        TEvent& e = NewEvent(*s, TKind::End);
        e.Local = Keep(*s, localName);
        e.Prefix = Keep(*s, prefix);
        e.Uri = Keep(*s, uri);
    } catch (...) {
        Stop(*s, kOutOfMemory);
    }
}

void AddText(void* context, const xmlChar* text, int length, TKind kind)
{
    TState* s = StateOf(context);
    // An empty CDATA section still counts: it marks the white space around it as layout.
    if (!s || !s->StopReason.empty() || length < 0 || (length == 0 && kind == TKind::Text) ||
        !HandOver(*s, static_cast<std::uint64_t>(length)))
        return;
    try {
        // Pieces of one text come in several calls; they stay one node, whose text
        // is the last thing in the arena.
        TEvent* e = s->Events.empty() ? nullptr : &s->Events.back();
        if (!e || e->Kind != kind)
            (e = &NewEvent(*s, kind))->Text = {s->Arena.size(), 0};
        s->Arena.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
        e->Text.Length += static_cast<size_t>(length);
    } catch (...) {
        Stop(*s, kOutOfMemory);
    }
}

void Characters(void* context, const xmlChar* text, int length)
{
    AddText(context, text, length, TKind::Text);
}

void Cdata(void* context, const xmlChar* text, int length)
{
    AddText(context, text, length, TKind::Cdata);
}

// Only internal entities are declared as written. An external one is declared with
// empty text, so a reference to it reads as nothing and no file or address it names
// is ever opened.
void EntityDecl(void* context, const xmlChar* name, int type, const xmlChar* publicId, const xmlChar* systemId,
                xmlChar* content)
{
    static xmlChar empty[] = "";
    switch (type) {
    case XML_INTERNAL_GENERAL_ENTITY:
    case XML_INTERNAL_PARAMETER_ENTITY:
        xmlSAX2EntityDecl(context, name, type, publicId, systemId, content);
        break;
    case XML_EXTERNAL_PARAMETER_ENTITY:
        xmlSAX2EntityDecl(context, name, XML_INTERNAL_PARAMETER_ENTITY, nullptr, nullptr, empty);
        break;
    default:
        xmlSAX2EntityDecl(context, name, XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr, empty);
        break;
    }
}

// Keeps the first fatal error. Other errors (such as the undeclared "gx:" prefix
// many writers leave) do not stop the parser and are no reason to refuse a file.
void ErrorCallback(void* context, xmlErrorPtr error)
{
    TState* s = StateOf(context);
    if (!s || !error || error->level != XML_ERR_FATAL || s->Fatal)
        return;
    s->Fatal = true;
    s->FatalAtEnd = s->SourceEnded;
    s->ErrorCode = error->code;
    // An error inside an entity's text counts lines from the entity's start.
    s->ErrorLine = context == s->Ctxt ? error->line : LineOf(*s);
    s->ErrorMessage = error->message ? error->message : "";
    while (!s->ErrorMessage.empty() && (s->ErrorMessage.back() == '\n' || s->ErrorMessage.back() == ' '))
        s->ErrorMessage.pop_back();
}

xmlSAXHandler Handler()
{
    xmlSAXHandler h;
    std::memset(&h, 0, sizeof h);
    xmlSAXVersion(&h, 2);
    // The declarations of the internal subset are kept (entities and attribute
    // defaults); nothing else builds a tree or reads anything from outside.
    h.startElementNs = StartElement;
    h.endElementNs = EndElement;
    h.characters = Characters;
    h.ignorableWhitespace = Characters;
    h.cdataBlock = Cdata;
    h.entityDecl = EntityDecl;
    h.serror = ErrorCallback;
    h.error = nullptr;
    h.warning = nullptr;
    h.externalSubset = nullptr;
    h.resolveEntity = nullptr;
    h.reference = nullptr;
    h.processingInstruction = nullptr;
    h.comment = nullptr;
    h.startElement = nullptr;
    h.endElement = nullptr;
    return h;
}

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Text kept up to a number of bytes, never ending in part of a character.
struct TLimitedText {
    std::string Text;
    bool Whole = true;

    void Append(std::string_view piece, size_t limit)
    {
        if (!Whole || Text.size() + piece.size() <= limit) {
            if (Whole)
                Text.append(piece);
            else
                Whole = piece.empty();
            return;
        }
        size_t take = limit > Text.size() ? limit - Text.size() : 0;
        while (take > 0 && (static_cast<unsigned char>(piece[take]) & 0xC0) == 0x80)
            --take;
        Text.append(piece.substr(0, take));
        Whole = false;
    }
};

std::string Sentence(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

} // namespace

TXmlStream::TXmlStream(std::string fileName, std::string part, TSource source) : FState(std::make_unique<TState>())
{
    xmlInitParser();
    FState->FileName = std::move(fileName);
    FState->Part = std::move(part);
    FState->Source = std::move(source);
    FState->Buffer.resize(kChunk);
    xmlSAXHandler handler = Handler();
    FState->Ctxt = xmlCreatePushParserCtxt(&handler, nullptr, nullptr, 0, nullptr);
    if (!FState->Ctxt)
        throw EMarksError(kOutOfMemory);
    // Entities are replaced by their text (ours are all internal, see EntityDecl);
    // libxml2's limits on their expansion stay in force (no XML_PARSE_HUGE).
    xmlCtxtUseOptions(FState->Ctxt, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOWARNING);
    FState->Ctxt->_private = FState.get();
}

TXmlStream::~TXmlStream()
{
    if (FState->Ctxt->myDoc)
        xmlFreeDoc(FState->Ctxt->myDoc);
    xmlFreeParserCtxt(FState->Ctxt);
}

int TXmlStream::Line() const
{
    return FState->Current ? FState->Current->Line : LineOf(*FState);
}

void TXmlStream::Fail(const std::string& reason) const
{
    FailAt(Line(), reason);
}

void TXmlStream::FailAt(int line, const std::string& reason) const
{
    std::string message = "Cannot import file \"" + FState->FileName + "\". ";
    message += FState->Part.empty() ? "Line " : FState->Part + ", line ";
    throw EMarksError(message + std::to_string(std::max(line, 1)) + ": " + reason);
}

bool TXmlStream::Read()
{
    TState& s = *FState;
    while (s.Next == s.Events.size()) {
        s.Current = nullptr;
        if (s.ParseEnded)
            return false;
        s.Events.clear();
        s.Attributes.clear();
        s.Arena.clear();
        s.Next = 0;
        int n = 0;
        if (!s.SourceEnded) {
            std::string reason;
            n = s.Source(s.Buffer.data(), kChunk, reason);
            if (n < 0)
                Fail(reason.empty() ? "the file cannot be read" : reason);
            s.SourceEnded = n == 0;
            for (int i = 0; s.OnlySpaceRead && i < n; ++i)
                s.OnlySpaceRead = IsXmlSpace(s.Buffer[static_cast<size_t>(i)]);
            s.Fed += static_cast<std::uint64_t>(n);
        }
        const int result = xmlParseChunk(s.Ctxt, s.Buffer.data(), n, n == 0);
        s.ParseEnded = n == 0;
        if (!s.StopReason.empty()) {
            if (s.StopReason == kOutOfMemory)
                throw EMarksError("Cannot import file \"" + s.FileName + "\". " + kOutOfMemory);
            FailAt(s.StopLine, s.StopReason);
        }
        if (result != 0 || s.Fatal) {
            const std::string prefix = "Cannot import file \"" + s.FileName + "\". ";
            const std::string document = s.Part.empty() ? "file" : "document \"" + s.Part + "\" in the archive";
            if (!s.SeenElement && s.OnlySpaceRead)
                throw EMarksError(prefix + Sentence("the " + document + " is empty"));
            if (!s.SeenElement && (s.ErrorCode == XML_ERR_DOCUMENT_EMPTY || s.ErrorCode == XML_ERR_INVALID_CHAR ||
                                   s.ErrorCode == XML_ERR_DOCUMENT_START || s.ErrorCode == XML_ERR_INVALID_ENCODING))
                throw EMarksError(prefix + (s.Part.empty() ? "It is not a GPX, KML, KMZ or GeoJSON file."
                                                           : "The " + document + " is not a KML document."));
            if (s.ErrorCode == XML_ERR_NO_MEMORY)
                throw EMarksError(prefix + kOutOfMemory);
            if (s.FatalAtEnd && s.Depth > 0)
                FailAt(s.ErrorLine, "the file ends before all its elements are closed");
            if (s.ErrorCode == XML_ERR_ENTITY_LOOP)
                FailAt(s.ErrorLine, kTooMuchExpansion);
            if (s.ErrorCode == XML_ERR_INTERNAL_ERROR && s.ErrorMessage.find("Huge input lookup") != std::string::npos)
                FailAt(s.ErrorLine, "a tag, a comment or a CDATA section runs over more than 10 MB, "
                                    "more than this program reads at once");
            FailAt(s.ErrorLine, s.ErrorMessage.empty() ? "the XML document cannot be read" : Sentence(s.ErrorMessage));
        }
    }
    s.Current = &s.Events[s.Next++];
    return true;
}

bool TXmlStream::IsStartElement() const
{
    return FState->Current && FState->Current->Kind == TKind::Start;
}

bool TXmlStream::IsEndElement() const
{
    return FState->Current && FState->Current->Kind == TKind::End;
}

namespace {

std::string_view View(const TState& s, TSpan span)
{
    return std::string_view(s.Arena).substr(span.Begin, span.Length);
}

} // namespace

std::string_view TXmlStream::LocalName() const
{
    return FState->Current ? View(*FState, FState->Current->Local) : std::string_view();
}

std::string_view TXmlStream::NamespaceUri() const
{
    return FState->Current ? View(*FState, FState->Current->Uri) : std::string_view();
}

std::string_view TXmlStream::Prefix() const
{
    return FState->Current ? View(*FState, FState->Current->Prefix) : std::string_view();
}

std::optional<std::string> TXmlStream::Attribute(std::string_view name) const
{
    const TEvent* e = FState->Current;
    if (!e || e->Kind != TKind::Start)
        return std::nullopt;
    for (size_t i = e->FirstAttribute; i < e->FirstAttribute + e->Attributes; ++i)
        if (View(*FState, FState->Attributes[i].Name) == name)
            return std::string(View(*FState, FState->Attributes[i].Value));
    return std::nullopt;
}

void TXmlStream::ReadText(const std::function<void(std::string_view piece)>& piece)
{
    for (int depth = 1; depth > 0;) {
        if (!Read())
            Fail("the document ends inside an element");
        const TEvent& e = *FState->Current;
        if (e.Kind == TKind::Start)
            ++depth;
        else if (e.Kind == TKind::End)
            --depth;
        else
            piece(View(*FState, e.Text));
    }
}

std::string TXmlStream::ElementText(std::size_t limit, bool* cut)
{
    // Both readings are kept until the end shows whether there is CDATA: all the
    // text, and the text without the runs that are only white space (a run is held
    // until it is known whether it is one).
    TLimitedText all;
    TLimitedText solid;
    TLimitedText run;
    bool runIsSpace = true;
    bool hasCdata = false;
    auto endRun = [&] {
        if (!runIsSpace) {
            solid.Append(run.Text, limit);
            solid.Whole = solid.Whole && run.Whole;
        }
        run = {};
        runIsSpace = true;
    };
    for (int depth = 1; depth > 0;) {
        if (!Read())
            Fail("the document ends inside an element");
        const TEvent& e = *FState->Current;
        const std::string_view text = View(*FState, e.Text);
        switch (e.Kind) {
        case TKind::Start:
            ++depth;
            endRun();
            break;
        case TKind::End:
            --depth;
            endRun();
            break;
        case TKind::Cdata:
            endRun();
            hasCdata = true;
            all.Append(text, limit);
            solid.Append(text, limit);
            break;
        case TKind::Text:
            all.Append(text, limit);
            if (runIsSpace && !std::all_of(text.begin(), text.end(), IsXmlSpace))
                runIsSpace = false;
            run.Append(text, limit);
            break;
        }
    }
    TLimitedText& kept = hasCdata ? solid : all;
    if (cut)
        *cut = !kept.Whole;
    return std::move(kept.Text);
}
