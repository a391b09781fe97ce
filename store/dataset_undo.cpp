#include <algorithm>
#include <limits>
#include <numeric>
#include <utility>
#include <unordered_map>
#include <unordered_set>

#include "ascii.h"
#include "client_dataset.h"
#include "marks_error.h"
#include "packet_values.h"

// Undo and redo: change marks, rolling a table back to a mark, the changes as row
// images and making them again, and putting renumbered ids back.

namespace {

const char* const kMismatch = "The history of changes does not match the table";

// Whether two values are the same as the packet holds them: floats that write the
// same digits count as equal, since a packet read back (as Reindex does) may round
// the last bit of a value computed in memory.
bool SameAsWritten(const TValueView& a, const TValueView& b)
{
    if (a == b)
        return true;
    if (a.index() != 2 || b.index() != 2)
        return false;
    std::string x, y;
    AppendFloat(x, std::get<double>(a));
    AppendFloat(y, std::get<double>(b));
    return x == y;
}

std::int64_t IdOf(const TValueView& value)
{
    const auto* id = std::get_if<std::int64_t>(&value);
    return id ? *id : TIdLayout::kNullId;
}

std::uint8_t Reversed(std::uint8_t action)
{
    if (action == caInsert)
        return caDelete;
    return action == caDelete ? std::uint8_t{caInsert} : action;
}

} // namespace

std::size_t TChangeImages::BytesHeld() const
{
    return Images.BytesHeld() + Images.RowCount() * (Images.FieldCount() * (sizeof(std::uint64_t) + 1) + 1) +
           Entries.capacity() * sizeof(TEntry);
}

std::size_t TIdLayout::BytesHeld() const
{
    return Ids.capacity() * sizeof(std::int64_t) + (Order.capacity() + Places.capacity()) * sizeof(std::size_t);
}

TChangeMark TClientDataSet::ChangeMark() const
{
    return {FEpoch, FContent.ChangeLog.size(), FRows.RowCount(), FContent.AutoIncValue};
}

int TClientDataSet::IdField() const
{
    if (const int autoInc = FContent.AutoIncField(); autoInc >= 0)
        return autoInc;
    for (size_t i = 0; i < FContent.Fields.size(); ++i)
        if (EqualNoCase(FContent.Fields[i].Name, "id"))
            return static_cast<int>(i);
    return -1;
}

TFieldValue TClientDataSet::CurrentId() const
{
    const int field = IdField();
    const size_t row = CurrentRow();
    if (field < 0 || row == kNoRow)
        return {};
    return ValueOf(FRows.Value(row, static_cast<size_t>(field)));
}

bool TClientDataSet::GoToId(const TFieldValue& id)
{
    CheckOpen();
    SettleEdit();
    const int field = IdField();
    if (field < 0)
        return false;
    const TValueView wanted = ViewOf(id);
    for (size_t position = FViewBegin; position < FViewEnd; ++position)
        if (FRows.Value(FOrder[position], static_cast<size_t>(field)) == wanted) {
            MoveTo(position);
            return true;
        }
    return false;
}

TClientDataSet::TChangeSummary TClientDataSet::SummarySince(const TChangeMark& mark) const
{
    TChangeSummary summary;
    const auto& log = FContent.ChangeLog;
    if (!IsOpen() || mark.Epoch != FEpoch || mark.Log > log.size())
        return summary;
    std::vector<size_t> rows;
    rows.reserve(log.size() - mark.Log);
    for (size_t i = mark.Log; i < log.size(); ++i) {
        const TChangeLogEntry& e = log[i];
        rows.push_back(FRowOf[e.Row]);
        summary.Inserts += e.Action == caInsert;
        summary.Modifies += e.Action == caModify;
        summary.Deletes += e.Action == caDelete;
    }
    std::sort(rows.begin(), rows.end());
    summary.Rows = static_cast<size_t>(std::unique(rows.begin(), rows.end()) - rows.begin());
    return summary;
}

TChangeImages TClientDataSet::ImagesBetween(const TChangeMark& from, const TChangeMark& to,
                                            const std::vector<std::int64_t>* idsThen) const
{
    CheckOpen();
    const auto& log = FContent.ChangeLog;
    if (from.Epoch != FEpoch || to.Epoch != FEpoch || from.Log > to.Log || to.Log > log.size())
        TableError(kMismatch);
    TChangeImages images;
    images.Images.Reset(FRows.FieldCount());
    images.AutoIncBefore = from.AutoInc;
    images.AutoIncAfter = to.AutoInc;
    images.Entries.reserve(to.Log - from.Log);
    const int idField = IdField();
    // A version read by two entries (the row an insert made, which an edit then
    // replaced) is copied once.
    std::unordered_map<size_t, size_t> copied;
    auto image = [&](size_t row) {
        if (row >= FRows.RowCount())
            TableError(kMismatch);
        if (auto it = copied.find(row); it != copied.end())
            return it->second;
        const size_t at = images.Images.AppendRowFrom(FRows, row, 0);
        if (idsThen && idField >= 0) {
            if (row >= idsThen->size())
                TableError(kMismatch);
            const std::int64_t id = (*idsThen)[row];
            images.Images.SetValueAt(at, static_cast<size_t>(idField), id == TIdLayout::kNullId ? TValueView() : TValueView(id));
        }
        copied.emplace(row, at);
        return at;
    };
    for (size_t i = from.Log; i < to.Log; ++i) {
        const TChangeLogEntry& e = log[i];
        TChangeImages::TEntry entry{e.Action};
        if (e.Action == caModify) {
            entry.Before = image(e.Previous);
            entry.After = image(e.Row);
        } else if (e.Action == caInsert) {
            entry.After = image(e.Row);
        } else {
            entry.Before = image(e.Row);
        }
        images.Entries.push_back(entry);
    }
    return images;
}

TRollBack TClientDataSet::RollBackRoom(const TChangeImages& images) const
{
    // Each change stores at most one row, and only inserts lengthen the order.
    const size_t inserts = static_cast<size_t>(std::count_if(images.Entries.begin(), images.Entries.end(), [](const auto& e) {
        return e.Action != caModify;
    }));
    TRollBack room;
    room.Order.reserve(FOrder.size() + inserts);
    room.Next.reserve(FRows.RowCount() + images.Entries.size() + 1);
    room.Prev.reserve(FRows.RowCount() + images.Entries.size() + 1);
    return room;
}

void TClientDataSet::PrepareRollBack(const TChangeMark& mark, TRollBack& rollBack) const
{
    CheckOpen();
    const auto& log = FContent.ChangeLog;
    const size_t n = FRows.RowCount();
    if (FState != TTableState::Browse || FBulk || mark.Epoch != FEpoch || mark.Log > log.size() || mark.Rows > n ||
        FLogPlace.size() != log.size())
        TableError(kMismatch);

    // The order as a list linked both ways over the stored rows, its head at n. The
    // changes are taken back from the last: each puts its row back after the row it
    // followed when it left, which is in the list again by then.
    std::vector<size_t>& next = rollBack.Next;
    std::vector<size_t>& prev = rollBack.Prev;
    next.assign(n + 1, kNoRow);
    prev.assign(n + 1, kNoRow);
    size_t last = n;
    for (size_t row : FOrder) {
        next[last] = row;
        prev[row] = last;
        last = row;
    }
    next[last] = n;
    prev[n] = last;
    auto inList = [&](size_t row) { return row < n && next[row] != kNoRow; };
    auto unlink = [&](size_t row) {
        if (!inList(row))
            return false;
        next[prev[row]] = next[row];
        prev[next[row]] = prev[row];
        next[row] = prev[row] = kNoRow;
        return true;
    };
    auto linkAfter = [&](size_t row, size_t place) {
        const size_t after = place == kNoRow ? n : place;
        if (row >= n || inList(row) || (after != n && !inList(after)))
            return false;
        next[row] = next[after];
        prev[row] = after;
        prev[next[after]] = row;
        next[after] = row;
        return true;
    };
    for (size_t i = log.size(); i-- > mark.Log;) {
        const TChangeLogEntry& e = log[i];
        const size_t place = FLogPlace[i];
        bool ok = false;
        if (e.Action == caInsert) {
            ok = e.Row >= mark.Rows && unlink(e.Row);
        } else if (e.Action == caModify) {
            ok = e.Row >= mark.Rows && e.Previous < e.Row && (FRows.RowState(e.Previous) & rsOriginal) &&
                 place != kUnknownPlace && inList(e.Row);
            if (ok && place == kInPlace)
                ok = linkAfter(e.Previous, prev[e.Row]) && unlink(e.Row);
            else if (ok)
                ok = unlink(e.Row) && linkAfter(e.Previous, place);
        } else if (e.Action == caDelete) {
            ok = e.Row < n && (FRows.RowState(e.Row) & rsDeleted) && place != kUnknownPlace && linkAfter(e.Row, place);
        }
        if (!ok)
            TableError(kMismatch);
    }
    rollBack.Mark = mark;
    rollBack.Order.clear();
    rollBack.Order.reserve(FOrder.size());
    for (size_t row = next[n]; row != n; row = next[row]) {
        if (row >= mark.Rows)
            TableError(kMismatch);
        rollBack.Order.push_back(row);
    }
}

void TClientDataSet::CommitRollBack(TRollBack& rollBack)
{
    const TChangeMark& mark = rollBack.Mark;
    auto& log = FContent.ChangeLog;
    for (size_t i = log.size(); i-- > mark.Log;) {
        const TChangeLogEntry& e = log[i];
        if (e.Action == caModify) {
            FRows.SetRowState(e.Previous, static_cast<std::uint8_t>(FRows.RowState(e.Previous) & ~rsOriginal));
            FLatest[FRowOf[e.Previous]] = e.Previous;
        } else if (e.Action == caDelete) {
            FRows.SetRowState(e.Row, static_cast<std::uint8_t>(FRows.RowState(e.Row) & ~rsDeleted));
        } else if (e.Action == caInsert) {
            // The logical rows of inserts were added last; one that was not (the
            // table was opened again since) is left as a number without a row.
            const size_t logical = FRowOf[e.Row];
            if (logical + 1 == FLatest.size())
                FLatest.pop_back();
            else
                FLatest[logical] = kNoRow;
        }
    }
    FRows.Truncate(mark.Rows);
    FRowOf.resize(mark.Rows);
    log.resize(mark.Log);
    FLogPlace.resize(mark.Log);
    FContent.AutoIncValue = mark.AutoInc;
    FOrder.swap(rollBack.Order);
    OrderReplaced();
}

void TClientDataSet::OrderReplaced()
{
    ++FGeneration;
    ++FContentStamp;
    RestrictView();
    FCursor = FViewBegin == FViewEnd ? FViewBegin : std::clamp(FCursor, FViewBegin, FViewEnd - 1);
    FAtEnd = FViewBegin == FViewEnd;
    // Telling the views comes last: the table is whole by then.
    CursorMoved();
}

void TClientDataSet::RollBackTo(const TChangeMark& mark)
{
    TRollBack rollBack;
    PrepareRollBack(mark, rollBack);
    CommitRollBack(rollBack);
}

void TClientDataSet::EditToImage(size_t row, const TRowStore& images, size_t image)
{
    const size_t position = FindInOrder(row);
    if (position == kNoRow)
        TableError(kMismatch);
    FBuffer = RowValues(images, image);
    FCursor = position;
    FState = TTableState::Edit;
    FModified = true;
    PostBuffer(false);
}

void TClientDataSet::InsertImage(const TRowStore& images, size_t image)
{
    FBuffer = RowValues(images, image);
    FState = TTableState::Insert;
    FModified = true;
    PostBuffer(false);
}

void TClientDataSet::DeleteRowsAt(const std::vector<size_t>& rows)
{
    std::vector<size_t> placeOf(FRows.RowCount(), kNoRow);
    for (size_t p = 0; p < FOrder.size(); ++p)
        placeOf[FOrder[p]] = p;
    std::vector<size_t> positions;
    positions.reserve(rows.size());
    for (size_t row : rows) {
        if (row >= placeOf.size() || placeOf[row] == kNoRow)
            TableError(kMismatch);
        positions.push_back(std::exchange(placeOf[row], kNoRow));
    }
    // The place each delete logs is the nearest row before it in the order that is
    // not deleted yet. Over the positions shifted by one (0 stands before the
    // first), a deleted one points to the one before it; the paths are shortened
    // as they are walked.
    std::vector<size_t> left(FOrder.size() + 1);
    std::iota(left.begin(), left.end(), size_t{0});
    std::vector<bool> gone(FRows.RowCount());
    FContent.ChangeLog.reserve(FContent.ChangeLog.size() + positions.size());
    FLogPlace.reserve(FLogPlace.size() + positions.size());
    for (size_t p : positions) {
        size_t alive = p;
        while (left[alive] != alive)
            alive = left[alive];
        for (size_t s = p; left[s] != s;)
            s = std::exchange(left[s], alive);
        left[p + 1] = p;
        const size_t row = FOrder[p];
        FRows.SetRowState(row, static_cast<std::uint8_t>(FRows.RowState(row) | rsDeleted));
        FContent.ChangeLog.push_back({row, kNoRow, caDelete});
        FLogPlace.push_back(alive == 0 ? kNoRow : FOrder[alive - 1]);
        gone[row] = true;
    }
    std::erase_if(FOrder, [&](size_t row) { return gone[row]; });
    OrderReplaced();
}

void TClientDataSet::ApplyImages(const TChangeImages& images, bool forward)
{
    CheckOpen();
    const int idField = IdField();
    if (FState != TTableState::Browse || FBulk || idField < 0 ||
        (images.Images.RowCount() > 0 && images.Images.FieldCount() != FRows.FieldCount()))
        TableError(kMismatch);
    const auto field = static_cast<size_t>(idField);
    const auto& entries = images.Entries;
    const size_t count = entries.size();
    auto entryAt = [&](size_t k) -> const TChangeImages::TEntry& { return entries[forward ? k : count - 1 - k]; };
    auto actionAt = [&](size_t k) { return forward ? entryAt(k).Action : Reversed(entryAt(k).Action); };
    // The image a change starts from and the one it leaves.
    auto fromImage = [&](size_t k) { return forward ? entryAt(k).Before : entryAt(k).After; };
    auto toImage = [&](size_t k) { return forward ? entryAt(k).After : entryAt(k).Before; };
    auto imageId = [&](size_t image) {
        if (image >= images.Images.RowCount())
            TableError(kMismatch);
        return IdOf(images.Images.Value(image, field));
    };

    const TChangeMark start = ChangeMark();
    TRollBack room = RollBackRoom(images);
    try {
        // The rows in use that the changes start from, by id.
        std::unordered_multimap<std::int64_t, size_t> rows;
        {
            std::unordered_set<std::int64_t> wanted;
            for (size_t k = 0; k < count; ++k)
                if (actionAt(k) != caInsert)
                    wanted.insert(imageId(fromImage(k)));
            if (!wanted.empty())
                for (size_t row = 0; row < FRows.RowCount(); ++row)
                    if (!(FRows.RowState(row) & kHiddenStates)) {
                        const std::int64_t id = IdOf(FRows.Value(row, field));
                        if (wanted.contains(id))
                            rows.emplace(id, row);
                    }
        }
        // The row holding an image, taken out of the lookup.
        auto take = [&](size_t image) {
            auto [first, last] = rows.equal_range(imageId(image));
            for (auto it = first; it != last; ++it) {
                bool same = true;
                for (size_t f = 0; same && f < FRows.FieldCount(); ++f)
                    same = SameAsWritten(FRows.Value(it->second, f), images.Images.Value(image, f));
                if (same) {
                    const size_t row = it->second;
                    rows.erase(it);
                    return row;
                }
            }
            TableError(kMismatch);
        };
        for (size_t k = 0; k < count;) {
            const std::uint8_t action = actionAt(k);
            if (action == caInsert) {
                // A run of inserts is placed in the order at once.
                BeginBulkInsert();
                for (; k < count && actionAt(k) == caInsert; ++k) {
                    const size_t image = toImage(k);
                    imageId(image);
                    InsertImage(images.Images, image);
                    rows.emplace(imageId(image), FRows.RowCount() - 1);
                }
                EndBulkInsert();
            } else if (action == caDelete) {
                std::vector<size_t> doomed;
                for (; k < count && actionAt(k) == caDelete; ++k)
                    doomed.push_back(take(fromImage(k)));
                DeleteRowsAt(doomed);
            } else if (action == caModify) {
                const size_t row = take(fromImage(k));
                const size_t image = toImage(k);
                imageId(image);
                EditToImage(row, images.Images, image);
                rows.emplace(imageId(image), FRows.RowCount() - 1);
                ++k;
            } else {
                TableError(kMismatch);
            }
        }
        FContent.AutoIncValue = forward ? images.AutoIncAfter : images.AutoIncBefore;
    } catch (...) {
        CancelBulkInsert();
        CancelRow();
        PrepareRollBack(start, room);
        CommitRollBack(room);
        throw;
    }
}

TIdLayout TClientDataSet::SaveIdLayout() const
{
    CheckOpen();
    TIdLayout layout;
    layout.AutoInc = FContent.AutoIncValue;
    if (const int field = IdField(); field >= 0) {
        layout.Ids.reserve(FRows.RowCount());
        for (size_t row = 0; row < FRows.RowCount(); ++row)
            layout.Ids.push_back(IdOf(FRows.Value(row, static_cast<size_t>(field))));
    }
    layout.Order = FOrder;
    layout.Places = FLogPlace;
    return layout;
}

void TClientDataSet::RestoreIdLayout(const TIdLayout& layout)
{
    CheckOpen();
    const int field = IdField();
    const size_t n = FRows.RowCount();
    if (FState != TTableState::Browse || FBulk || (field >= 0 && layout.Ids.size() != n) ||
        layout.Places.size() != FContent.ChangeLog.size() || layout.Order.size() != FOrder.size() ||
        std::any_of(layout.Order.begin(), layout.Order.end(),
                    [&](size_t row) { return row >= n || (FRows.RowState(row) & kHiddenStates); }))
        TableError(kMismatch);
    std::vector<size_t> order = layout.Order;
    std::vector<size_t> places = layout.Places;
    if (field >= 0)
        for (size_t row = 0; row < n; ++row) {
            const std::int64_t id = layout.Ids[row];
            FRows.SetValueAt(row, static_cast<size_t>(field),
                             id == TIdLayout::kNullId ? TValueView() : TValueView(id));
        }
    FContent.AutoIncValue = layout.AutoInc;
    FOrder.swap(order);
    FLogPlace.swap(places);
    ++FGeneration;
    ++FContentStamp;
    RestrictView();
    FCursor = FViewBegin;
    FAtEnd = FViewBegin == FViewEnd;
    CursorMoved();
}

void TClientDataSet::MapIds(const std::vector<std::pair<std::int64_t, std::int64_t>>& ids, std::int64_t autoInc)
{
    CheckOpen();
    const int idField = IdField();
    if (FState != TTableState::Browse || FBulk || idField < 0)
        TableError(kMismatch);
    const auto field = static_cast<size_t>(idField);
    const size_t n = FRows.RowCount();
    std::vector<std::int64_t> old(n), mapped(n);
    for (size_t row = 0; row < n; ++row) {
        old[row] = mapped[row] = IdOf(FRows.Value(row, field));
        auto it = std::lower_bound(ids.begin(), ids.end(), std::pair{old[row], std::numeric_limits<std::int64_t>::min()});
        if (it != ids.end() && it->first == old[row])
            mapped[row] = it->second;
    }
    auto write = [&](const std::vector<std::int64_t>& values) {
        for (size_t row = 0; row < n; ++row)
            FRows.SetValueAt(row, field, values[row] == TIdLayout::kNullId ? TValueView() : TValueView(values[row]));
    };
    const std::int64_t oldAutoInc = FContent.AutoIncValue;
    write(mapped);
    FContent.AutoIncValue = autoInc;
    // Where the id is an order field, the rows are sorted again; failing that, the
    // ids and the order go back as they were.
    if (std::find(FKeyFields.begin(), FKeyFields.end(), idField) != FKeyFields.end()) {
        std::vector<size_t> order;
        bool copied = false;
        try {
            order = FOrder;
            copied = true;
            BuildOrder();
        } catch (...) {
            write(old);
            FContent.AutoIncValue = oldAutoInc;
            if (copied)
                FOrder.swap(order);
            throw;
        }
    }
    ++FGeneration;
    ++FContentStamp;
    RestrictView();
    FCursor = FViewBegin;
    FAtEnd = FViewBegin == FViewEnd;
    CursorMoved();
}
