// Any bytes given to the packet reader either read or fail with EMarksError; what
// reads must be written and read back with the same fields and rows. A packet that
// opens as one of the two tables then goes the way of an edit and a save: a row is
// changed, one deleted, one inserted, the change log merged and the table written,
// and what is written must read back with every row that was visible. A packet that
// opens as the marks table is searched across ten categories, and every mark found
// must lead back to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "client_dataset.h"
#include "data_packet.h"
#include "mark_find.h"
#include "marks_error.h"
#include "marks_schema.h"

namespace {

void EditMergeAndWrite(const TTableSchema& schema, std::string_view bytes)
{
    TClientDataSet table(schema);
    try {
        table.SetPacketText(bytes);
    } catch (const EMarksError&) {
        return;
    }
    try {
        (void)table.PendingChangeCount();
        table.GoFirst();
        table.BeginEdit();
        table.FieldNamed("name").SetAsText("edited");
        table.PostRow();
        table.GoBy(1);
        if (table.RecordCount() > 1)
            table.DeleteRow();
        table.BeginInsert();
        table.FieldNamed("name").SetAsText("inserted");
        table.PostRow();
    } catch (const EMarksError&) {
        // Tables that refuse edits, or require fields left null, are still merged.
        table.CancelRow();
    }
    (void)table.PendingChangeCount();
    // The table has no master here, so its view holds every row in use.
    const size_t visible = table.RecordCount();
    table.MergeChanges();
    if (table.Content().Rows.size() != visible || table.RecordCount() != visible || table.PendingChangeCount() != 0)
        std::abort();
    for (table.GoFirst(); !table.AtEnd(); table.GoNext())
        for (size_t f = 0; f < table.FieldTotal(); ++f)
            (void)table.FieldAt(f).AsText();
    const std::string written = table.PacketText();
    try {
        if (ReadPacket(written).Rows.size() != visible)
            std::abort();
    } catch (const EMarksError&) {
        // Field names the writer cannot put back as attribute names.
    }
}

void FindAndGoToMarks(std::string_view bytes)
{
    static const std::string catsPacket = [] {
        TPacketContent cats = EmptyCatsPacket();
        for (std::int64_t id = 0; id < 10; ++id)
            cats.Rows.push_back({0, {id, "c" + std::to_string(id), true, TFieldValue{}, TFieldValue{}}});
        return WriteXmlPacket(cats);
    }();
    TClientDataSet cats(CatsSchema());
    TClientDataSet marks(MarksSchema());
    marks.SetMasterSource(&cats, "id");
    cats.SetPacketText(catsPacket);
    try {
        marks.SetPacketText(bytes);
    } catch (const EMarksError&) {
        return;
    }
    for (std::string_view text : {std::string_view("e"), std::string_view("\xb8"), std::string_view("a\0", 2)}) {
        TMarkSearch search(cats, marks, text, true);
        search.RunToEnd();
        if (search.Found().size() > search.Total() || search.Total() > marks.StoredRowCount())
            std::abort();
        for (const TFoundMark& found : search.Found())
            if (!GoToFoundMark(cats, marks, found.Mark) || marks.FieldNamed("name").AsText() != found.Name)
                std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TPacketContent content;
    try {
        content = ReadPacket(bytes);
    } catch (const EMarksError&) {
        return 0;
    }
    // Without a pending change log only the rows in use are written.
    size_t rows = content.Rows.size();
    if (content.ChangeLog.empty())
        rows = static_cast<size_t>(std::count_if(content.Rows.begin(), content.Rows.end(),
                                                 [](const TStoredRow& r) { return (r.State & kHiddenStates) == 0; }));
    TPacketContent again = ReadPacket(WriteXmlPacket(content));
    if (again.Fields.size() != content.Fields.size() || again.Rows.size() != rows ||
        again.ChangeLog != content.ChangeLog)
        std::abort();

    EditMergeAndWrite(CatsSchema(), bytes);
    EditMergeAndWrite(MarksSchema(), bytes);
    FindAndGoToMarks(bytes);
    return 0;
}
