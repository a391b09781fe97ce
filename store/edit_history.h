#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client_dataset.h"

// A table an edit history watches, with the words its steps name its rows by.
struct THistoryTable {
    TClientDataSet* Table = nullptr;
    std::string One;  // "Mark"
    std::string Many; // "Marks"
};

// The undo and redo history of a window's tables. Every change a person makes is
// one step: what happens between BeginStep and EndStep (a drop, a delete of several
// rows, an import, spanning one table or several), and otherwise each change a
// table logs on its own (a posted row, a deleted row). A new step drops the steps
// that were undone.
//
// A step is kept as the positions of its changes in the tables' change logs while
// no merge has happened since: undo then rolls the tables back exactly, so undoing
// everything since a Load or Save leaves no pending change and a Save writes the
// same bytes. Before a merge (a Save) the steps still held by position are turned
// into row images; undoing or redoing those goes through the tables' own edits,
// inserts and deletes and becomes a change to save again. Undo and redo either do
// the whole step or leave the tables as they were and raise the reason; afterwards
// the rows current before (undo) or after (redo) the step are current again.
//
// The history is bounded: at most kMaxSteps steps and kMaxBytes of row images and
// ids held; past either, the oldest steps are forgotten.
class TEditHistory final : public TChangeWatcher {
public:
    // A hundred steps reach back over a long session; 256 MB of images holds the
    // undone import of a whole 100,000-mark database (its rows take about 75 MB)
    // with room to spare, and stays well inside a desktop's memory.
    static constexpr std::size_t kMaxSteps = 100;
    static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;

    // The tables, a master before its details.
    explicit TEditHistory(std::vector<THistoryTable> tables);
    ~TEditHistory() override;
    TEditHistory(const TEditHistory&) = delete;
    TEditHistory& operator=(const TEditHistory&) = delete;

    // Brackets one step; calls nest and the outermost pair makes the step. The step
    // is named by verb and what it changed ("Delete 300 Marks", "Move Mark"); without
    // a verb, by the kind of its changes. A step that changed nothing is dropped.
    // Neither ever fails: a history without memory for a step forgets itself, and
    // the change goes on.
    void BeginStep(const std::string& verb = {}) noexcept;
    void EndStep() noexcept;
    // Runs an operation that renumbers the ids of the table's rows without logging
    // it (Reindex) as a step of that name.
    void Renumber(TClientDataSet& table, const std::function<void()>& renumber, const std::string& name);

    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    // The name of the step Undo or Redo would take back or make again.
    std::string UndoName() const;
    std::string RedoName() const;
    // Pending edits of the tables are settled first; a posted edit is a step of its
    // own, which Undo then takes back.
    void Undo();
    void Redo();
    void Clear();

    // Told whenever the steps to undo or redo change (a menu names them).
    std::function<void()> Changed;

    std::size_t StepCount() const { return FUndo.size() + FRedo.size(); }
    // Row images and ids held for the steps.
    std::size_t BytesHeld() const { return FBytes; }
    void SetLimits(std::size_t steps, std::size_t bytes);

    void BeforeChange(TClientDataSet& table) noexcept override;
    void AfterChange(TClientDataSet& table) noexcept override;
    void BeforeMerge(TClientDataSet& table) noexcept override;

private:
    // Rolled: positions in the change log. Images: rows before and after.
    // Renumbered: every stored row's id with the order, before and after.
    // IdsMapped: the ids after paired with those before, once a merge has changed
    // the stored rows.
    enum class TPartKind : std::uint8_t { Rolled, Images, Renumbered, IdsMapped };
    // One table's share of a step.
    struct TPart {
        std::size_t Table = 0;
        TPartKind Kind = TPartKind::Rolled;
        TChangeMark Begin, End;         // Rolled
        TChangeImages Images;           // Images
        std::unique_ptr<TIdLayout> IdsBefore, IdsAfter;             // Renumbered
        std::vector<std::pair<std::int64_t, std::int64_t>> IdsBack;   // IdsMapped, by id after
        std::vector<std::pair<std::int64_t, std::int64_t>> IdsAgain;  // IdsMapped, by id before
        std::int64_t AutoIncBefore = 0, AutoIncAfter = 0;             // IdsMapped
        std::size_t BytesHeld() const;
    };
    struct TStep {
        std::string Name;
        std::vector<TPart> Parts;
        // Per table, the id of the row current before and after the step.
        std::vector<TFieldValue> CurrentBefore, CurrentAfter;
        std::size_t BytesHeld() const;
    };

    std::vector<THistoryTable> FTables;
    std::deque<TStep> FUndo; // the last done at the back
    std::deque<TStep> FRedo; // the next to redo at the back
    std::size_t FBytes = 0; // what the steps hold, kept as they come and go
    std::size_t FMaxSteps = kMaxSteps;
    std::size_t FMaxBytes = kMaxBytes;

    // The step being recorded.
    int FNesting = 0;
    bool FBroken = false; // a merge or a reopening happened inside it
    std::string FVerb;
    std::vector<TChangeMark> FBegin;
    std::vector<TFieldValue> FCurrentBefore;
    // Set while Undo and Redo change the tables, whose changes are no steps.
    bool FApplying = false;

    void Open();
    // Turns a renumbered part into pairs of ids before a merge.
    static void MapIds(TPart& part);
    void Close();
    void Push(TStep step);
    void Trim();
    void Recount();
    void Notify() noexcept;
    // Moves the last step of one list to the other after an undo or a redo.
    void Move(std::deque<TStep>& from, std::deque<TStep>& to) noexcept;
    std::string NameOf(const std::vector<TClientDataSet::TChangeSummary>& summaries) const;
    std::vector<TFieldValue> Currents() const;
    void Restore(const std::vector<TFieldValue>& currents);
    void SettleEdits();
    // Takes the last step of `from` back or forward as `apply` does and moves it to
    // `to`; a failure leaves the tables and both lists as they were and raises its
    // error. False when there is no step to take.
    bool Travel(std::deque<TStep>& from, std::deque<TStep>& to, const std::string& verb,
                const std::function<void(TStep&)>& apply);
    // The room to roll back each images part of a step, reserved before it is applied.
    std::vector<TRollBack> ImageRollBacks(const TStep& step) const;
    // Applies the parts of a step; the room of each images part is reserved.
    void ApplyParts(TStep& step, bool forward, std::vector<TRollBack>& rollBacks);
    // Raises the error of a failed undo or redo.
    [[noreturn]] void Failed(const std::string& what, std::exception_ptr error);
};

// One step for a scope: begun when made, ended on every way out of the scope. A
// null history records nothing.
class THistoryStep {
public:
    THistoryStep(TEditHistory* history, const std::string& verb) : FHistory(history)
    {
        if (FHistory)
            FHistory->BeginStep(verb);
    }
    ~THistoryStep()
    {
        if (FHistory)
            FHistory->EndStep();
    }
    THistoryStep(const THistoryStep&) = delete;
    THistoryStep& operator=(const THistoryStep&) = delete;

private:
    TEditHistory* FHistory;
};
