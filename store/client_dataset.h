#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "collation.h"
#include "data_packet.h"
#include "packet_file.h"
#include "row_store.h"

class TClientDataSet;

// The classes of field objects a table declares for its columns.
enum class TFieldClass : std::uint8_t { AutoInc, Integer, Smallint, String, Boolean, Float, Memo, Blob };

// One column as the window declares it.
struct TFieldDecl {
    std::string FieldName;
    TFieldClass Class;
    int Size = 0; // bytes, for strings
    bool ReadOnly = false;
};

// A table's declaration: its name, its field objects and its order.
struct TTableSchema {
    std::string Name;
    std::vector<TFieldDecl> Fields;
    std::string IndexFieldNames;
};

// A field object: the window's typed view of one column, bound by name to a stored
// field when the table opens. Reads and writes the current row, or the row being
// edited or inserted.
class TField {
public:
    TField(TClientDataSet& dataSet, TFieldDecl decl, int index);

    const std::string& FieldName() const { return FDecl.FieldName; }
    TFieldClass Class() const { return FDecl.Class; }
    // The declared size, or the stored width when that is smaller.
    int Size() const { return FSize; }
    bool ReadOnly() const { return FDecl.ReadOnly; }
    int Index() const { return FIndex; }

    bool IsNull() const;
    std::string AsText() const;
    void SetAsText(std::string_view text);
    std::int64_t AsInt() const;
    bool AsFlag() const;
    TFieldValue AsValue() const;
    void SetAsValue(const TFieldValue& value);
    // The value and the text of this field in the row at a position of the view
    // (from 0), read without moving the cursor: what grids paint. The row being
    // edited reads as edited; a position past the view reads as null.
    TFieldValue ValueAt(std::size_t position) const;
    std::string TextAt(std::size_t position) const;
    // Appends the blob's bytes; nothing for null.
    void WriteBlobTo(std::string& out) const;
    // The bytes of a string, memo or blob where they are kept; empty for null. The
    // view is valid until the table moves, changes or closes.
    std::string_view AsBytes() const;
    void SetNull();

private:
    friend class TClientDataSet;
    TClientDataSet& FDataSet;
    TFieldDecl FDecl;
    int FIndex;
    int FSize;
    int FStored = -1; // the bound stored field while the table is open

    // The value where it is kept: in the row being edited, or in the table's rows.
    TValueView Value() const;
    void Assign(TFieldValue value);
};

// Told when the table's rows, view or current row change (grids, the memo).
class TDataSetObserver {
public:
    virtual ~TDataSetObserver() = default;
    virtual void DataSetChanged(TClientDataSet& dataSet) = 0;
    // Called before a pending edit or insert is posted or settled, so a control
    // holding text not yet assigned (an open cell editor, the memo) assigns it now.
    // An error it raises stops the post.
    virtual void UpdateRecord(TClientDataSet&) {}
};

// Told of the changes a table logs and of its merges, whether its views are
// suspended or not: the edit history of a window listens here. Each logged change
// (a posted row, a delete, a whole bulk insert) comes between BeforeChange and
// AfterChange, which are paired also when the change fails. The calls must not
// throw: a change is never refused for the listener's sake.
class TChangeWatcher {
public:
    virtual ~TChangeWatcher() = default;
    virtual void BeforeChange(TClientDataSet& dataSet) noexcept = 0;
    virtual void AfterChange(TClientDataSet& dataSet) noexcept = 0;
    // Before MergeChanges empties the change log.
    virtual void BeforeMerge(TClientDataSet& dataSet) noexcept = 0;
};

// Where a table's changes stand: the length of its change log, the number of its
// stored rows and its next id. Marks taken while the table stays open and unmerged
// (the same epoch) compare as positions in its history.
struct TChangeMark {
    std::uint64_t Epoch = 0;
    std::size_t Log = 0;
    std::size_t Rows = 0;
    std::int64_t AutoInc = 0;
    bool operator==(const TChangeMark&) const = default;
};

// The changes between two marks as row images: what undo and redo need once the
// change log that held them is merged away or rolled back. Each entry is one logged
// change with the image of the row before it (modify, delete) and after it
// (insert, modify), as positions in Images.
struct TChangeImages {
    struct TEntry {
        std::uint8_t Action = 0;
        std::size_t Before = kNoRow;
        std::size_t After = kNoRow;
    };
    TRowStore Images;
    std::vector<TEntry> Entries;
    std::int64_t AutoIncBefore = 0;
    std::int64_t AutoIncAfter = 0;

    std::size_t BytesHeld() const;
};

// The ids of every stored row with the order and the next id: what renumbering
// the rows changes, so that it can be put back.
struct TIdLayout {
    std::vector<std::int64_t> Ids; // kNullId for a row without an id
    std::int64_t AutoInc = 0;
    std::vector<std::size_t> Order;
    std::vector<std::size_t> Places;

    static constexpr std::int64_t kNullId = std::numeric_limits<std::int64_t>::min();
    std::size_t BytesHeld() const;
};

// The work of a rollback, prepared where it may fail and committed where it cannot;
// its lists may be reserved beforehand, so that preparing it takes no memory.
struct TRollBack {
    TChangeMark Mark;
    std::vector<std::size_t> Order;
    std::vector<std::size_t> Next, Prev;
};

enum class TTableState : std::uint8_t { Closed, Browse, Edit, Insert };

// A reference to a row that leads back to it.
struct TRowRef {
    std::size_t Row = kNoRow;      // the logical row (its first stored version)
    std::size_t Position = kNoRow; // its place in the view when the reference was taken
    std::uint64_t Generation = 0;  // the view's generation at that time

    bool IsSet() const { return Row != kNoRow; }
};

// The in-memory table: stored fields and rows from a data packet, a change log, an
// ordered view restricted by an optional master link, auto-increment ids and row
// references.
class TClientDataSet {
public:
    explicit TClientDataSet(const TTableSchema& schema);
    ~TClientDataSet();
    TClientDataSet(const TClientDataSet&) = delete;
    TClientDataSet& operator=(const TClientDataSet&) = delete;

    const std::string& Name() const { return FName; }
    const std::string& IndexFieldNames() const { return FIndexFieldNames; }

    // Makes this table the detail of master, linked by the master field (here "id")
    // to this table's first order field.
    void SetMasterSource(TClientDataSet* master, std::string masterFields);

    // Files and packet text.
    // progress, when given, is told after each piece of the file read.
    void LoadTableFile(const std::filesystem::path& path, const TReadProgress& progress = {});
    void SaveTableXml(const std::filesystem::path& path);
    std::string PacketText();
    void SetPacketText(std::string_view text);
    void Close();
    bool IsOpen() const { return FState != TTableState::Closed; }
    TTableState State() const { return FState; }

    void MergeChanges();
    int PendingChangeCount() const;

    // The view and the cursor.
    std::size_t RecordCount() const; // rows in the view
    void GoFirst();
    void GoNext();
    void GoBy(long n);
    bool AtEnd() const;
    std::size_t RowNumber() const; // from 1; 0 when the view is empty

    TRowRef CurrentRowRef() const;
    // A reference to the row at a position of the view (from 0), without moving the
    // cursor; an unset reference past the view.
    TRowRef RowRefAt(std::size_t position) const;
    bool GoToRow(const TRowRef& ref);
    static int CompareRowRefs(const TRowRef& a, const TRowRef& b);

    // The stored rows, in the order they lie in memory, which is the fastest way to
    // read them all; read without moving the cursor, for work across all
    // categories. A pending edit is not there yet. OrderPlaces gives each stored
    // row's place in the whole order (past the master link's restriction), kNoRow
    // for the old versions and deleted rows that are not in it.
    std::size_t StoredRowCount() const { return FRows.RowCount(); }
    TValueView StoredValue(std::size_t row, const TField& field) const;
    std::vector<std::size_t> OrderPlaces() const;
    // The rows of the whole order by their place there.
    TValueView OrderValue(std::size_t place, const TField& field) const;
    // A reference to the row at a place of the order; its Position is that place.
    TRowRef OrderRowRef(std::size_t place) const;
    // The place of a referenced row in the order now; kNoRow when the row is gone:
    // deleted, merged away, or referenced before the table was last opened.
    std::size_t OrderPlaceOf(const TRowRef& ref) const;
    // Changes whenever rows are posted or deleted, changes are merged, or the table
    // opens or closes: what was read from the rows is current while it stays.
    std::uint64_t ContentStamp() const { return FContentStamp; }

    // Editing.
    void BeginEdit();
    void BeginInsert();
    void PostRow();
    void CancelRow();
    void DeleteRow();
    void SettleEdit();
    bool Modified() const { return FModified; }

    // Many inserts at once. Between BeginBulkInsert and EndBulkInsert every posted
    // insert is stored and logged as PostRow does (the next id, one log entry each),
    // but its place in the order is found only at the end, in one merge, instead of
    // one shift of the order per row. The view and the cursor stay as they were until
    // then; EndBulkInsert makes the last new row current. CancelBulkInsert removes
    // the rows posted since BeginBulkInsert, their log entries and their ids, leaving
    // the table as it was. Nothing but inserts may happen in between.
    void BeginBulkInsert();
    void EndBulkInsert();
    void CancelBulkInsert();

    // Undo and redo. The watcher is told of every logged change and of merges.
    void SetWatcher(TChangeWatcher* watcher) { FWatcher = watcher; }
    // Counts opens, closes and merges: change marks of one epoch are comparable.
    std::uint64_t Epoch() const { return FEpoch; }
    TChangeMark ChangeMark() const;
    // The changes logged between two marks of the present epoch, as row images.
    // idsThen, when given, holds per stored row the id the images take instead of
    // the present one: the ids of a time before a renumbering.
    TChangeImages ImagesBetween(const TChangeMark& from, const TChangeMark& to,
                                const std::vector<std::int64_t>* idsThen = nullptr) const;
    // Takes back every change logged since a mark of the present epoch, exactly: the
    // rows, their states, the log, the next id and the order (ties included) are as
    // they were at the mark. Prepare checks and allocates, changing nothing when it
    // fails; Commit cannot fail. The table must be in browse state.
    void PrepareRollBack(const TChangeMark& mark, TRollBack& rollBack) const;
    void CommitRollBack(TRollBack& rollBack);
    void RollBackTo(const TChangeMark& mark);
    // A rollback reserved for taking back, from wherever the images leave the table,
    // to where it stands now.
    TRollBack RollBackRoom(const TChangeImages& images) const;
    // Makes the changes of the images again as logged changes (forward: in their
    // order, as they were made; backward: each one reversed, the last first), on any
    // rows whatever the view shows, and puts back the next id they had. A row is
    // found by its id and must hold the image the change expects; otherwise, or when
    // memory runs out, the table is left as it was and the error raised.
    void ApplyImages(const TChangeImages& images, bool forward);
    // The ids of every stored row with the order, to put back after renumbering; the
    // log and the stored rows must be the same ones when it is restored. Not logged.
    TIdLayout SaveIdLayout() const;
    void RestoreIdLayout(const TIdLayout& layout);
    // Gives every stored row whose id is listed (sorted by it) the id paired with
    // it, and sets the next id: renumbering put back once the rows are not the same
    // stored ones any more. Not logged.
    void MapIds(const std::vector<std::pair<std::int64_t, std::int64_t>>& ids, std::int64_t autoInc);
    // The stored field that identifies a row: the auto-increment field, else the one
    // named "id"; -1 for none.
    int IdField() const;
    // The id of the current row, null without one; GoToId makes the first row of the
    // view with that id current and tells whether there was one.
    TFieldValue CurrentId() const;
    bool GoToId(const TFieldValue& id);
    // The changes logged since a mark: how many rows they touched, and how many of
    // them were inserts, edits and deletes.
    struct TChangeSummary {
        std::size_t Rows = 0;
        std::size_t Inserts = 0;
        std::size_t Modifies = 0;
        std::size_t Deletes = 0;
    };
    TChangeSummary SummarySince(const TChangeMark& mark) const;

    void SuspendViews();
    void ResumeViews();
    bool ViewsSuspended() const { return FSuspended > 0; }
    void AddObserver(TDataSetObserver* observer);
    void RemoveObserver(TDataSetObserver* observer);

    // Field objects.
    TField& FieldNamed(std::string_view name);
    TField& FieldAt(std::size_t index) { return *FFields.at(index); }
    std::size_t FieldTotal() const { return FFields.size(); }

    // The stored content (fields, parameters, rows and change log) as it would be
    // written, as a copy; for tests and tools.
    TPacketContent Content() const;

private:
    friend class TField;

    std::string FName;
    std::vector<std::unique_ptr<TField>> FFields;
    std::string FIndexFieldNames;
    TTableState FState = TTableState::Closed;
    // The packet's fields, parameters and change log; its rows are kept in FRows.
    TPacketContent FContent;
    TRowStore FRows;
    std::unique_ptr<TCollator> FCollator;

    // Per stored row: the logical row it is a version of. Per logical row: its
    // latest stored version, or kNoRow once merged away. Logical row numbers stay the
    // same through a merge, so row references survive a save.
    std::vector<std::size_t> FRowOf;
    std::vector<std::size_t> FLatest;

    // The order: stored rows in use, sorted by key. The view is the range
    // [FViewBegin, FViewEnd) of it; FCursor indexes the order.
    std::vector<std::size_t> FOrder;
    std::vector<int> FKeyFields; // stored field positions of IndexFieldNames
    std::size_t FViewBegin = 0;
    std::size_t FViewEnd = 0;
    std::size_t FCursor = 0;
    bool FAtEnd = true;
    std::uint64_t FGeneration = 1;
    // The generation the table was last opened at: references from before are not
    // followed, as their row numbers name rows of other content now.
    std::uint64_t FOpenedAt = 0;
    std::uint64_t FContentStamp = 0;

    // Master link.
    TClientDataSet* FMaster = nullptr;
    std::string FMasterFields;
    std::vector<TClientDataSet*> FDetails;
    TFieldValue FMasterValue; // the master value the view is restricted to

    // The row being edited or inserted.
    std::vector<TFieldValue> FBuffer;
    bool FModified = false;

    // The bulk insert under way: where its rows and log entries begin, and the next
    // id before it.
    bool FBulk = false;
    std::size_t FBulkRows = 0;
    std::size_t FBulkLog = 0;
    std::int64_t FBulkAutoInc = 0;

    int FSuspended = 0;
    std::vector<TDataSetObserver*> FObservers;

    TChangeWatcher* FWatcher = nullptr;
    std::uint64_t FEpoch = 1;
    // Per log entry: where its change took a row out of the order, so that a
    // rollback puts it back among its equals exactly where it was. The row before it
    // in the order (kNoRow: it was first), kInPlace for an edit that kept its place,
    // kUnknownPlace for entries read from a packet.
    std::vector<std::size_t> FLogPlace;
    static constexpr std::size_t kInPlace = kNoRow - 1;
    static constexpr std::size_t kUnknownPlace = kNoRow - 2;
    // Pairs the watcher's calls around one logged change.
    class TChangeScope;

    [[noreturn]] void TableError(const std::string& message) const;
    void CheckOpen() const;
    void CheckBrowse();
    void Open(TPacketContent content, TRowStore rows);
    void BindFields(const TPacketContent& content);
    void BuildOrder();
    // The order of two stored rows by the order fields: -1, 0 or 1, ties only for
    // equal values. Fields from the first-th on.
    int CompareRows(std::size_t a, std::size_t b, std::size_t first = 0) const;
    void RestrictView();
    std::size_t FindInOrder(std::size_t row) const;
    void InsertIntoOrder(std::size_t row);
    void RemoveFromOrder(std::size_t position);
    bool HasCurrent() const { return FCursor >= FViewBegin && FCursor < FViewEnd; }
    // The stored row under the cursor, or at a position of the view; kNoRow for none.
    std::size_t CurrentRow() const;
    std::size_t RowAt(std::size_t position) const;
    void UpdateRecord();
    // Stores the row being edited or inserted: PostRow's work once the row is checked.
    // An insert takes the next id when newId is set and keeps the id it holds otherwise.
    void PostBuffer(bool newId);
    // The row before a position of the order, as a log place.
    std::size_t PlaceBefore(std::size_t position) const { return position == 0 ? kNoRow : FOrder[position - 1]; }
    // The values of a row of a store with this table's fields, as an edit buffer.
    std::vector<TFieldValue> RowValues(const TRowStore& store, std::size_t row) const;
    // Row images applied by ApplyImages.
    void EditToImage(std::size_t row, const TRowStore& images, std::size_t image);
    void InsertImage(const TRowStore& images, std::size_t image);
    // Deletes the rows, in the order given, at once.
    void DeleteRowsAt(const std::vector<std::size_t>& rows);
    // After the order was replaced or cut: the view, the cursor and the views told.
    void OrderReplaced();
    // Stores the row being edited or inserted as a version of logicalRow; nothing is
    // changed when that fails.
    std::size_t AppendStoredRow(std::uint8_t state, std::size_t logicalRow);
    void PlaceCursorOn(std::size_t row, std::size_t fallback);
    void MoveTo(std::size_t position);
    bool ParamTrue(std::string_view name) const;

    // Tells the views and the details, unless views are suspended.
    void Changed();
    void CursorMoved();
    void MasterChanged();
    TFieldValue MasterValueNow() const;
};

// A bulk insert for a scope: cancelled on every way out unless committed.
class TBulkInsert {
public:
    explicit TBulkInsert(TClientDataSet& table) : FTable(table) { FTable.BeginBulkInsert(); }
    ~TBulkInsert()
    {
        if (!FDone)
            FTable.CancelBulkInsert();
    }
    TBulkInsert(const TBulkInsert&) = delete;
    TBulkInsert& operator=(const TBulkInsert&) = delete;
    void Commit()
    {
        FTable.EndBulkInsert();
        FDone = true;
    }

private:
    TClientDataSet& FTable;
    bool FDone = false;
};

// Suspends a table's views for a scope and resumes them on every way out of it.
class TSuspendedViews {
public:
    explicit TSuspendedViews(TClientDataSet& table) : FTable(table) { FTable.SuspendViews(); }
    ~TSuspendedViews() { FTable.ResumeViews(); }
    TSuspendedViews(const TSuspendedViews&) = delete;
    TSuspendedViews& operator=(const TSuspendedViews&) = delete;

private:
    TClientDataSet& FTable;
};
