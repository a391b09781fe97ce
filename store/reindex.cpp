#include "reindex.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <string>

#include "code_page.h"
#include "marks_error.h"

namespace {

using TDocument = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// "reason, line break, Line: number, line break, the first 40 characters of the line".
std::string ParseErrorMessage(const std::string& text, const xmlError* error)
{
    std::string reason = error && error->message ? error->message : "The document could not be parsed";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        reason.pop_back();
    int line = error ? error->line : 0;
    std::string source;
    if (line > 0) {
        size_t start = 0;
        for (int l = 1; l < line && start != std::string::npos; ++l) {
            start = text.find('\n', start);
            if (start != std::string::npos)
                ++start;
        }
        if (start != std::string::npos)
            source = text.substr(start, std::min(text.find('\n', start), start + 40) - start);
    }
    return reason + "\n" + "Line" + ": " + std::to_string(line) + "\n" + Cp1251ToUtf8(source);
}

void IgnoreGenericError(void*, const char*, ...) {}
void IgnoreStructuredError(void*, xmlErrorPtr) {}

// libxml2 prints some errors itself (to standard error) whatever the parse options
// say; while the packet is parsed and written its reports go nowhere, and the error
// that matters is taken from the parser context.
class TQuietLibxml {
public:
    TQuietLibxml()
        : FStructured(xmlStructuredError), FStructuredContext(xmlStructuredErrorContext), FGeneric(xmlGenericError),
          FGenericContext(xmlGenericErrorContext)
    {
        xmlSetStructuredErrorFunc(nullptr, IgnoreStructuredError);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    }
    ~TQuietLibxml()
    {
        xmlSetStructuredErrorFunc(FStructuredContext, FStructured);
        xmlSetGenericErrorFunc(FGenericContext, FGeneric);
    }
    TQuietLibxml(const TQuietLibxml&) = delete;
    TQuietLibxml& operator=(const TQuietLibxml&) = delete;

private:
    xmlStructuredErrorFunc FStructured;
    void* FStructuredContext;
    xmlGenericErrorFunc FGeneric;
    void* FGenericContext;
};

using TParserContext = std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)>;

xmlNode* ChildElement(xmlNode* first, const char* name)
{
    for (xmlNode* n = first; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, BAD_CAST name) == 0)
            return n;
    return nullptr;
}

void SetIntAttribute(xmlNode* node, const char* name, long value)
{
    xmlSetProp(node, BAD_CAST name, BAD_CAST std::to_string(value).c_str());
}

} // namespace

void ReindexMarks(TClientDataSet& marks)
{
    TSuspendedViews suspended(marks);
    TQuietLibxml quiet;
    std::string text = marks.PacketText();
    const std::string plain = "<?xml version=\"1.0\" standalone=\"yes\"?>";
    const std::string declared = "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>";
    const size_t at = text.find(plain);
    if (at != std::string::npos)
        text.replace(at, plain.size(), declared);
    // libxml2's own Windows-1251 table lacks a byte that the packet reader accepts
    // (0x98), so the parser gets the text converted with this program's table, as
    // UTF-8 under a declaration that says so. The conversion keeps every line break,
    // so the parser's line numbers are those of the text.
    std::string utf8 = Cp1251ToUtf8(text);
    if (at != std::string::npos)
        utf8.replace(Cp1251ToUtf8(text.substr(0, at)).size(), declared.size(),
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>");

    TParserContext parser(xmlNewParserCtxt(), xmlFreeParserCtxt);
    if (!parser)
        throw EMarksError("Insufficient memory for this operation.");
    TDocument doc(xmlCtxtReadMemory(parser.get(), utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE),
                  xmlFreeDoc);
    if (!doc)
        throw EMarksError(ParseErrorMessage(text, xmlCtxtGetLastError(parser.get())));

    xmlNode* packet = ChildElement(doc->children, "DATAPACKET");
    xmlNode* metadata = packet ? ChildElement(packet->children, "METADATA") : nullptr;
    xmlNode* params = metadata ? ChildElement(metadata->children, "PARAMS") : nullptr;
    xmlNode* rowData = packet ? ChildElement(packet->children, "ROWDATA") : nullptr;
    if (!params || !rowData)
        throw EMarksError("The marks packet has no PARAMS or ROWDATA element to renumber.");
    long n = 0;
    for (xmlNode* row = rowData->children; row; row = row->next, ++n)
        SetIntAttribute(row, "id", n);
    SetIntAttribute(params, "AUTOINCVALUE", n);

    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc.get(), &out, &size, "UTF-8");
    if (!out)
        throw EMarksError("The renumbered marks packet could not be written.");
    // Back to Windows-1251 with the same table, under a declaration that says so.
    std::string written = Utf8ToCp1251(std::string_view(reinterpret_cast<const char*>(out), static_cast<size_t>(size)));
    xmlFree(out);
    const std::string utf8Name = "encoding=\"UTF-8\"";
    if (size_t found = written.find(utf8Name); found != std::string::npos && found < written.find("?>"))
        written.replace(found, utf8Name.size(), "encoding=\"windows-1251\"");

    std::string result;
    result.reserve(written.size() + 64);
    size_t start = 0;
    while (start < written.size()) {
        size_t end = written.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = written.size();
        result.append(written, start, end - start);
        result.append("\r\n");
        if (end < written.size() && written[end] == '\r' && end + 1 < written.size() && written[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    marks.SetPacketText(result);
}
