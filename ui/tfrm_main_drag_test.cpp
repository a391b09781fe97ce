#include <gtest/gtest.h>

#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>

#include <functional>

#include "db_grid.h"
#include "grid_delegate.h"
#include "marks_drag_data.h"
#include "packet_test_support.h"
#include "tfrm_main.h"
#include "ui_test_support.h"

using namespace packet_test;

namespace {

// A window that records the drags it would start instead of running them: a real
// drag runs its own event loop until a person drops it.
class TDragWindow : public TfrmMain {
public:
    explicit TDragWindow(std::unique_ptr<TDialogs> dialogs) : TfrmMain(std::move(dialogs)) {}
    std::vector<QPoint> Drags; // FDragStart at each drag started
    // What happens while the drag runs, such as a drop.
    std::function<void()> WhileDragging;

protected:
    void StartMarksDrag() override
    {
        Drags.push_back(FDragStart);
        if (WhileDragging)
            WhileDragging();
    }
};

TStoredRow Cat(std::int64_t id, std::string name)
{
    return {0, {id, std::move(name), true, TFieldValue{}, TFieldValue{}}};
}

// A mark with a value of every kind: a memo with a line break and Cyrillic text, a
// blob with a NUL byte, floats, a null field and a false flag.
TStoredRow Mark(std::int64_t id, std::string name, std::int64_t category, std::int64_t scale1)
{
    return {0,
            {id, name, "about " + name + "\r\n\xce\xef\xe8\xf1\xe0\xed\xe8\xe5", scale1, TFieldValue{},
             std::string("\x01\x00\x02", 3), 1.5, 2.5, 3.5, 4.5, std::int64_t{255}, TFieldValue{}, scale1 % 2 == 0,
             std::string("flag.png"), category}};
}

std::string Packet(TPacketContent content, std::vector<TStoredRow> rows, std::int64_t next)
{
    content.Rows = std::move(rows);
    content.AutoIncValue = next;
    return WriteXmlPacket(content);
}

std::vector<TStoredRow> FiveAndOne()
{
    return {Mark(1, "m1", 2, 1), Mark(2, "m2", 2, 2), Mark(3, "m3", 2, 3),
            Mark(4, "m4", 2, 4), Mark(5, "m5", 2, 5), Mark(6, "b1", 5, 1)};
}

// Categories in name order: Alpha 2, Bravo 5, Charlie 7; by default marks m1 to m5
// in Alpha and b1 in Bravo.
struct TWindowMaker {
    TScriptedDialogs* Dialogs = nullptr;

    std::unique_ptr<TDragWindow> Make(TPacketContent marks = MarksContent(), std::vector<TStoredRow> rows = FiveAndOne())
    {
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Dialogs = dialogs.get();
        auto window = std::make_unique<TDragWindow>(std::move(dialogs));
        window->CDCats.SetPacketText(
            Packet(CategoriesContent(), {Cat(5, "Bravo"), Cat(2, "Alpha"), Cat(7, "Charlie")}, 8));
        window->CDMarks.SetPacketText(Packet(marks, std::move(rows), 20));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
};

// Positions of cells: in the viewport (for mouse events) and in client pixels.
QPoint CellCenter(TDBGrid* grid, int row, int column)
{
    return grid->visualRect(grid->Model()->index(row, column)).center();
}

QPoint ClientPos(TDBGrid* grid, QPoint viewportPos)
{
    return grid->viewport()->mapTo(grid, viewportPos);
}

void Press(TDBGrid* grid, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::mousePress(grid->viewport(), button, modifiers, pos);
}

void MoveHeld(TDBGrid* grid, QPoint pos, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent move(QEvent::MouseMove, pos, grid->viewport()->mapToGlobal(pos), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
}

void Release(TDBGrid* grid, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseRelease(grid->viewport(), button, Qt::NoModifier, pos);
}

// Selects rows of the marks grid by clicks: the first alone, the others with Ctrl.
// Clicks go to the scale1 column, so no click lands on the current cell.
void SelectMarks(TDBGrid* grid, std::initializer_list<int> rows)
{
    bool first = true;
    for (int row : rows) {
        const QPoint at = CellCenter(grid, row, 2);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier, at);
        first = false;
    }
}

// Brings a drag over a widget (the grid or its viewport, pos in its pixels) as the
// window system does when the pointer comes onto it: an enter, then a move. Whether
// the move was accepted.
bool DragOver(QWidget* widget, QPoint pos, const QMimeData* data)
{
    const Qt::DropActions actions = Qt::MoveAction | Qt::CopyAction;
    QDragEnterEvent enter(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QDragMoveEvent move(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    return move.isAccepted();
}

// Drags data over the categories grid's row and drops it there.
void DropOnCategoryRow(TfrmMain& window, int row, const QMimeData& data)
{
    const QPoint at = CellCenter(window.GrCats, row, 1);
    ASSERT_TRUE(DragOver(window.GrCats->viewport(), at, &data));
    QDropEvent drop(at, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.GrCats->viewport(), &drop);
}

QRgb PixelInCell(TDBGrid* grid, int row, int column)
{
    const QImage image = grid->viewport()->grab().toImage();
    const QPoint at = grid->visualRect(grid->Model()->index(row, column)).topLeft() + QPoint(1, 1);
    return image.pixel(at) & 0xFFFFFF;
}

std::vector<std::string> ShownMarks(TfrmMain& window)
{
    std::vector<std::string> names;
    for (int row = 0; row < window.DSMarks->rowCount(); ++row)
        names.push_back(window.DSMarks->data(window.DSMarks->index(row, 0), Qt::DisplayRole).toString().toStdString());
    return names;
}

// "name:categoryid" of every mark of a table in view order of the whole table.
std::string CategoryIds(TClientDataSet& marks)
{
    std::string out;
    const TPacketContent content = marks.Content();
    for (const TStoredRow& row : content.Rows)
        if (!(row.State & kHiddenStates))
            out += std::get<std::string>(row.Values[1]) + ":" + std::to_string(std::get<std::int64_t>(row.Values[14])) +
                   " ";
    return out;
}

} // namespace

TEST(MarksDrag, StartsAfterMoreThanTenPixelsWithTheLeftButton)
{
    TWindowMaker maker;
    auto window = maker.Make();
    TDBGrid* grid = window->GRMarks;
    const QPoint start = CellCenter(grid, 2, 0);

    Press(grid, start);
    EXPECT_EQ(window->FDragStart, ClientPos(grid, start));
    MoveHeld(grid, start + QPoint(10, 10));
    MoveHeld(grid, start + QPoint(-10, -10));
    EXPECT_TRUE(window->Drags.empty());
    MoveHeld(grid, start + QPoint(11, 0));
    ASSERT_EQ(window->Drags.size(), 1u);
    EXPECT_EQ(window->Drags[0], ClientPos(grid, start + QPoint(11, 0)));
    // The next drag is measured from where the last one started.
    MoveHeld(grid, start + QPoint(21, 0));
    EXPECT_EQ(window->Drags.size(), 1u);
    MoveHeld(grid, start + QPoint(11, -11));
    EXPECT_EQ(window->Drags.size(), 2u);
    Release(grid, start);

    // Without the left button, and outside the cells, nothing starts.
    Press(grid, start, Qt::RightButton);
    MoveHeld(grid, start + QPoint(0, 30), Qt::RightButton);
    MoveHeld(grid, start + QPoint(40, 0), Qt::NoButton);
    Release(grid, start, Qt::RightButton);
    // (A press on the current cell would open its editor: press on another row.)
    const QPoint other = CellCenter(grid, 3, 0);
    Press(grid, other);
    MoveHeld(grid, QPoint(grid->viewport()->width() + 40, other.y()));
    MoveHeld(grid, QPoint(other.x(), -grid->horizontalHeader()->height() - 20));
    EXPECT_EQ(window->Drags.size(), 2u);
    // The indicator column is a cell too.
    MoveHeld(grid, QPoint(-3, other.y()));
    EXPECT_EQ(window->Drags.size(), 3u);
    EXPECT_EQ(GridCellAt(*grid, window->Drags.back()), QPoint(0, 4));
}

TEST(MarksDrag, AnOpenEditorBlocksTheDrag)
{
    TWindowMaker maker;
    auto window = maker.Make();
    TDBGrid* grid = window->GRMarks;

    // A press on the current cell opens its editor.
    const QPoint current = CellCenter(grid, 0, 0);
    Press(grid, current);
    ASSERT_TRUE(grid->EditorOpen());
    MoveHeld(grid, current + QPoint(0, 30));
    EXPECT_TRUE(window->Drags.empty());
    Release(grid, current);

    // A press on another row can start one.
    QTest::keyClick(grid->viewport()->findChild<QLineEdit*>(), Qt::Key_Escape);
    ASSERT_FALSE(grid->EditorOpen());
    const QPoint other = CellCenter(grid, 3, 0);
    Press(grid, other);
    MoveHeld(grid, other + QPoint(0, -30));
    EXPECT_EQ(window->Drags.size(), 1u);
}

TEST(MarksDrag, TheCategoriesGridAcceptsOnlyMarksOverDataCellsAndTracksTheRow)
{
    TWindowMaker maker;
    auto window = maker.Make();
    TDBGrid* cats = window->GrCats;
    TMarksDragData marks(window->GRMarks);
    const int rowY = CellCenter(cats, 2, 1).y();

    EXPECT_TRUE(DragOver(cats->viewport(), CellCenter(cats, 2, 1), &marks));
    EXPECT_EQ(window->FDropRow, 3);
    // The row is painted as the drop target, but the current cell keeps its colours.
    EXPECT_EQ(PixelInCell(cats, 2, 1), GridColors::kDropRow);
    EXPECT_EQ(PixelInCell(cats, 2, 3), GridColors::kDropRow);
    EXPECT_NE(PixelInCell(cats, 0, 0), GridColors::kDropRow);

    // The indicator column and the title row refuse, and the row still follows.
    const QPoint indicator(cats->verticalHeader()->width() / 2, cats->viewport()->mapTo(cats, QPoint(0, rowY)).y());
    EXPECT_FALSE(DragOver(cats, indicator - QPoint(0, 17), &marks));
    EXPECT_EQ(window->FDropRow, 2);
    EXPECT_FALSE(DragOver(cats, QPoint(60, cats->horizontalHeader()->height() / 2), &marks));
    EXPECT_EQ(window->FDropRow, 0);
    EXPECT_NE(PixelInCell(cats, 2, 1), GridColors::kDropRow);

    // Nothing but a marks grid is taken: not the categories grid, not a plain drag
    // (another program's) even in our format, not a grid that is gone.
    TMarksDragData categories(cats);
    EXPECT_FALSE(DragOver(cats->viewport(), CellCenter(cats, 1, 1), &categories));
    EXPECT_EQ(window->FDropRow, 2);
    QMimeData foreign;
    foreign.setData(marks.formats().value(0), QByteArray());
    EXPECT_FALSE(DragOver(cats->viewport(), CellCenter(cats, 0, 1), &foreign));
    EXPECT_EQ(window->FDropRow, 1);
    auto* gone = new TDBGrid(window->CDMarks, {}, true);
    TMarksDragData stale(gone);
    delete gone;
    EXPECT_FALSE(DragOver(cats->viewport(), CellCenter(cats, 2, 1), &stale));

    // Leaving the grid clears the target; so does releasing the button over the
    // marks grid.
    QDragLeaveEvent leave;
    QApplication::sendEvent(cats->viewport(), &leave);
    EXPECT_EQ(window->FDropRow, -1);
    EXPECT_NE(PixelInCell(cats, 2, 1), GridColors::kDropRow);
    DragOver(cats->viewport(), CellCenter(cats, 2, 1), &marks);
    Press(window->GRMarks, CellCenter(window->GRMarks, 1, 2));
    Release(window->GRMarks, CellCenter(window->GRMarks, 1, 2));
    EXPECT_EQ(window->FDropRow, -1);
}

TEST(MarksDrag, DroppingMovesTheSelectedMarksWithinTheWindow)
{
    TWindowMaker maker;
    auto window = maker.Make();
    SelectMarks(window->GRMarks, {0, 2, 3});
    ASSERT_EQ(window->GRMarks->SelectedRows().size(), 3u);

    TMarksDragData data(window->GRMarks);
    DropOnCategoryRow(*window, 1, data);

    EXPECT_EQ(CategoryIds(window->CDMarks), "m2:2 m5:2 b1:5 m1:5 m3:5 m4:5 ");
    EXPECT_TRUE(maker.Dialogs->Shown.empty());
    // Both grids stay on category 2, which shows the marks left in it.
    EXPECT_EQ(window->CDCats.FieldNamed("id").AsInt(), 2);
    EXPECT_EQ(window->DSCats->CurrentRow(), 0);
    EXPECT_EQ(ShownMarks(*window), (std::vector<std::string>{"m2", "m5"}));
    EXPECT_EQ(window->FDropRow, -1);
    EXPECT_NE(PixelInCell(window->GrCats, 1, 1), GridColors::kDropRow);

    // Dropped again, the selection of marks that have left the grid moves nothing,
    // not the current mark in their place.
    DropOnCategoryRow(*window, 2, data);
    EXPECT_EQ(CategoryIds(window->CDMarks), "m2:2 m5:2 b1:5 m1:5 m3:5 m4:5 ");

    // The move is one step, undone and made again.
    EXPECT_EQ(window->Undo1->text(), "Undo Move 3 Marks");
    window->Undo1Click();
    EXPECT_EQ(CategoryIds(window->CDMarks), "m1:2 m2:2 m3:2 m4:2 m5:2 b1:5 ");
    EXPECT_EQ(window->CDMarks.PendingChangeCount(), 0);
    window->Redo1Click();
    EXPECT_EQ(CategoryIds(window->CDMarks), "m2:2 m5:2 b1:5 m1:5 m3:5 m4:5 ");
}

TEST(MarksDrag, DroppingCopiesMarksFromAnotherWindow)
{
    TWindowMaker maker;
    auto target = maker.Make();
    auto source = maker.Make();
    source->CDMarks.GoFirst();
    SelectMarks(source->GRMarks, {1, 4});
    const std::string sourcePacket = source->CDMarks.PacketText();

    TMarksDragData data(source->GRMarks);
    DropOnCategoryRow(*target, 2, data);

    EXPECT_EQ(source->CDMarks.PacketText(), sourcePacket);
    EXPECT_EQ(CategoryIds(target->CDMarks), "m1:2 m2:2 m3:2 m4:2 m5:2 b1:5 m2:7 m5:7 ");
    const std::vector<TStoredRow> rows = target->CDMarks.Content().Rows;
    ASSERT_EQ(rows.size(), 8u);
    for (std::size_t i = 0; i < 2; ++i) {
        TStoredRow expected = Mark(20 + std::int64_t(i), i ? "m5" : "m2", 7, i ? 5 : 2);
        EXPECT_EQ(rows[6 + i].Values, expected.Values) << i;
    }
    EXPECT_EQ(target->CDCats.FieldNamed("id").AsInt(), 2);
    EXPECT_EQ(ShownMarks(*target).size(), 5u);
    EXPECT_EQ(target->FDropRow, -1);
    for (int row = 0; row < 3; ++row)
        EXPECT_NE(PixelInCell(target->GrCats, row, 1), GridColors::kDropRow) << row;

    // A step of the window that received the marks; the source has none.
    EXPECT_EQ(target->Undo1->text(), "Undo Copy 2 Marks");
    EXPECT_FALSE(source->Undo1->isEnabled());
    target->Undo1Click();
    EXPECT_EQ(CategoryIds(target->CDMarks), "m1:2 m2:2 m3:2 m4:2 m5:2 b1:5 ");
    EXPECT_EQ(target->CDMarks.PendingChangeCount(), 0);
    EXPECT_EQ(source->CDMarks.PacketText(), sourcePacket);
}

TEST(MarksDrag, TheLastMarkCopiedStaysCurrentWhenTheDragEnds)
{
    TWindowMaker maker;
    auto target = maker.Make();
    auto source = maker.Make();
    TDBGrid* grid = source->GRMarks;
    SelectMarks(grid, {3});
    // The drag starts on m2, which Ctrl adds to the selection; m4 is copied last.
    const QPoint start = CellCenter(grid, 1, 2);
    Press(grid, start, Qt::LeftButton, Qt::ControlModifier);
    TMarksDragData data(grid);
    source->WhileDragging = [&] { DropOnCategoryRow(*target, 2, data); };
    MoveHeld(grid, start + QPoint(11, 0));
    ASSERT_EQ(source->Drags.size(), 1u);
    EXPECT_EQ(CategoryIds(target->CDMarks), "m1:2 m2:2 m3:2 m4:2 m5:2 b1:5 m2:7 m4:7 ");
    EXPECT_EQ(source->CDMarks.FieldNamed("name").AsText(), "m4");
    EXPECT_EQ(grid->currentIndex().row(), 3);
}

TEST(MarksDrag, AFailedPostStopsTheDropOnTheTargetCategory)
{
    // picname is required in this window's file, and m3 has none.
    TPacketContent marks = MarksContent();
    marks.Fields[13].Required = true;
    std::vector<TStoredRow> rows = FiveAndOne();
    rows[2].Values[13] = TFieldValue{};
    TWindowMaker maker;
    auto window = maker.Make(marks, rows);
    SelectMarks(window->GRMarks, {1, 2, 3});

    TMarksDragData data(window->GRMarks);
    DropOnCategoryRow(*window, 2, data);

    EXPECT_EQ(maker.Dialogs->Shown, (std::vector<std::string>{"error: Field value required."}));
    EXPECT_EQ(CategoryIds(window->CDMarks), "m1:2 m3:2 m4:2 m5:2 b1:5 m2:7 ");
    EXPECT_FALSE(window->CDCats.ViewsSuspended() || window->CDMarks.ViewsSuspended());
    EXPECT_EQ(window->CDMarks.State(), TTableState::Browse);
    // The categories grid stays on the target, and the marks grid shows it.
    EXPECT_EQ(window->CDCats.FieldNamed("id").AsInt(), 7);
    EXPECT_EQ(window->DSCats->CurrentRow(), 2);
    EXPECT_EQ(ShownMarks(*window), (std::vector<std::string>{"m2"}));
    EXPECT_EQ(window->FDropRow, -1);
}

TEST(MarksDrag, ThePointedCategoryTakesTheMarksWhenACategoryEditIsPending)
{
    // Alpha, being renamed, sorts last once the rename is posted by the drop.
    TWindowMaker maker;
    auto window = maker.Make();
    window->CDCats.BeginEdit();
    window->CDCats.FieldNamed("name").SetAsText("Delta");
    SelectMarks(window->GRMarks, {0});

    TMarksDragData data(window->GRMarks);
    DropOnCategoryRow(*window, 1, data);

    EXPECT_TRUE(maker.Dialogs->Shown.empty());
    EXPECT_EQ(CategoryIds(window->CDMarks), "m2:2 m3:2 m4:2 m5:2 b1:5 m1:5 ");
    EXPECT_EQ(window->CDCats.FieldNamed("name").AsText(), "Delta");
    EXPECT_EQ(window->CDCats.PendingChangeCount(), 1);
    EXPECT_EQ(ShownMarks(*window), (std::vector<std::string>{"m2", "m3", "m4", "m5"}));
}
