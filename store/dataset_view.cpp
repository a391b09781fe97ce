#include <algorithm>
#include <bit>
#include <cstring>

#include "client_dataset.h"

// The ordered view: the order of rows, the master-detail restriction, the cursor,
// row references and the notification of views.

namespace {

// Doubles in an order-preserving unsigned form (-0 before +0, NaNs by their bits).
std::uint64_t DoubleKey(double d)
{
    auto u = std::bit_cast<std::uint64_t>(d);
    return (u & (std::uint64_t{1} << 63)) ? ~u : (u | (std::uint64_t{1} << 63));
}

// Appends an order-preserving encoding of the value: nulls first, numbers by
// value, strings by the collation.
void AppendKey(std::string& key, const TValueView& v, const TCollator& collator)
{
    switch (v.index()) {
    case 0:
        key.push_back('\0');
        break;
    case 1: {
        auto u = static_cast<std::uint64_t>(std::get<std::int64_t>(v)) ^ (std::uint64_t{1} << 63);
        key.push_back('\1');
        for (int shift = 56; shift >= 0; shift -= 8)
            key.push_back(static_cast<char>((u >> shift) & 0xFF));
        break;
    }
    case 2: {
        const std::uint64_t u = DoubleKey(std::get<double>(v));
        key.push_back('\1');
        for (int shift = 56; shift >= 0; shift -= 8)
            key.push_back(static_cast<char>((u >> shift) & 0xFF));
        break;
    }
    case 3:
        key.push_back('\1');
        key.push_back(std::get<bool>(v) ? '\1' : '\0');
        break;
    default:
        key.push_back('\1');
        collator.AppendSortKey(key, std::get<std::string_view>(v));
        break;
    }
}

// The order of two values of one field, as their encodings would compare: nulls
// first, numbers by value, strings by the collation. Values of one kind (all a
// field holds) compare directly; anything else through the encodings.
int CompareValues(const TValueView& a, const TValueView& b, const TCollator& collator)
{
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (a.index() != b.index()) {
        if (a.index() == 0 || b.index() == 0)
            return a.index() == 0 ? -1 : 1;
        std::string ka, kb;
        AppendKey(ka, a, collator);
        AppendKey(kb, b, collator);
        return sign(ka, kb);
    }
    switch (a.index()) {
    case 0: return 0;
    case 1: return sign(std::get<std::int64_t>(a), std::get<std::int64_t>(b));
    case 2: return sign(DoubleKey(std::get<double>(a)), DoubleKey(std::get<double>(b)));
    case 3: return sign(std::get<bool>(a), std::get<bool>(b));
    default: return collator.Compare(std::get<std::string_view>(a), std::get<std::string_view>(b));
    }
}

} // namespace

int TClientDataSet::CompareRows(size_t a, size_t b, size_t first) const
{
    for (size_t k = first; k < FKeyFields.size(); ++k) {
        const auto field = static_cast<size_t>(FKeyFields[k]);
        if (int c = CompareValues(FRows.Value(a, field), FRows.Value(b, field), *FCollator))
            return c;
    }
    return 0;
}

void TClientDataSet::BuildOrder()
{
    const size_t rows = FRows.RowCount();
    FOrder.clear();
    FOrder.reserve(rows);
    for (size_t i = 0; i < rows; ++i)
        if (!(FRows.RowState(i) & kHiddenStates))
            FOrder.push_back(i);

    // Leading order fields that hold integers (or nulls) in every row are copied
    // side by side and compared first; the rows' own values, and the collator, are
    // only reached on ties. Most marks differ in category or scale.
    size_t intFields = 0;
    auto isInt = [&](size_t row, size_t k) {
        const std::uint8_t kind = FRows.Kind(row, static_cast<size_t>(FKeyFields[k]));
        return kind == 0 || kind == 1;
    };
    while (intFields < std::min<size_t>(FKeyFields.size(), 2) &&
           std::all_of(FOrder.begin(), FOrder.end(), [&](size_t row) { return isInt(row, intFields); }))
        ++intFields;
    // Per row and field: nulls before every number.
    struct TIntKey {
        bool Set;
        std::int64_t Value;
        bool operator<(const TIntKey& o) const { return Set != o.Set ? o.Set : Set && Value < o.Value; }
        bool operator!=(const TIntKey& o) const { return Set != o.Set || (Set && Value != o.Value); }
    };
    std::vector<TIntKey> ints(intFields * rows);
    for (size_t row : FOrder)
        for (size_t k = 0; k < intFields; ++k) {
            const TValueView v = FRows.Value(row, static_cast<size_t>(FKeyFields[k]));
            ints[row * intFields + k] = {v.index() != 0, v.index() == 0 ? 0 : std::get<std::int64_t>(v)};
        }
    auto intLess = [&](size_t a, size_t b) {
        for (size_t k = 0; k < intFields; ++k) {
            const TIntKey& x = ints[a * intFields + k];
            const TIntKey& y = ints[b * intFields + k];
            if (x != y)
                return x < y;
        }
        return false;
    };
    std::stable_sort(FOrder.begin(), FOrder.end(), intLess);
    if (intFields == FKeyFields.size())
        return;
    // Then each run of equal integers by the other fields. Their values lie all
    // over the table's arena; copied side by side first, the many comparisons of
    // a run read them from the cache instead of from scattered pages.
    const size_t rest = FKeyFields.size() - intFields;
    std::vector<TValueView> values;
    std::vector<size_t> positions;
    std::string bytes;
    for (size_t begin = 0, end; begin < FOrder.size(); begin = end) {
        end = begin + 1;
        while (end < FOrder.size() && !intLess(FOrder[begin], FOrder[end]))
            ++end;
        if (end - begin < 2)
            continue;
        values.clear();
        bytes.clear();
        size_t total = 0;
        for (size_t i = begin; i < end; ++i)
            for (size_t k = intFields; k < FKeyFields.size(); ++k)
                if (const auto* text = std::get_if<std::string_view>(&values.emplace_back(
                        FRows.Value(FOrder[i], static_cast<size_t>(FKeyFields[k])))))
                    total += text->size();
        bytes.reserve(total);
        for (TValueView& v : values)
            if (auto* text = std::get_if<std::string_view>(&v)) {
                const size_t at = bytes.size();
                bytes.append(*text);
                *text = std::string_view(bytes).substr(at, text->size());
            }
        positions.resize(end - begin);
        for (size_t i = 0; i < positions.size(); ++i)
            positions[i] = i;
        std::stable_sort(positions.begin(), positions.end(), [&](size_t a, size_t b) {
            for (size_t k = 0; k < rest; ++k)
                if (int c = CompareValues(values[a * rest + k], values[b * rest + k], *FCollator))
                    return c < 0;
            return false;
        });
        for (size_t& p : positions)
            p = FOrder[begin + p];
        std::copy(positions.begin(), positions.end(), FOrder.begin() + static_cast<std::ptrdiff_t>(begin));
    }
}

void TClientDataSet::RestrictView()
{
    if (!FMaster || FKeyFields.empty()) {
        FViewBegin = 0;
        FViewEnd = FOrder.size();
        return;
    }
    const auto field = static_cast<size_t>(FKeyFields.front());
    const TValueView master = ViewOf(FMasterValue);
    auto compare = [&](size_t row) { return CompareValues(FRows.Value(row, field), master, *FCollator); };
    auto begin = std::partition_point(FOrder.begin(), FOrder.end(), [&](size_t row) { return compare(row) < 0; });
    auto end = std::partition_point(begin, FOrder.end(), [&](size_t row) { return compare(row) <= 0; });
    FViewBegin = static_cast<size_t>(begin - FOrder.begin());
    FViewEnd = static_cast<size_t>(end - FOrder.begin());
}

TValueView TClientDataSet::StoredValue(size_t row, const TField& field) const
{
    if (!IsOpen() || row >= FRows.RowCount() || field.FStored < 0)
        return {};
    return FRows.Value(row, static_cast<size_t>(field.FStored));
}

std::vector<size_t> TClientDataSet::OrderPlaces() const
{
    std::vector<size_t> places(FRows.RowCount(), kNoRow);
    for (size_t place = 0; place < FOrder.size(); ++place)
        places[FOrder[place]] = place;
    return places;
}

TValueView TClientDataSet::OrderValue(size_t place, const TField& field) const
{
    if (!IsOpen() || place >= FOrder.size() || field.FStored < 0)
        return {};
    return FRows.Value(FOrder[place], static_cast<size_t>(field.FStored));
}

TRowRef TClientDataSet::OrderRowRef(size_t place) const
{
    if (!IsOpen() || place >= FOrder.size())
        return {};
    return {FRowOf[FOrder[place]], place, FGeneration};
}

size_t TClientDataSet::OrderPlaceOf(const TRowRef& ref) const
{
    if (!IsOpen() || !ref.IsSet() || ref.Generation < FOpenedAt || ref.Row >= FLatest.size())
        return kNoRow;
    const size_t row = FLatest[ref.Row];
    if (row == kNoRow || (FRows.RowState(row) & kHiddenStates))
        return kNoRow;
    if (ref.Generation == FGeneration && ref.Position < FOrder.size() && FOrder[ref.Position] == row)
        return ref.Position;
    return FindInOrder(row);
}

size_t TClientDataSet::FindInOrder(size_t row) const
{
    auto it = std::lower_bound(FOrder.begin(), FOrder.end(), row,
                               [&](size_t r, size_t target) { return CompareRows(r, target) < 0; });
    for (; it != FOrder.end() && CompareRows(*it, row) == 0; ++it)
        if (*it == row)
            return static_cast<size_t>(it - FOrder.begin());
    return kNoRow;
}

void TClientDataSet::InsertIntoOrder(size_t row)
{
    // After the rows with an equal key.
    auto it = std::upper_bound(FOrder.begin(), FOrder.end(), row,
                               [&](size_t target, size_t r) { return CompareRows(target, r) < 0; });
    FOrder.insert(it, row);
    ++FGeneration;
    RestrictView();
}

void TClientDataSet::RemoveFromOrder(size_t position)
{
    FOrder.erase(FOrder.begin() + static_cast<std::ptrdiff_t>(position));
    ++FGeneration;
    RestrictView();
}

void TClientDataSet::PlaceCursorOn(size_t row, size_t fallback)
{
    size_t position = FindInOrder(row);
    if (position != kNoRow && position >= FViewBegin && position < FViewEnd)
        FCursor = position;
    else if (FViewBegin == FViewEnd)
        FCursor = FViewBegin;
    else
        FCursor = std::clamp(fallback, FViewBegin, FViewEnd - 1);
}

size_t TClientDataSet::CurrentRow() const
{
    if (!IsOpen() || !HasCurrent())
        return kNoRow;
    return FOrder[FCursor];
}

size_t TClientDataSet::RowAt(size_t position) const
{
    if (!IsOpen() || position >= FViewEnd - FViewBegin)
        return kNoRow;
    return FOrder[FViewBegin + position];
}

size_t TClientDataSet::RecordCount() const
{
    return IsOpen() ? FViewEnd - FViewBegin : 0;
}

bool TClientDataSet::AtEnd() const
{
    return !IsOpen() || FAtEnd || FViewBegin == FViewEnd;
}

size_t TClientDataSet::RowNumber() const
{
    return IsOpen() && HasCurrent() ? FCursor - FViewBegin + 1 : 0;
}

void TClientDataSet::MoveTo(size_t position)
{
    FCursor = position;
    FAtEnd = false;
    CursorMoved();
}

void TClientDataSet::GoFirst()
{
    CheckOpen();
    SettleEdit();
    if (FViewBegin == FViewEnd) {
        FAtEnd = true;
        return;
    }
    MoveTo(FViewBegin);
}

void TClientDataSet::GoNext()
{
    CheckOpen();
    SettleEdit();
    if (HasCurrent() && FCursor + 1 < FViewEnd)
        MoveTo(FCursor + 1);
    else
        FAtEnd = true;
}

void TClientDataSet::GoBy(long n)
{
    CheckOpen();
    SettleEdit();
    if (FViewBegin == FViewEnd || n == 0)
        return;
    long target = static_cast<long>(FCursor) + n;
    target = std::clamp(target, static_cast<long>(FViewBegin), static_cast<long>(FViewEnd) - 1);
    MoveTo(static_cast<size_t>(target));
}

TRowRef TClientDataSet::CurrentRowRef() const
{
    if (!IsOpen() || !HasCurrent())
        return {};
    return {FRowOf[FOrder[FCursor]], FCursor - FViewBegin, FGeneration};
}

TRowRef TClientDataSet::RowRefAt(size_t position) const
{
    if (!IsOpen() || position >= FViewEnd - FViewBegin)
        return {};
    return {FRowOf[FOrder[FViewBegin + position]], position, FGeneration};
}

bool TClientDataSet::GoToRow(const TRowRef& ref)
{
    CheckOpen();
    SettleEdit();
    if (!ref.IsSet() || ref.Generation < FOpenedAt)
        return false;
    if (ref.Generation == FGeneration && FViewBegin + ref.Position < FViewEnd &&
        FRowOf[FOrder[FViewBegin + ref.Position]] == ref.Row) {
        MoveTo(FViewBegin + ref.Position);
        return true;
    }
    if (ref.Row >= FLatest.size() || FLatest[ref.Row] == kNoRow)
        return false;
    size_t row = FLatest[ref.Row];
    if (FRows.RowState(row) & kHiddenStates)
        return false;
    size_t position = FindInOrder(row);
    if (position == kNoRow || position < FViewBegin || position >= FViewEnd)
        return false;
    MoveTo(position);
    return true;
}

int TClientDataSet::CompareRowRefs(const TRowRef& a, const TRowRef& b)
{
    if (!a.IsSet() || !b.IsSet())
        return a.IsSet() == b.IsSet() ? 0 : (a.IsSet() ? 1 : -1);
    return a.Position < b.Position ? -1 : (a.Position > b.Position ? 1 : 0);
}

void TClientDataSet::SuspendViews()
{
    ++FSuspended;
}

void TClientDataSet::ResumeViews()
{
    if (FSuspended > 0 && --FSuspended == 0)
        CursorMoved();
}

void TClientDataSet::AddObserver(TDataSetObserver* observer)
{
    FObservers.push_back(observer);
}

void TClientDataSet::RemoveObserver(TDataSetObserver* observer)
{
    std::erase(FObservers, observer);
}

// The lists are walked by position, not copied: telling them allocates nothing, so
// it cannot fail after an operation has changed the table. One added or removed
// while they are told is still passed over safely.
void TClientDataSet::UpdateRecord()
{
    for (size_t i = 0; i < FObservers.size(); ++i)
        FObservers[i]->UpdateRecord(*this);
}

void TClientDataSet::Changed()
{
    if (FSuspended > 0)
        return;
    for (size_t i = 0; i < FObservers.size(); ++i)
        FObservers[i]->DataSetChanged(*this);
}

void TClientDataSet::CursorMoved()
{
    if (FSuspended > 0)
        return;
    Changed();
    for (size_t i = 0; i < FDetails.size(); ++i)
        FDetails[i]->MasterChanged();
}

TFieldValue TClientDataSet::MasterValueNow() const
{
    if (!FMaster || !FMaster->IsOpen() || FMaster->State() == TTableState::Insert)
        return {};
    return FMaster->FieldNamed(FMasterFields).AsValue();
}

void TClientDataSet::MasterChanged()
{
    if (!IsOpen())
        return;
    SettleEdit();
    TFieldValue value = MasterValueNow();
    if (value == FMasterValue)
        return;
    FMasterValue = std::move(value);
    RestrictView();
    ++FGeneration;
    FCursor = FViewBegin;
    FAtEnd = FViewBegin == FViewEnd;
    CursorMoved();
}
