#include "edit_history.h"

#include <algorithm>
#include <new>

#include "marks_error.h"

namespace {

// Suspends the views of the tables for a scope; on the way out the details resume
// first and the master last, so they follow it once.
class TSuspendedTables {
public:
    explicit TSuspendedTables(const std::vector<THistoryTable>& tables) : FTables(tables)
    {
        for (const THistoryTable& t : FTables)
            t.Table->SuspendViews();
    }
    ~TSuspendedTables()
    {
        for (auto t = FTables.rbegin(); t != FTables.rend(); ++t)
            t->Table->ResumeViews();
    }
    TSuspendedTables(const TSuspendedTables&) = delete;
    TSuspendedTables& operator=(const TSuspendedTables&) = delete;

private:
    const std::vector<THistoryTable>& FTables;
};

class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

std::string Counted(std::size_t rows, const THistoryTable& table)
{
    return rows == 1 ? table.One : std::to_string(rows) + " " + table.Many;
}

bool OutOfMemory(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (const std::length_error&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

std::size_t TEditHistory::TPart::BytesHeld() const
{
    return sizeof(TPart) + Images.BytesHeld() + (IdsBefore ? IdsBefore->BytesHeld() : 0) +
           (IdsAfter ? IdsAfter->BytesHeld() : 0) + (IdsBack.capacity() + IdsAgain.capacity()) * sizeof(IdsBack[0]);
}

std::size_t TEditHistory::TStep::BytesHeld() const
{
    std::size_t bytes = sizeof(TStep) + Name.capacity() +
                        (CurrentBefore.capacity() + CurrentAfter.capacity()) * sizeof(TFieldValue);
    for (const TPart& part : Parts)
        bytes += part.BytesHeld();
    return bytes;
}

TEditHistory::TEditHistory(std::vector<THistoryTable> tables) : FTables(std::move(tables))
{
    for (const THistoryTable& t : FTables)
        t.Table->SetWatcher(this);
}

TEditHistory::~TEditHistory()
{
    for (const THistoryTable& t : FTables)
        t.Table->SetWatcher(nullptr);
}

void TEditHistory::Recount()
{
    FBytes = 0;
    for (const TStep& step : FUndo)
        FBytes += step.BytesHeld();
    for (const TStep& step : FRedo)
        FBytes += step.BytesHeld();
}

void TEditHistory::SetLimits(std::size_t steps, std::size_t bytes)
{
    FMaxSteps = steps;
    FMaxBytes = bytes;
    Trim();
}

void TEditHistory::Clear()
{
    FUndo.clear();
    FRedo.clear();
    FBytes = 0;
    // A step being recorded began before what made the history useless.
    if (FNesting > 0)
        FBroken = true;
    Notify();
}

void TEditHistory::Notify() noexcept
{
    try {
        if (Changed)
            Changed();
    } catch (...) {
        // Only the menu stays as it was.
    }
}

std::string TEditHistory::UndoName() const
{
    return FUndo.empty() ? std::string() : FUndo.back().Name;
}

std::string TEditHistory::RedoName() const
{
    return FRedo.empty() ? std::string() : FRedo.back().Name;
}

std::vector<TFieldValue> TEditHistory::Currents() const
{
    std::vector<TFieldValue> ids;
    ids.reserve(FTables.size());
    for (const THistoryTable& t : FTables)
        ids.push_back(t.Table->CurrentId());
    return ids;
}

void TEditHistory::Restore(const std::vector<TFieldValue>& currents)
{
    // The master first: its move shows the detail rows among which the detail's
    // current row is found.
    for (std::size_t i = 0; i < FTables.size() && i < currents.size(); ++i) {
        TClientDataSet& table = *FTables[i].Table;
        if (!table.IsOpen() || IsNullValue(currents[i]))
            continue;
        try {
            table.GoToId(currents[i]);
        } catch (...) {
            // The step is done; only the cursor stays where it is.
        }
    }
}

void TEditHistory::SettleEdits()
{
    for (auto t = FTables.rbegin(); t != FTables.rend(); ++t)
        if (t->Table->IsOpen())
            t->Table->SettleEdit();
}

void TEditHistory::BeginStep(const std::string& verb) noexcept
{
    try {
        if (FNesting == 0)
            Open();
        if (FVerb.empty())
            FVerb = verb;
    } catch (...) {
        Clear();
        FBroken = true;
    }
    ++FNesting;
}

void TEditHistory::EndStep() noexcept
{
    if (FNesting == 0 || --FNesting > 0)
        return;
    try {
        Close();
    } catch (...) {
        Clear();
    }
    FBroken = false;
}

void TEditHistory::BeforeChange(TClientDataSet&) noexcept
{
    if (!FApplying)
        BeginStep();
}

void TEditHistory::AfterChange(TClientDataSet&) noexcept
{
    if (!FApplying)
        EndStep();
}

void TEditHistory::BeforeMerge(TClientDataSet& table) noexcept
{
    // A merge in the middle of a step leaves nothing its positions could roll back.
    if (FNesting > 0) {
        Clear();
        return;
    }
    try {
        // From the newest step back. The images are read from the table as it is;
        // a step made before a renumbering gets the ids its rows had then, which
        // the oldest renumbering after it kept for every stored row.
        const std::vector<std::int64_t>* idsThen = nullptr;
        std::vector<TPart*> renumbered;
        for (auto step = FUndo.rbegin(); step != FUndo.rend(); ++step)
            for (TPart& part : step->Parts) {
                if (FTables[part.Table].Table != &table)
                    continue;
                if (part.Kind == TPartKind::Rolled) {
                    part.Images = table.ImagesBetween(part.Begin, part.End, idsThen);
                    part.Kind = TPartKind::Images;
                } else if (part.Kind == TPartKind::Renumbered) {
                    idsThen = &part.IdsBefore->Ids;
                    renumbered.push_back(&part);
                }
            }
        for (TPart* part : renumbered)
            MapIds(*part);
        Recount();
        Trim();
        Notify();
    } catch (...) {
        Clear();
    }
}

void TEditHistory::MapIds(TPart& part)
{
    // The merge drops and moves stored rows; the rows in use keep their ids, by
    // which the renumbering is then put back and made again. Rows that shared an
    // id could not be told apart: the history is then given up.
    const TIdLayout& before = *part.IdsBefore;
    const TIdLayout& after = *part.IdsAfter;
    std::vector<std::pair<std::int64_t, std::int64_t>> back, again;
    back.reserve(before.Order.size());
    again.reserve(before.Order.size());
    for (std::size_t row : before.Order) {
        if (row >= before.Ids.size() || row >= after.Ids.size())
            throw EMarksError("The history of changes does not match the table");
        back.emplace_back(after.Ids[row], before.Ids[row]);
        again.emplace_back(before.Ids[row], after.Ids[row]);
    }
    auto sameKey = [](const auto& a, const auto& b) { return a.first == b.first; };
    std::sort(back.begin(), back.end());
    std::sort(again.begin(), again.end());
    if (std::adjacent_find(back.begin(), back.end(), sameKey) != back.end() ||
        std::adjacent_find(again.begin(), again.end(), sameKey) != again.end())
        throw EMarksError("Rows share an id");
    part.IdsBack = std::move(back);
    part.IdsAgain = std::move(again);
    part.AutoIncBefore = before.AutoInc;
    part.AutoIncAfter = after.AutoInc;
    part.IdsBefore.reset();
    part.IdsAfter.reset();
    part.Kind = TPartKind::IdsMapped;
}

void TEditHistory::Open()
{
    FBroken = false;
    FVerb.clear();
    FCurrentBefore = Currents();
    FBegin.clear();
    for (const THistoryTable& t : FTables)
        FBegin.push_back(t.Table->ChangeMark());
}

void TEditHistory::Close()
{
    if (FBroken)
        return;
    TStep step;
    std::vector<TClientDataSet::TChangeSummary> summaries;
    for (std::size_t i = 0; i < FTables.size(); ++i) {
        const TClientDataSet& table = *FTables[i].Table;
        const TChangeMark now = table.ChangeMark();
        // Opened or merged since the step began: there is nothing to roll back to.
        if (now.Epoch != FBegin[i].Epoch) {
            Clear();
            return;
        }
        summaries.push_back(table.SummarySince(FBegin[i]));
        if (now != FBegin[i])
            step.Parts.push_back({i, TPartKind::Rolled, FBegin[i], now, {}, nullptr, nullptr, {}, {}, 0, 0});
    }
    if (step.Parts.empty())
        return;
    step.Name = NameOf(summaries);
    step.CurrentBefore = std::move(FCurrentBefore);
    step.CurrentAfter = Currents();
    Push(std::move(step));
}

std::string TEditHistory::NameOf(const std::vector<TClientDataSet::TChangeSummary>& summaries) const
{
    std::size_t inserts = 0, modifies = 0, deletes = 0;
    std::string rows;
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        const auto& s = summaries[i];
        inserts += s.Inserts;
        modifies += s.Modifies;
        deletes += s.Deletes;
        if (s.Rows > 0)
            rows += (rows.empty() ? "" : " and ") + Counted(s.Rows, FTables[i]);
    }
    std::string verb = FVerb;
    if (verb.empty())
        verb = modifies + deletes == 0 ? "Insert" : inserts + deletes == 0 ? "Edit" : inserts + modifies == 0 ? "Delete" : "Change";
    return rows.empty() ? verb : verb + " " + rows;
}

void TEditHistory::Push(TStep step)
{
    const std::size_t bytes = step.BytesHeld();
    FUndo.push_back(std::move(step));
    FBytes += bytes;
    if (!FRedo.empty()) {
        FRedo.clear();
        Recount();
    }
    Trim();
    Notify();
}

void TEditHistory::Move(std::deque<TStep>& from, std::deque<TStep>& to) noexcept
{
    // The step is done; a history that cannot take note of it forgets everything
    // rather than offer the step again.
    try {
        to.push_back(std::move(from.back()));
        from.pop_back();
        Recount();
        Trim();
        Notify();
    } catch (...) {
        Clear();
    }
}

void TEditHistory::Trim()
{
    while (StepCount() > FMaxSteps || (StepCount() > 0 && FBytes > FMaxBytes)) {
        std::deque<TStep>& oldest = FUndo.empty() ? FRedo : FUndo;
        FBytes -= oldest.front().BytesHeld();
        oldest.pop_front();
    }
}

bool TEditHistory::Travel(std::deque<TStep>& from, std::deque<TStep>& to, const std::string& verb,
                          const std::function<void(TStep&)>& apply)
{
    if (FNesting > 0)
        return false;
    SettleEdits();
    if (from.empty())
        return false;
    TStep& step = from.back();
    const std::vector<TFieldValue> currents = Currents();
    std::exception_ptr failure;
    {
        TFlagScope applying(FApplying);
        TSuspendedTables suspended(FTables);
        try {
            apply(step);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        Restore(currents);
        Failed(verb + " " + step.Name, failure);
    }
    Move(from, to);
    return true;
}

void TEditHistory::Undo()
{
    const bool undone = Travel(FUndo, FRedo, "Undo", [this](TStep& step) {
        // What can fail comes first: the checks, the images kept for redo, and the
        // rollbacks prepared. Then the parts that go through the tables' own
        // operations, undone again should one fail; then the rollbacks, which
        // cannot fail.
        std::vector<TRollBack> rollBacks = ImageRollBacks(step);
        std::vector<TChangeImages> redo(step.Parts.size());
        for (std::size_t k = 0; k < step.Parts.size(); ++k) {
            const TPart& part = step.Parts[k];
            TClientDataSet& table = *FTables[part.Table].Table;
            if (part.Kind == TPartKind::Rolled) {
                if (table.ChangeMark() != part.End)
                    throw EMarksError(table.Name() + ": The history of changes does not match the table");
                redo[k] = table.ImagesBetween(part.Begin, part.End);
                table.PrepareRollBack(part.Begin, rollBacks[k]);
            }
        }
        ApplyParts(step, false, rollBacks);
        for (std::size_t k = 0; k < step.Parts.size(); ++k) {
            TPart& part = step.Parts[k];
            if (part.Kind != TPartKind::Rolled)
                continue;
            FTables[part.Table].Table->CommitRollBack(rollBacks[k]);
            part.Images = std::move(redo[k]);
            part.Kind = TPartKind::Images;
        }
    });
    if (undone)
        Restore(FRedo.back().CurrentBefore);
}

void TEditHistory::Redo()
{
    const bool redone = Travel(FRedo, FUndo, "Redo", [this](TStep& step) {
        std::vector<TRollBack> rollBacks = ImageRollBacks(step);
        ApplyParts(step, true, rollBacks);
        // Made again as logged changes, the step is held by their positions again.
        for (std::size_t k = 0; k < step.Parts.size(); ++k)
            if (TPart& part = step.Parts[k]; part.Kind == TPartKind::Images) {
                part.Begin = rollBacks[k].Mark;
                part.End = FTables[part.Table].Table->ChangeMark();
                part.Images = {};
                part.Kind = TPartKind::Rolled;
            }
    });
    if (redone)
        Restore(FUndo.back().CurrentAfter);
}

std::vector<TRollBack> TEditHistory::ImageRollBacks(const TStep& step) const
{
    std::vector<TRollBack> rollBacks(step.Parts.size());
    for (std::size_t k = 0; k < step.Parts.size(); ++k) {
        const TPart& part = step.Parts[k];
        if (part.Kind != TPartKind::Images)
            continue;
        const TClientDataSet& table = *FTables[part.Table].Table;
        rollBacks[k] = table.RollBackRoom(part.Images);
        rollBacks[k].Mark = table.ChangeMark();
    }
    return rollBacks;
}

void TEditHistory::ApplyParts(TStep& step, bool forward, std::vector<TRollBack>& rollBacks)
{
    // Undo takes the parts back from the last, redo makes them from the first. A
    // part that fails has left its table as it was; the parts applied before it are
    // rolled back in the room reserved for that, which needs no memory.
    const std::size_t count = step.Parts.size();
    std::size_t done = 0;
    try {
        for (; done < count; ++done) {
            TPart& part = step.Parts[forward ? done : count - 1 - done];
            TClientDataSet& table = *FTables[part.Table].Table;
            if (part.Kind == TPartKind::Images)
                table.ApplyImages(part.Images, forward);
            else if (part.Kind == TPartKind::Renumbered)
                table.RestoreIdLayout(forward ? *part.IdsAfter : *part.IdsBefore);
            else if (part.Kind == TPartKind::IdsMapped)
                table.MapIds(forward ? part.IdsAgain : part.IdsBack, forward ? part.AutoIncAfter : part.AutoIncBefore);
        }
    } catch (...) {
        while (done-- > 0) {
            const std::size_t k = forward ? done : count - 1 - done;
            TPart& part = step.Parts[k];
            TClientDataSet& table = *FTables[part.Table].Table;
            if (part.Kind == TPartKind::Images) {
                table.PrepareRollBack(rollBacks[k].Mark, rollBacks[k]);
                table.CommitRollBack(rollBacks[k]);
            } else if (part.Kind == TPartKind::Renumbered) {
                table.RestoreIdLayout(forward ? *part.IdsBefore : *part.IdsAfter);
            } else if (part.Kind == TPartKind::IdsMapped) {
                table.MapIds(forward ? part.IdsBack : part.IdsAgain, forward ? part.AutoIncBefore : part.AutoIncAfter);
            }
        }
        throw;
    }
}

void TEditHistory::Failed(const std::string& what, std::exception_ptr error)
{
    // Out of memory, the tables are as they were and the history may work later.
    // Otherwise the history no longer matches the tables and is of no further use.
    if (OutOfMemory(error))
        std::rethrow_exception(error);
    const std::string message = what + " changed nothing. " + ErrorMessageOf(error);
    Clear();
    throw EMarksError(message);
}

void TEditHistory::Renumber(TClientDataSet& table, const std::function<void()>& renumber, const std::string& name)
{
    std::size_t index = 0;
    while (index < FTables.size() && FTables[index].Table != &table)
        ++index;
    if (index == FTables.size() || !table.IsOpen()) {
        renumber();
        return;
    }
    table.SettleEdit();
    const TChangeMark before = table.ChangeMark();
    TStep step;
    try {
        step.Name = name;
        step.CurrentBefore = Currents();
        step.Parts.push_back({index, TPartKind::Renumbered, {}, {}, {}, nullptr, nullptr, {}, {}, 0, 0});
        step.Parts.back().IdsBefore = std::make_unique<TIdLayout>(table.SaveIdLayout());
    } catch (...) {
        // The ids change without a step; the steps before it would look for rows
        // by ids that are gone.
        Clear();
        renumber();
        return;
    }
    try {
        renumber();
    } catch (...) {
        if (!table.IsOpen() || table.Epoch() != before.Epoch)
            Clear();
        throw;
    }
    // Renumbering reads the table back with the same rows and change log, so the
    // positions of the steps before it still hold in the table as it is now.
    const TChangeMark after = table.ChangeMark();
    if (!table.IsOpen() || after.Log != before.Log || after.Rows != before.Rows) {
        Clear();
        return;
    }
    try {
        step.Parts.back().IdsAfter = std::make_unique<TIdLayout>(table.SaveIdLayout());
        step.CurrentAfter = Currents();
        for (TStep& done : FUndo)
            for (TPart& part : done.Parts)
                if (part.Table == index && part.Kind == TPartKind::Rolled && part.Begin.Epoch == before.Epoch)
                    part.Begin.Epoch = part.End.Epoch = after.Epoch;
        Push(std::move(step));
    } catch (...) {
        Clear();
    }
}
