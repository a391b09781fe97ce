#include "reindex.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <memory>
#include <string>

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
    return reason + "\n" + "Line" + ": " + std::to_string(line) + "\n" + source;
}

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
    std::string text = marks.PacketText();
    const std::string plain = "<?xml version=\"1.0\" standalone=\"yes\"?>";
    if (size_t at = text.find(plain); at != std::string::npos)
        text.replace(at, plain.size(), "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>");

    xmlResetLastError();
    TDocument doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE),
                  xmlFreeDoc);
    if (!doc)
        throw EMarksError(ParseErrorMessage(text, xmlGetLastError()));

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
    xmlDocDumpMemoryEnc(doc.get(), &out, &size, "windows-1251");
    if (!out)
        throw EMarksError("The renumbered marks packet could not be written.");
    std::string written(reinterpret_cast<const char*>(out), static_cast<size_t>(size));
    xmlFree(out);

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
