#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "client_dataset.h"

// Finding marks by a piece of their name, or of their description, across every
// category of a database.

// A text looked for the way people expect of a search box: letter case does not
// matter, for Cyrillic as for Latin; "ё" and "е" count as one letter; the text may
// stand anywhere. Works on Windows-1251 bytes as the tables hold them, so nothing
// has to be kept in step with the tables.
class TTextMatcher {
public:
    explicit TTextMatcher(std::string_view text);
    bool Empty() const { return FText.empty(); }
    bool Matches(std::string_view text) const;

private:
    std::string FText; // folded
    // How far the text may move on when its last byte lines up with a given folded byte.
    std::array<std::size_t, 256> FShift{};
};

// A mark found, with the texts a list of results shows.
struct TFoundMark {
    TRowRef Mark;          // leads back to the mark (GoToFoundMark)
    std::string Category;  // the name of its category
    std::string Name;
    std::string Scale1;
    std::string FirstLine; // of its description, at most kFirstLineBytes of it

    static constexpr std::size_t kFirstLineBytes = 256;
};

// A search of the marks of every category. The rows are read in the order they lie
// in memory, which is several times faster than following the order of the view
// over the whole table; the marks found are then listed as someone browsing the
// grids meets them: categories in the order of their table's view, the marks of
// each in their own order. It runs in slices, so a long one can let other work in
// between, and starts over by itself when a table has changed since it began.
// Marks whose category is not in the categories table are not found: no grid could
// show them.
class TMarkSearch {
public:
    // The first this many marks found are kept; the rest are only counted.
    static constexpr std::size_t kKept = 1000;

    // text: Windows-1251. descriptions: the descriptions are searched too.
    TMarkSearch(TClientDataSet& cats, TClientDataSet& marks, std::string_view text, bool descriptions);

    // Searches on for about the given time; true once the search is done.
    bool Run(std::chrono::steady_clock::duration budget);
    void RunToEnd();
    bool Done() const { return FDone; }
    // Done, and neither table changed since: the results are those of the tables now.
    bool Current() const;

    const std::vector<TFoundMark>& Found() const { return FFound; }
    // Every mark found, kept or not.
    std::size_t Total() const { return FTotal; }

private:
    TClientDataSet& FCats;
    TClientDataSet& FMarks;
    TTextMatcher FMatcher;
    bool FDescriptions;
    TField& FCatId;
    TField& FCatName;
    TField& FName;
    TField& FDescr;
    TField& FScale1;
    TField& FCategoryId;

    std::uint64_t FCatsStamp = 0;
    std::uint64_t FMarksStamp = 0;
    bool FStarted = false;
    bool FDone = false;
    // While it runs: each stored mark's place in the order, each category id's
    // position in the categories' view, the next stored mark to look at, and the
    // marks found as (category position, place).
    std::vector<std::size_t> FPlaces;
    std::unordered_map<std::int64_t, std::size_t> FCategories;
    std::size_t FNullCategory = kNoRow;
    std::size_t FRow = 0;
    std::vector<std::pair<std::size_t, std::size_t>> FHits;
    std::vector<TFoundMark> FFound;
    std::size_t FTotal = 0;

    void Restart();
    // Runs on until done, or when timed until the deadline; true once done.
    bool Continue(bool timed, std::chrono::steady_clock::time_point deadline);
    void Begin();
    // Looks at the stored marks from FRow on; false when the deadline passed first.
    bool Scan(bool timed, std::chrono::steady_clock::time_point deadline);
    // The position in the categories' view of a stored mark's category; kNoRow for none.
    std::size_t CategoryOf(std::size_t row) const;
    // Lists the first marks found in the grids' order and lets go of the rest.
    void Finish();
};

// Makes a mark found current: its category in cats, then the mark in marks, settling
// pending edits on the way as moving in the grids does. False, with nothing moved,
// when the mark is gone (deleted, or its table reopened since) or its category is not
// in cats.
bool GoToFoundMark(TClientDataSet& cats, TClientDataSet& marks, const TRowRef& mark);
