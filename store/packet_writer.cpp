#include <string>

#include "data_packet.h"
#include "known_params.h"
#include "marks_error.h"
#include "packet_values.h"

// Writes the packet exactly as the map application does: the declaration, two
// spaces, then the whole element tree as one run of bytes.

namespace {

void AppendAttribute(std::string& out, std::string_view name, std::string_view value)
{
    out.push_back(' ');
    out.append(name);
    out.append("=\"");
    AppendEscaped(out, value);
    out.push_back('"');
}

void AppendParamElement(std::string& out, const TPacketParam& p)
{
    out.append("<PARAM");
    AppendAttribute(out, "Name", p.Name);
    AppendAttribute(out, "Value", p.Value);
    AppendAttribute(out, "Type", p.Type);
    if (p.Roundtrip)
        out.append(" Roundtrip=\"True\"");
    out.append("/>");
}

// Closes an element whose parameters were written as attributes: "/>" when no
// parameter needs a PARAM child, else ">", the children and the end tag.
void CloseWithParamChildren(std::string& out, const std::vector<const TPacketParam*>& children, std::string_view tag)
{
    if (children.empty()) {
        out.append("/>");
        return;
    }
    out.push_back('>');
    for (const TPacketParam* p : children)
        AppendParamElement(out, *p);
    out.append("</");
    out.append(tag);
    out.push_back('>');
}

bool NeedsFieldName(const std::string& name)
{
    return name.find_first_of(" !#$%()*?") != std::string::npos;
}

bool WidthIsWritten(const TStoredField& f)
{
    const std::string& t = f.TypeName;
    return t == "string" || t == "string.uni" || t == "bin.hex" || t == "fixed" || t == "fixedFMT";
}

void AppendField(std::string& out, const TStoredField& f)
{
    if (f.TypeName.empty() || CanonicalTypeName(f.TypeName).empty())
        throw EMarksError("Fieldtype not supported for XML.");
    out.append("<FIELD");
    // The name goes into fieldname whenever the attrname alone would not give it back.
    if (NeedsFieldName(f.Name) || f.Name != f.AttrName())
        AppendAttribute(out, "fieldname", f.Name);
    AppendAttribute(out, "attrname", f.AttrName());
    AppendAttribute(out, "fieldtype", f.TypeName);
    if (f.ReadOnly)
        out.append(" readonly=\"true\"");
    if (f.Required)
        out.append(" required=\"true\"");
    if (f.Hidden)
        out.append(" hidden=\"true\"");
    if (f.LinkField)
        out.append(" linkfield=\"true\"");

    std::vector<const TPacketParam*> children;
    auto fixed = [&](std::string_view name) {
        if (const TPacketParam* p = f.Param(name)) {
            bool skip = (name == "DECIMALS" && ReadIntegerValue(p->Value).value_or(0) == 0) ||
                        (name == "WIDTH" && (!WidthIsWritten(f) || ReadIntegerValue(p->Value).value_or(0) == 0));
            if (!skip)
                AppendAttribute(out, name, p->Value);
        }
    };
    fixed("SUBTYPE");
    fixed("DECIMALS");
    fixed("WIDTH");
    fixed("CALCULATED");
    for (const TPacketParam& p : f.Params) {
        if (p.Name == "SUBTYPE" || p.Name == "DECIMALS" || p.Name == "WIDTH" || p.Name == "CALCULATED")
            continue;
        if (KnownParamType(p.Name))
            AppendAttribute(out, p.Name, p.Value);
        else
            children.push_back(&p);
    }
    CloseWithParamChildren(out, children, "FIELD");
}

bool IsKeyOrder(std::string_view name)
{
    return name == "DEFAULT_ORDER" || name == "PRIMARY_KEY" || name == "UNIQUE_KEY";
}

void AppendTableParams(std::string& out, const TPacketContent& c)
{
    out.append("<PARAMS");
    std::vector<const TPacketParam*> children;
    auto put = [&](const TPacketParam& p) {
        if (KnownParamType(p.Name))
            AppendAttribute(out, p.Name, p.Value);
        else
            children.push_back(&p);
    };
    for (const TPacketParam& p : c.Params)
        if (IsKeyOrder(p.Name))
            put(p);
    if (!c.ChangeLog.empty()) {
        std::string log;
        for (const TChangeLogEntry& e : c.ChangeLog) {
            if (!log.empty())
                log.push_back(' ');
            AppendInteger(log, static_cast<std::int64_t>(e.Row + 1));
            log.push_back(' ');
            AppendInteger(log, e.Previous == kNoRow ? 0 : static_cast<std::int64_t>(e.Previous + 1));
            log.push_back(' ');
            AppendInteger(log, e.Action);
        }
        AppendAttribute(out, "CHANGE_LOG", log);
    }
    if (c.AutoIncField() >= 0) {
        out.append(" AUTOINCVALUE=\"");
        AppendInteger(out, c.AutoIncValue);
        out.push_back('"');
    }
    for (const TPacketParam& p : c.Params)
        if (!IsKeyOrder(p.Name) && p.Name != "CHANGE_LOG" && p.Name != "AUTOINCVALUE")
            put(p);
    CloseWithParamChildren(out, children, "PARAMS");
}

void AppendValue(std::string& out, const TValueView& v, TValueForm form)
{
    switch (v.index()) {
    case 1: AppendInteger(out, std::get<std::int64_t>(v)); break;
    case 2: AppendFloat(out, std::get<double>(v)); break;
    case 3: out.append(std::get<bool>(v) ? "TRUE" : "FALSE"); break;
    case 4:
        if (form == TValueForm::Base64)
            AppendBase64(out, std::get<std::string_view>(v));
        else
            AppendEscaped(out, std::get<std::string_view>(v));
        break;
    default: break;
    }
}

// Rows are written through the source's own type, so that the calls of a source
// known exactly (plain content) are direct.
template <typename TSource>
void AppendRow(std::string& out, const TSource& rows, size_t row, bool withState,
               const std::vector<std::string>& attrNames, const std::vector<TValueForm>& forms)
{
    out.append("<ROW");
    const std::uint8_t state = rows.RowState(row);
    if (withState && state != 0) {
        out.append(" RowState=\"");
        AppendInteger(out, state);
        out.push_back('"');
    }
    for (size_t i = 0; i < attrNames.size(); ++i) {
        const TValueView v = rows.Value(row, i);
        if (v.index() == 0)
            continue;
        out.push_back(' ');
        out.append(attrNames[i]);
        out.append("=\"");
        AppendValue(out, v, forms[i]);
        out.push_back('"');
    }
    out.append("/>");
}

template <typename TSource>
size_t EstimateSize(const TPacketContent& c, const TSource& rows)
{
    const size_t values = rows.RowCount() * c.Fields.size();
    return 512 + c.Fields.size() * 96 + rows.RowCount() * 8 + values * 28 + rows.BytesHeld() * 4 / 3;
}

// The rows of plain content.
class TStoredRowSource final : public TRowSource {
public:
    explicit TStoredRowSource(const std::vector<TStoredRow>& rows) : FRows(rows) {}
    size_t RowCount() const override { return FRows.size(); }
    std::uint8_t RowState(size_t row) const override { return FRows[row].State; }
    size_t BytesHeld() const override
    {
        size_t bytes = 0;
        for (const TStoredRow& row : FRows)
            for (const TFieldValue& v : row.Values)
                if (const auto* s = std::get_if<std::string>(&v))
                    bytes += s->size();
        return bytes;
    }
    TValueView Value(size_t row, size_t field) const override
    {
        const std::vector<TFieldValue>& values = FRows[row].Values;
        return field < values.size() ? ViewOf(values[field]) : TValueView();
    }

private:
    const std::vector<TStoredRow>& FRows;
};

template <typename TSource>
std::string WritePacket(const TPacketContent& c, const TSource& rows)
{
    std::string out;
    out.reserve(EstimateSize(c, rows));
    out.append("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    std::vector<std::string> attrNames;
    std::vector<TValueForm> forms;
    for (const TStoredField& f : c.Fields) {
        AppendField(out, f);
        attrNames.push_back(f.AttrName());
        forms.push_back(f.Form());
    }
    out.append("</FIELDS>");
    AppendTableParams(out, c);
    out.append("</METADATA><ROWDATA>");
    bool withLog = !c.ChangeLog.empty();
    for (size_t row = 0; row < rows.RowCount(); ++row)
        if (withLog || (rows.RowState(row) & kHiddenStates) == 0)
            AppendRow(out, rows, row, withLog, attrNames, forms);
    out.append("</ROWDATA></DATAPACKET>");
    return out;
}

} // namespace

std::string WriteXmlPacket(const TPacketContent& c, const TRowSource& rows)
{
    return WritePacket(c, rows);
}

std::string WriteXmlPacket(const TPacketContent& c)
{
    return WritePacket(c, TStoredRowSource(c.Rows));
}
