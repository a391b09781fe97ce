#include "mark_find.h"

#include <algorithm>

#include "code_page.h"

namespace {

// Every byte folded for matching: letters to lower case, "ё" and "Ё" to "е".
struct TFoldTable {
    std::array<unsigned char, 256> Byte{};
    TFoldTable()
    {
        std::string all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[static_cast<std::size_t>(b)] = static_cast<char>(b);
        const std::string lower = Cp1251Lower(all);
        for (std::size_t b = 0; b < 256; ++b)
            Byte[b] = static_cast<unsigned char>(lower[b]);
        constexpr unsigned char kIo = 0xB8, kCapitalIo = 0xA8, kIe = 0xE5;
        Byte[kIo] = Byte[kCapitalIo] = kIe;
    }
};

const TFoldTable& Fold()
{
    static const TFoldTable table;
    return table;
}

std::string_view BytesOf(const TValueView& value)
{
    const auto* bytes = std::get_if<std::string_view>(&value);
    return bytes ? *bytes : std::string_view();
}

} // namespace

TTextMatcher::TTextMatcher(std::string_view text)
{
    const auto& fold = Fold().Byte;
    FText.reserve(text.size());
    for (char c : text)
        FText.push_back(static_cast<char>(fold[static_cast<unsigned char>(c)]));
    const std::size_t m = FText.size();
    FShift.fill(m);
    for (std::size_t i = 0; i + 1 < m; ++i)
        FShift[static_cast<unsigned char>(FText[i])] = m - 1 - i;
}

bool TTextMatcher::Matches(std::string_view text) const
{
    // Boyer-Moore-Horspool on the folded bytes: a long description is mostly
    // skipped over, several bytes at a time.
    const std::size_t m = FText.size();
    if (m == 0)
        return true;
    if (text.size() < m)
        return false;
    const auto& fold = Fold().Byte;
    const auto* pattern = reinterpret_cast<const unsigned char*>(FText.data());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char last = pattern[m - 1];
    for (std::size_t at = 0; at + m <= text.size();) {
        const unsigned char c = fold[bytes[at + m - 1]];
        if (c == last) {
            std::size_t i = 0;
            while (i + 1 < m && fold[bytes[at + i]] == pattern[i])
                ++i;
            if (i + 1 == m)
                return true;
        }
        at += FShift[c];
    }
    return false;
}

TMarkSearch::TMarkSearch(TClientDataSet& cats, TClientDataSet& marks, std::string_view text, bool descriptions)
    : FCats(cats), FMarks(marks), FMatcher(text), FDescriptions(descriptions), FCatId(cats.FieldNamed("id")),
      FCatName(cats.FieldNamed("name")), FName(marks.FieldNamed("name")), FDescr(marks.FieldNamed("descr")),
      FScale1(marks.FieldNamed("scale1")), FCategoryId(marks.FieldNamed("categoryid"))
{
    Restart();
}

void TMarkSearch::Restart()
{
    FCatsStamp = FCats.ContentStamp();
    FMarksStamp = FMarks.ContentStamp();
    FStarted = false;
    FPlaces.clear();
    FCategories.clear();
    FNullCategory = kNoRow;
    FRow = 0;
    FHits.clear();
    FFound.clear();
    FTotal = 0;
    // An empty text finds nothing rather than everything.
    FDone = FMatcher.Empty();
}

bool TMarkSearch::Current() const
{
    return FDone && FCatsStamp == FCats.ContentStamp() && FMarksStamp == FMarks.ContentStamp();
}

bool TMarkSearch::Run(std::chrono::steady_clock::duration budget)
{
    return Continue(true, std::chrono::steady_clock::now() + budget);
}

void TMarkSearch::RunToEnd()
{
    Continue(false, {});
}

bool TMarkSearch::Continue(bool timed, std::chrono::steady_clock::time_point deadline)
{
    if (FCatsStamp != FCats.ContentStamp() || FMarksStamp != FMarks.ContentStamp())
        Restart();
    if (FDone)
        return true;
    if (!FStarted)
        Begin();
    if (!Scan(timed, deadline))
        return false;
    Finish();
    FDone = true;
    return true;
}

void TMarkSearch::Begin()
{
    FPlaces = FMarks.OrderPlaces();
    for (std::size_t position = 0; position < FCats.RecordCount(); ++position) {
        const TFieldValue id = FCatId.ValueAt(position);
        if (const auto* value = std::get_if<std::int64_t>(&id))
            FCategories.emplace(*value, position);
        else if (IsNullValue(id) && FNullCategory == kNoRow)
            FNullCategory = position;
    }
    FStarted = true;
}

std::size_t TMarkSearch::CategoryOf(std::size_t row) const
{
    const TValueView id = FMarks.StoredValue(row, FCategoryId);
    if (const auto* value = std::get_if<std::int64_t>(&id)) {
        const auto found = FCategories.find(*value);
        return found == FCategories.end() ? kNoRow : found->second;
    }
    return id.index() == 0 ? FNullCategory : kNoRow;
}

bool TMarkSearch::Scan(bool timed, std::chrono::steady_clock::time_point deadline)
{
    // The clock is read once every so many marks: reading it costs more than
    // looking at a short name.
    constexpr unsigned kMarksPerClockRead = 64;
    unsigned sinceClock = 0;
    for (; FRow < FPlaces.size(); ++FRow) {
        if (timed && ++sinceClock == kMarksPerClockRead) {
            sinceClock = 0;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
        }
        const std::size_t place = FPlaces[FRow];
        if (place == kNoRow)
            continue;
        if (!FMatcher.Matches(BytesOf(FMarks.StoredValue(FRow, FName))) &&
            !(FDescriptions && FMatcher.Matches(BytesOf(FMarks.StoredValue(FRow, FDescr)))))
            continue;
        if (const std::size_t category = CategoryOf(FRow); category != kNoRow)
            FHits.emplace_back(category, place);
    }
    return true;
}

void TMarkSearch::Finish()
{
    FTotal = FHits.size();
    const std::size_t kept = std::min(FHits.size(), kKept);
    const auto end = FHits.begin() + static_cast<std::ptrdiff_t>(kept);
    std::partial_sort(FHits.begin(), end, FHits.end());
    FFound.reserve(kept);
    std::string categoryName;
    std::size_t lastCategory = kNoRow;
    for (auto hit = FHits.begin(); hit != end; ++hit) {
        const auto [category, place] = *hit;
        if (category != lastCategory) {
            categoryName = FCatName.TextAt(category);
            lastCategory = category;
        }
        TFoundMark& found = FFound.emplace_back();
        found.Mark = FMarks.OrderRowRef(place);
        found.Category = categoryName;
        found.Name = BytesOf(FMarks.OrderValue(place, FName));
        const TValueView scale = FMarks.OrderValue(place, FScale1);
        if (const auto* value = std::get_if<std::int64_t>(&scale))
            found.Scale1 = std::to_string(*value);
        const std::string_view descr = BytesOf(FMarks.OrderValue(place, FDescr));
        found.FirstLine = descr.substr(0, std::min(descr.find_first_of("\r\n"), TFoundMark::kFirstLineBytes));
    }
    // Only the marks kept stay held.
    FHits = decltype(FHits)();
    FPlaces = decltype(FPlaces)();
    FCategories = decltype(FCategories)();
}

bool GoToFoundMark(TClientDataSet& cats, TClientDataSet& marks, const TRowRef& mark)
{
    const std::size_t place = marks.OrderPlaceOf(mark);
    if (place == kNoRow)
        return false;
    const TFieldValue category = ValueOf(marks.OrderValue(place, marks.FieldNamed("categoryid")));
    TField& id = cats.FieldNamed("id");
    std::size_t position = 0;
    while (position < cats.RecordCount() && id.ValueAt(position) != category)
        ++position;
    if (position == cats.RecordCount())
        return false;
    cats.GoToRow(cats.RowRefAt(position));
    // Moving the categories settles a pending edit of the marks, which may place rows
    // anew: the mark is looked up again.
    marks.SettleEdit();
    return marks.GoToRow(marks.OrderRowRef(marks.OrderPlaceOf(mark)));
}
