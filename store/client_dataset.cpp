#include "client_dataset.h"

#include <algorithm>

#include "ascii.h"
#include "file_io.h"
#include "marks_error.h"

// Opening, closing, files, merging and the pending change count.

namespace {

// Field kinds that may be bound to each other.
int TypeGroup(const std::string& kind)
{
    if (kind == "SmallInt" || kind == "Integer" || kind == "Word" || kind == "AutoInc")
        return 1;
    if (kind == "String" || kind == "FixedChar")
        return 2;
    if (kind == "Float" || kind == "Currency")
        return 3;
    if (kind == "Boolean")
        return 4;
    if (kind == "Blob" || kind == "Memo" || kind == "Graphic" || kind == "FmtMemo" || kind == "WideMemo")
        return 5;
    return 0;
}

const char* ClassName(TFieldClass c)
{
    switch (c) {
    case TFieldClass::AutoInc: return "AutoInc";
    case TFieldClass::Integer: return "Integer";
    case TFieldClass::Smallint: return "SmallInt";
    case TFieldClass::String: return "String";
    case TFieldClass::Boolean: return "Boolean";
    case TFieldClass::Float: return "Float";
    case TFieldClass::Memo: return "Memo";
    case TFieldClass::Blob: return "Blob";
    }
    return "Unknown";
}

int StoredFieldNamed(const TPacketContent& content, std::string_view name)
{
    for (size_t i = 0; i < content.Fields.size(); ++i)
        if (EqualNoCase(content.Fields[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

} // namespace

TClientDataSet::TClientDataSet(const TTableSchema& schema) : FName(schema.Name), FIndexFieldNames(schema.IndexFieldNames)
{
    for (const TFieldDecl& decl : schema.Fields)
        FFields.push_back(std::make_unique<TField>(*this, decl, static_cast<int>(FFields.size())));
}

TClientDataSet::~TClientDataSet()
{
    if (FMaster)
        std::erase(FMaster->FDetails, this);
    for (TClientDataSet* detail : FDetails)
        detail->FMaster = nullptr;
}

void TClientDataSet::SetMasterSource(TClientDataSet* master, std::string masterFields)
{
    if (FMaster)
        std::erase(FMaster->FDetails, this);
    FMaster = master;
    FMasterFields = std::move(masterFields);
    if (FMaster)
        FMaster->FDetails.push_back(this);
}

void TClientDataSet::TableError(const std::string& message) const
{
    throw EMarksError(FName + ": " + message);
}

void TClientDataSet::CheckOpen() const
{
    if (!IsOpen())
        TableError("Cannot perform this operation on a closed dataset");
}

bool TClientDataSet::ParamTrue(std::string_view name) const
{
    return ParamIsTrue(FContent.Param(name));
}

void TClientDataSet::LoadTableFile(const std::filesystem::path& path, const TReadProgress& progress)
{
    Close();
    TPacketFile file(path, progress);
    if (file.Empty())
        TableError("Missing data provider or data packet");
    TRowStore rows;
    TPacketContent content = ReadPacket(file, rows);
    Open(std::move(content), std::move(rows));
}

void TClientDataSet::SaveTableXml(const std::filesystem::path& path)
{
    if (!IsOpen())
        return;
    SettleEdit();
    WriteFileAtomically(path, WriteXmlPacket(FContent, FRows));
}

std::string TClientDataSet::PacketText()
{
    if (!IsOpen())
        return {};
    SettleEdit();
    return WriteXmlPacket(FContent, FRows);
}

void TClientDataSet::SetPacketText(std::string_view text)
{
    Close();
    if (!text.empty()) {
        TRowStore rows;
        TPacketContent content = ReadPacket(text, rows);
        Open(std::move(content), std::move(rows));
    }
}

void TClientDataSet::Close()
{
    ++FEpoch;
    FState = TTableState::Closed;
    FContent = {};
    FRows.Reset(0);
    FCollator.reset();
    FRowOf.clear();
    FLatest.clear();
    FLogPlace.clear();
    FOrder.clear();
    FKeyFields.clear();
    FViewBegin = FViewEnd = FCursor = 0;
    FAtEnd = true;
    ++FGeneration;
    ++FContentStamp;
    FMasterValue = {};
    FBuffer.clear();
    FModified = false;
    for (auto& field : FFields)
        field->FStored = -1;
    CursorMoved();
}

void TClientDataSet::BindFields(const TPacketContent& content)
{
    std::vector<int> stored;
    std::vector<int> sizes;
    for (const auto& field : FFields) {
        int index = StoredFieldNamed(content, field->FieldName());
        if (index < 0)
            TableError("Field '" + field->FieldName() + "' not found");
        const TStoredField& sf = content.Fields[static_cast<size_t>(index)];
        std::string actual = sf.KindName();
        int group = TypeGroup(ClassName(field->Class()));
        if (group == 0 || group != TypeGroup(actual))
            TableError("Type mismatch for field '" + field->FieldName() + "', expecting: " + ClassName(field->Class()) +
                       " actual: " + actual);
        int size = field->FDecl.Size;
        if (field->Class() == TFieldClass::String && sf.Width() > 0 && sf.Width() < size)
            size = sf.Width();
        stored.push_back(index);
        sizes.push_back(size);
    }
    for (size_t i = 0; i < FFields.size(); ++i) {
        FFields[i]->FStored = stored[i];
        FFields[i]->FSize = sizes[i];
    }
}

void TClientDataSet::Open(TPacketContent content, TRowStore rows)
{
    BindFields(content);
    std::vector<int> keyFields;
    std::string_view names = FIndexFieldNames;
    while (!names.empty()) {
        size_t semicolon = names.find(';');
        std::string_view name = names.substr(0, semicolon);
        if (!name.empty()) {
            int index = StoredFieldNamed(content, name);
            if (index < 0)
                TableError("Field '" + std::string(name) + "' not found");
            keyFields.push_back(index);
        }
        names = semicolon == std::string_view::npos ? std::string_view() : names.substr(semicolon + 1);
    }

    std::int64_t lcid = 0;
    if (const TPacketParam* p = content.Param("LCID"))
        lcid = ParseIntegerText(p->Value).value_or(0);
    FCollator = std::make_unique<TCollator>(TCollator::IsKnownLcid(static_cast<int>(lcid)) ? static_cast<int>(lcid) : 0);

    ++FEpoch;
    FLogPlace.assign(content.ChangeLog.size(), kUnknownPlace);
    FContent = std::move(content);
    FRows = std::move(rows);
    FKeyFields = std::move(keyFields);
    const size_t count = FRows.RowCount();
    FRowOf.resize(count);
    FLatest.resize(count);
    for (size_t i = 0; i < count; ++i)
        FRowOf[i] = FLatest[i] = i;
    for (const TChangeLogEntry& e : FContent.ChangeLog)
        if (e.Action == caModify && e.Previous != kNoRow) {
            FRowOf[e.Row] = FRowOf[e.Previous];
            FLatest[FRowOf[e.Row]] = e.Row;
        }
    BuildOrder();
    FState = TTableState::Browse;
    FMasterValue = MasterValueNow();
    RestrictView();
    FCursor = FViewBegin;
    FAtEnd = FViewBegin == FViewEnd;
    FOpenedAt = ++FGeneration;
    ++FContentStamp;
    CursorMoved();
}

void TClientDataSet::MergeChanges()
{
    CheckOpen();
    SettleEdit();
    if (FWatcher)
        FWatcher->BeforeMerge(*this);
    const size_t count = FRows.RowCount();
    std::vector<size_t> newIndex(count, kNoRow);
    std::vector<size_t> keep;
    std::vector<size_t> rowOf;
    keep.reserve(count);
    std::vector<bool> laterVersion(count, false);
    for (const TChangeLogEntry& e : FContent.ChangeLog)
        if (e.Action == caModify && e.Previous != kNoRow)
            laterVersion[e.Row] = true;
    // A row keeps the place of its first version; rows inserted since follow at the end.
    for (size_t i = 0; i < count; ++i) {
        size_t logical = FRowOf[i];
        size_t latest = FLatest[logical];
        if (laterVersion[i] || latest == kNoRow || (FRows.RowState(latest) & kHiddenStates))
            continue;
        newIndex[latest] = keep.size();
        keep.push_back(latest);
        rowOf.push_back(logical);
    }
    // Everything that allocates is done before the table changes: a merge that runs
    // out of memory leaves the rows, the indices and the log as they were. Compact
    // builds the kept rows aside and takes them over only when all are copied; what
    // follows it cannot fail.
    FRows.Compact(keep);
    std::fill(FLatest.begin(), FLatest.end(), kNoRow);
    for (size_t i = 0; i < rowOf.size(); ++i)
        FLatest[rowOf[i]] = i;
    for (size_t& row : FOrder)
        row = newIndex[row];
    FRowOf = std::move(rowOf);
    FContent.ChangeLog.clear();
    FLogPlace.clear();
    ++FEpoch;
    ++FContentStamp;
    Changed();
}

int TClientDataSet::PendingChangeCount() const
{
    if (!IsOpen())
        return 0;
    enum : std::uint8_t { kInserted = 1, kModified = 2, kDeleted = 4 };
    struct TNet {
        std::uint8_t Flags = 0;
        size_t Original = kNoRow;
    };
    std::vector<TNet> net(FLatest.size());
    std::vector<size_t> touched;
    for (const TChangeLogEntry& e : FContent.ChangeLog) {
        size_t logical = FRowOf[e.Row];
        TNet& n = net[logical];
        if (n.Flags == 0)
            touched.push_back(logical);
        if (e.Action == caInsert)
            n.Flags |= kInserted;
        else if (e.Action == caDelete)
            n.Flags |= kDeleted;
        else if (e.Action == caModify) {
            n.Flags |= kModified;
            if (n.Original == kNoRow)
                n.Original = e.Previous;
        }
    }
    int count = 0;
    for (size_t logical : touched) {
        const TNet& n = net[logical];
        if (n.Flags & kInserted)
            count += (n.Flags & kDeleted) ? 0 : 1;
        else if (n.Flags & kDeleted)
            count += 1;
        else if (n.Original == kNoRow || FLatest[logical] == kNoRow ||
                 !FRows.SameValues(n.Original, FLatest[logical]))
            count += 1;
    }
    return count;
}

TPacketContent TClientDataSet::Content() const
{
    TPacketContent content = FContent;
    content.Rows = FRows.StoredRows();
    return content;
}

TField& TClientDataSet::FieldNamed(std::string_view name)
{
    for (auto& field : FFields)
        if (EqualNoCase(field->FieldName(), name))
            return *field;
    TableError("Field '" + std::string(name) + "' not found");
}
