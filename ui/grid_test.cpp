#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QToolTip>

#include <filesystem>
#include <functional>
#include <tuple>

#include "data_packet.h"
#include "db_grid.h"
#include "fake_web_view.h"
#include "db_memo.h"
#include "file_io.h"
#include "mark_geometry.h"
#include "marks_schema.h"
#include "project_dir.h"
#include "table_text.h"
#include "tfrm_main.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSample = fs::path(MARKS_SOURCE_DIR) / "sample";

TStoredRow CatRow(int id, const std::string& name, bool visible)
{
    return {0, {std::int64_t{id}, name, visible, std::int64_t{3}, std::int64_t{19}}};
}

TStoredRow MarkRow(int id, const std::string& name, int scale1, const std::string& picname, int category,
                   const std::string& descr = {})
{
    TStoredRow row{0, std::vector<TFieldValue>(15)};
    row.Values[0] = std::int64_t{id};
    row.Values[1] = name;
    if (!descr.empty())
        row.Values[2] = descr;
    row.Values[3] = std::int64_t{scale1};
    row.Values[4] = std::int64_t{24};
    row.Values[5] = PointRecord(37.5 + id, 55.5);
    row.Values[12] = true;
    row.Values[13] = picname;
    row.Values[14] = std::int64_t{category};
    return row;
}

// A window shown offscreen on a small project: three categories, five marks in
// category 1 (named m1 to m5 in view order), one in category 2.
struct TGridTest : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-grid-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    TScriptedDialogs* Dialogs = nullptr;
    std::unique_ptr<TfrmMain> Window;
    TDBGrid* Cats = nullptr;
    TDBGrid* Marks = nullptr;

    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir / "MarksIcons");
        fs::copy_file(kSample / "MarksIcons" / "Fuel.PNG", Dir / "MarksIcons" / "Fuel.PNG");
        TPacketContent cats = EmptyCatsPacket();
        cats.Rows = {CatRow(1, "Alpha", true), CatRow(2, "Beta", false), CatRow(3, "Gamma", true)};
        TPacketContent marks = EmptyMarksPacket();
        marks.Rows = {MarkRow(10, "m1", 1, "fuel.png", 1, std::string(1500, 'd')), MarkRow(11, "m2", 2, "", 1),
                      MarkRow(12, "m3", 3, "none.png", 1), MarkRow(13, "m4", 4, "", 1), MarkRow(14, "m5", 5, "", 1),
                      MarkRow(20, "other", 1, "", 2)};
        marks.AutoIncValue = 21;
        ExtraMarksSetup(marks);
        WriteFileAtomically(Dir / kCatsFile, WriteXmlPacket(cats));
        WriteFileAtomically(Dir / kMarksFile, WriteXmlPacket(marks));
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Dialogs = dialogs.get();
        Window = std::make_unique<TfrmMain>(std::move(dialogs));
        Cats = Window->GrCats;
        Marks = Window->GRMarks;
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        Window->OpenProject(Dir.string());
        QApplication::processEvents();
    }
    virtual void ExtraMarksSetup(TPacketContent&) {}
    void TearDown() override
    {
        Window.reset();
        fs::remove_all(Dir);
    }

    // Keys go where the user's keys would: to the open editor, else the grid.
    static void Key(TDBGrid* grid, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* target = grid->Delegate()->Editor() ? static_cast<QWidget*>(grid->Delegate()->Editor()) : grid;
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }
    static void Type(TDBGrid* grid, const QString& text)
    {
        for (QChar c : text) {
            QWidget* target = grid->Delegate()->Editor() ? static_cast<QWidget*>(grid->Delegate()->Editor()) : grid;
            QTest::keyClicks(target, QString(c));
        }
    }
    static void Click(TDBGrid* grid, int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                      Qt::MouseButton button = Qt::LeftButton)
    {
        const QRect r = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), button, modifiers, r.center());
    }
    static QString Cell(TDBGrid* grid, int row, int column)
    {
        return grid->model()->index(row, column).data().toString();
    }
    std::vector<std::string> SelectedNames()
    {
        std::vector<std::string> names;
        TRowRef keep = Window->CDMarks.CurrentRowRef();
        for (const TRowRef& ref : Marks->SelectedRows()) {
            Window->CDMarks.GoToRow(ref);
            names.push_back(Window->CDMarks.FieldNamed("name").AsText());
        }
        Window->CDMarks.GoToRow(keep);
        return names;
    }
    std::string Errors() const
    {
        std::string all;
        for (const std::string& s : Dialogs->Shown)
            if (s.rfind("error: ", 0) == 0)
                all += s.substr(7) + "\n";
        return all;
    }
};

// Columns of the grid models.
enum { cName = 0, cDescr = 1, cScale1 = 2, cVisible = 4, cPicname = 5 };

} // namespace

TEST_F(TGridTest, LayoutMenusAndPopups)
{
    EXPECT_EQ(Window->GrCats->width(), 334);
    EXPECT_EQ(Window->DBMemo1->height(), 89);
    EXPECT_EQ(Window->pnlGoogle->width(), 2);
    EXPECT_EQ(Window->Splitter1->handleWidth(), 6);
    EXPECT_EQ(Window->Splitter2->handleWidth(), 7);
    EXPECT_EQ(Window->DBMemo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(Window->pn_Marks->isAncestorOf(Window->GRMarks));
    EXPECT_TRUE(Window->pnlMain->isAncestorOf(Window->GrCats));

    QStringList menu;
    for (QAction* a : Window->menuBar()->actions())
        menu << a->text() + (a->isEnabled() ? "" : "(off)");
    EXPECT_EQ(menu.join(","), "&Load,&Save,&Export,Import...,|(off),&Reindex,&New,|(off),Undo(off),Redo(off),|(off),Show Google,Find...");
    QStringList exports;
    for (QAction* a : Window->mnExportMP->actions())
        exports << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(exports.join(","), "Visible to KML,Visible to KMZ,Visible to WPT,Visible to GPX,Visible to GeoJSON,-,Visible to MP");
    for (QMenu* popup : {Window->PopupCats, Window->PopupMarks}) {
        QStringList items;
        for (QAction* a : popup->actions())
            items << a->text();
        EXPECT_EQ(items.join(","), QString("Export To Kml,Export To Wpt,Export To Kmz,Export To Gpx,Export To GeoJSON,Show On Map") +
                                       (popup == Window->PopupCats ? ",Import Into Category..." : ""));
    }
    // Show1 opens and closes the map panel (on a recording web view here; the map's
    // own window tests are in tfrm_main_map_test.cpp).
    Window->MakeWebBrowser = [](QWidget* panel) {
        auto* view = new TFakeWebView;
        view->setParent(panel);
        return view;
    };
    Window->Show1->trigger();
    EXPECT_EQ(Window->Splitter2->sizes().value(1), 400);
    Window->Show1->trigger();
    EXPECT_EQ(Window->pnlGoogle->width(), 2);

    // The save dialog names each pattern once.
    EXPECT_EQ(NameFilters("Track Files ( *.kml)|*.kml|All Files (*.* )|*.*").join(";;"),
              "Track Files (*.kml);;All Files (*)");
    // The splitter handles and the memo have visible edges, and the column titles a
    // tooltip with the whole name.
    for (QSplitter* splitter : {Window->Splitter1, Window->Splitter2}) {
        const QImage handle = splitter->handle(1)->grab().toImage();
        EXPECT_EQ(handle.pixelColor(0, handle.height() / 2).rgb(), Window->palette().color(QPalette::Mid).rgb());
    }
    const QImage memo = Window->DBMemo1->grab().toImage();
    EXPECT_NE(memo.pixelColor(0, memo.height() / 2), memo.pixelColor(memo.width() / 2, memo.height() / 2));
    QHeaderView* titles = Marks->horizontalHeader();
    const QPoint at(titles->sectionViewportPosition(cScale1) + 3, titles->height() / 2);
    QHelpEvent help(QEvent::ToolTip, at, titles->viewport()->mapToGlobal(at));
    QApplication::sendEvent(titles->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), "scale1");
}

TEST_F(TGridTest, ColumnsTitlesWidthsAndRows)
{
    QStringList titles;
    for (int c = 0; c < Marks->model()->columnCount(); ++c)
        titles << Marks->model()->headerData(c, Qt::Horizontal).toString() + ":" +
                      QString::number(Marks->columnWidth(c));
    EXPECT_EQ(titles.join(","), "name:200,descr:160,scale1:20,scale2:20,visible:18,picname:100");
    titles.clear();
    for (int c = 0; c < Cats->model()->columnCount(); ++c)
        titles << Cats->model()->headerData(c, Qt::Horizontal).toString() + ":" + QString::number(Cats->columnWidth(c));
    EXPECT_EQ(titles.join(","), "id:32,name:200,visible:18,AfterScale:20,BeforeScale:20");

    const int textHeight = QFontMetrics(Marks->font()).height();
    EXPECT_EQ(Marks->rowHeight(0), textHeight + 4);
    EXPECT_EQ(Marks->verticalHeader()->width(), 11);
    EXPECT_EQ(Marks->horizontalHeader()->height(), textHeight + 4);

    EXPECT_EQ(Marks->model()->rowCount(), 5);
    EXPECT_EQ(Cell(Marks, 0, cName), "m1");
    EXPECT_EQ(Cell(Cats, 1, 1), "Beta");
    EXPECT_EQ(Marks->model()->index(0, cScale1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight);
    EXPECT_EQ(Marks->model()->index(0, cName).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignLeft);

    // The description: 1000 characters in the grid, all 1500 in the memo; not editable.
    EXPECT_EQ(Cell(Marks, 0, cDescr).size(), 1000);
    EXPECT_EQ(Window->DBMemo1->toPlainText().size(), 1500);
    EXPECT_FALSE(Marks->model()->flags(Marks->model()->index(0, cDescr)) & Qt::ItemIsEditable);
    EXPECT_FALSE(Cats->model()->flags(Cats->model()->index(0, 0)) & Qt::ItemIsEditable);

    // After Load the categories grid has the focus, on its first row.
    EXPECT_TRUE(Cats->hasFocus());
    EXPECT_EQ(Cats->currentIndex().row(), 0);
}

TEST_F(TGridTest, ModelSignalsStayPaired)
{
    QAbstractItemModelTester tester(Marks->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Marks->setFocus();
    Key(Marks, Qt::Key_Insert);
    Type(Marks, "new");
    Key(Marks, Qt::Key_Up);
    Key(Cats, Qt::Key_Down);
    Window->CDCats.GoBy(1);
    Window->CDCats.GoFirst();
    Key(Marks, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Marks->model()->rowCount(), 5);
}

TEST_F(TGridTest, TypingPostsWhenTheRowChanges)
{
    Marks->setFocus();
    Type(Marks, "Renamed");
    ASSERT_NE(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Edit); // typing starts the edit
    EXPECT_EQ(Marks->Delegate()->Editor()->text(), "Renamed");
    Key(Marks, Qt::Key_Tab); // the text goes into the field when the cell is left
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "Renamed");
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Edit);
    EXPECT_EQ(Marks->currentIndex().column(), cDescr);
    Key(Marks, Qt::Key_Down); // the row is posted when the current row changes
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 1);
    // "Renamed" sorts after m1 within scale 1 alone, so it stays first; m2 is current.
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m2");
    EXPECT_EQ(Marks->currentIndex().row(), 1);

    // F2 and a click on the current cell open the editor; Shift+Tab goes back.
    Key(Marks, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(Marks->currentIndex().column(), cName);
    Key(Marks, Qt::Key_F2);
    ASSERT_NE(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Marks->Delegate()->Editor()->text(), "m2");
    Key(Marks, Qt::Key_Escape);
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    Click(Marks, 1, cPicname);
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    Click(Marks, 1, cPicname);
    ASSERT_NE(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Marks->Delegate()->Editor()->maxLength(), 20); // the field's size
    Key(Marks, Qt::Key_Escape);

    // Neither id nor descr opens an editor.
    Marks->setCurrentIndex(Marks->model()->index(1, cDescr));
    Key(Marks, Qt::Key_F2);
    Type(Marks, "x");
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
}

TEST_F(TGridTest, EscapeRevertsTheCellThenCancelsTheRow)
{
    Marks->setFocus();
    Type(Marks, "First");
    Key(Marks, Qt::Key_Tab);
    Marks->setCurrentIndex(Marks->model()->index(0, cScale1));
    Type(Marks, "7");
    EXPECT_EQ(Marks->Delegate()->Editor()->text(), "7");
    Key(Marks, Qt::Key_Escape); // the cell goes back, the row stays in edit
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Window->CDMarks.FieldNamed("scale1").AsText(), "1");
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "First");
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Edit);
    Key(Marks, Qt::Key_Escape); // then the row's edit is cancelled
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m1");
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);
    EXPECT_EQ(Cell(Marks, 0, cName), "m1");

    // Esc in an unchanged open editor cancels the row at once.
    Marks->setCurrentIndex(Marks->model()->index(0, cName));
    Type(Marks, "Z");
    Key(Marks, Qt::Key_Tab);
    Marks->setCurrentIndex(Marks->model()->index(0, cName));
    Key(Marks, Qt::Key_F2);
    Key(Marks, Qt::Key_Escape);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m1");
}

TEST_F(TGridTest, InsertAppendAndTheUnchangedRowDropped)
{
    Marks->setFocus();
    Key(Marks, Qt::Key_Down);
    Key(Marks, Qt::Key_Down); // on m3
    Key(Marks, Qt::Key_Insert);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Insert);
    ASSERT_EQ(Marks->model()->rowCount(), 6);
    EXPECT_EQ(Marks->currentIndex().row(), 2); // before the row it was started on
    EXPECT_EQ(Cell(Marks, 2, cName), "");
    EXPECT_EQ(Cell(Marks, 3, cName), "m3");
    Key(Marks, Qt::Key_Down); // moving away drops it
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    EXPECT_EQ(Marks->model()->rowCount(), 5);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m3");

    // Down on the last row appends; Down again on the unchanged new row does nothing.
    Key(Marks, Qt::Key_End, Qt::ControlModifier);
    Key(Marks, Qt::Key_Down);
    ASSERT_EQ(Marks->model()->rowCount(), 6);
    EXPECT_EQ(Marks->currentIndex().row(), 5);
    Key(Marks, Qt::Key_Down);
    EXPECT_EQ(Marks->model()->rowCount(), 6);
    // Typed into and left, it is posted with the next id and the current category.
    Marks->setCurrentIndex(Marks->model()->index(5, cName));
    Type(Marks, "zz");
    Key(Marks, Qt::Key_Up);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    EXPECT_EQ(Marks->model()->rowCount(), 6);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 1);
    Window->CDMarks.GoFirst();
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "zz"); // null scale1 sorts first
    EXPECT_EQ(Window->CDMarks.FieldNamed("id").AsText(), "21");
    EXPECT_EQ(Window->CDMarks.FieldNamed("categoryid").AsText(), "1");

    // An unchanged new row goes when the focus leaves the grid.
    Marks->setFocus();
    Key(Marks, Qt::Key_Insert);
    EXPECT_EQ(Marks->model()->rowCount(), 7);
    Window->DBMemo1->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    EXPECT_EQ(Marks->model()->rowCount(), 6);

    // The new row keeps the column; the categories grid starts on the first column
    // that can be typed into, not on the id.
    Marks->setFocus();
    Marks->setCurrentIndex(Marks->model()->index(1, cPicname));
    Key(Marks, Qt::Key_Insert);
    EXPECT_EQ(Marks->currentIndex(), Marks->model()->index(1, cPicname));
    Cats->setFocus();
    Key(Cats, Qt::Key_Insert);
    EXPECT_EQ(Cats->currentIndex(), Cats->model()->index(0, 1));
    Type(Cats, "New");
    ASSERT_NE(Cats->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Cats->Delegate()->Editor()->text(), "New");
}

TEST_F(TGridTest, CtrlDelAsksThenDeletes)
{
    Marks->setFocus();
    Key(Marks, Qt::Key_Down);
    Dialogs->Confirms = {false};
    Key(Marks, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Dialogs->Shown.back(), "confirm: Delete record?");
    EXPECT_EQ(Marks->model()->rowCount(), 5);
    Key(Marks, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Marks->model()->rowCount(), 4);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m3");

    // Several selected rows: all of them, whatever row is current.
    Click(Marks, 0, cName);
    Click(Marks, 2, cName, Qt::ControlModifier);
    Click(Marks, 3, cName, Qt::ControlModifier);
    Key(Marks, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Dialogs->Shown.back(), "confirm: Delete all selected records?");
    ASSERT_EQ(Marks->model()->rowCount(), 1);
    EXPECT_EQ(Cell(Marks, 0, cName), "m3");
    EXPECT_TRUE(Marks->SelectedRows().empty());
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 4);
}

TEST_F(TGridTest, MultiSelectionRules)
{
    Click(Marks, 1, cName);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m2"}));
    Click(Marks, 3, cName, Qt::ControlModifier);
    Click(Marks, 0, cName, Qt::ControlModifier);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m1", "m2", "m4"})); // view order
    Click(Marks, 1, cName, Qt::ControlModifier);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m1", "m4"}));
    // Another button moves the current row and keeps the selection.
    Click(Marks, 2, cName, Qt::NoModifier, Qt::RightButton);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m3");
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m1", "m4"}));
    // The right button opens the grid's popup menu.
    const QPoint at = Marks->visualRect(Marks->model()->index(2, cName)).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, Marks->viewport()->mapToGlobal(at));
    QApplication::sendEvent(Marks->viewport(), &menu);
    EXPECT_TRUE(Window->PopupMarks->isVisible());
    Window->PopupMarks->hide();
    // A press on the row indicator moves there, selection kept.
    const int y = Marks->rowViewportPosition(3) + Marks->rowHeight(3) / 2;
    QTest::mouseClick(Marks->verticalHeader()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, y));
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m4");
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m1", "m4"}));
    // A plain click selects just that row.
    Click(Marks, 4, cName);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m5"}));

    // Shift+Up/Down extends from where it began; going back deselects.
    Key(Marks, Qt::Key_Up);
    EXPECT_TRUE(SelectedNames().empty()); // a plain move clears
    Key(Marks, Qt::Key_Up, Qt::ShiftModifier);
    Key(Marks, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m2", "m3", "m4"}));
    Key(Marks, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m3", "m4"}));
    Key(Marks, Qt::Key_Down, Qt::ShiftModifier);
    Key(Marks, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m4", "m5"}));
    Key(Marks, Qt::Key_Escape);
    EXPECT_TRUE(SelectedNames().empty());

    // A click below a new row left unchanged selects the row clicked, which moves up
    // when the new row goes.
    Click(Marks, 0, cName);
    Key(Marks, Qt::Key_Insert);
    Click(Marks, 3, cName);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m3");
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m3"}));

    // Editing the category keeps the selection; another category clears it.
    Click(Marks, 0, cName);
    Click(Marks, 1, cName, Qt::ControlModifier);
    Cats->setFocus();
    Cats->setCurrentIndex(Cats->model()->index(0, 1));
    Type(Cats, "Renamed");
    Key(Cats, Qt::Key_Tab);
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"m1", "m2"}));
    Key(Cats, Qt::Key_Escape);
    Key(Cats, Qt::Key_Down);
    EXPECT_TRUE(Marks->SelectedRows().empty());
}

TEST_F(TGridTest, PopupsExportTheCategoryOrTheSelection)
{
    Click(Marks, 1, cName);
    Click(Marks, 3, cName, Qt::ControlModifier);
    const fs::path wpt = Dir / "sel.wpt";
    Dialogs->Files = {wpt.string()};
    Window->mnSaveSelectedToWptClick();
    const std::string text = ReadWholeFile(wpt);
    EXPECT_NE(text.find("m2"), std::string::npos);
    EXPECT_NE(text.find("m4"), std::string::npos);
    EXPECT_EQ(text.find("m3"), std::string::npos);
    EXPECT_EQ(Dialogs->Shown.back().rfind("save: .wpt", 0), 0u); // no count message

    Dialogs->Files = {(Dir / "cat.kml").string()};
    Window->mnExportCatalogToKmlClick();
    EXPECT_EQ(Dialogs->Shown.back(), "info: Exported 5 objects");
}

TEST_F(TGridTest, RefusedEditShowsTheErrorAndKeepsTheGridUsable)
{
    // Every way of leaving the cell shows the error once and keeps the editor, its
    // text and the cell.
    const std::vector<std::pair<const char*, std::function<void()>>> leaving = {
        {"Down", [&] { Key(Marks, Qt::Key_Down); }},
        {"Tab", [&] { Key(Marks, Qt::Key_Tab); }},
        {"Shift+Tab", [&] { Key(Marks, Qt::Key_Backtab, Qt::ShiftModifier); }},
        {"Enter", [&] { Key(Marks, Qt::Key_Return); }},
        {"click in the row", [&] { Click(Marks, 0, cName); }},
        {"click on another row", [&] { Click(Marks, 2, cName); }},
        {"click on the memo", [&] { QTest::mouseClick(Window->DBMemo1->viewport(), Qt::LeftButton); }},
    };
    for (const auto& [how, leave] : leaving) {
        Dialogs->Shown.clear();
        Marks->setFocus();
        Marks->setCurrentIndex(Marks->model()->index(0, cScale1));
        Type(Marks, "abc");
        ASSERT_NE(Marks->Delegate()->Editor(), nullptr);
        leave();
        QApplication::processEvents();
        EXPECT_EQ(Errors(), "'abc' is not a valid integer value for field 'scale1'\n") << how;
        EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m1") << how; // the move was refused
        ASSERT_NE(Marks->Delegate()->Editor(), nullptr) << how;
        EXPECT_EQ(Marks->Delegate()->Editor()->text(), "abc") << how;
        EXPECT_TRUE(Marks->Delegate()->Editor()->hasFocus()) << how;
        EXPECT_EQ(Marks->currentIndex(), Marks->model()->index(0, cScale1)) << how;
        Key(Marks, Qt::Key_Escape);
        Key(Marks, Qt::Key_Escape);
        EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
        EXPECT_EQ(Window->CDMarks.FieldNamed("scale1").AsText(), "1");
    }
    Key(Marks, Qt::Key_Down);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m2");

    // A range the field refuses, in the categories grid.
    Cats->setFocus();
    Cats->setCurrentIndex(Cats->model()->index(0, 3));
    Type(Cats, "40000");
    Key(Cats, Qt::Key_Tab);
    EXPECT_NE(Errors().find("40000 is not a valid value for field 'AfterScale'. The allowed range is -32768 to 32767."),
              std::string::npos);
    EXPECT_EQ(Window->CDCats.FieldNamed("AfterScale").AsText(), "3");
}

struct TReadOnlyGridTest : TGridTest {
    void ExtraMarksSetup(TPacketContent& marks) override
    {
        marks.Params.push_back({"DISABLE_EDITS", "boolean", "TRUE"});
        marks.Params.push_back({"DISABLE_INSERTS", "boolean", "TRUE"});
    }
};

TEST_F(TReadOnlyGridTest, TableRefusingEditsAndInserts)
{
    Marks->setFocus();
    Type(Marks, "x");
    EXPECT_EQ(Errors(), "CDMarks: Modifications are not allowed.\n");
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Browse);
    Key(Marks, Qt::Key_Insert);
    EXPECT_EQ(Marks->model()->rowCount(), 5);
    EXPECT_NE(Errors().find("CDMarks: Inserts are not allowed."), std::string::npos);
    Key(Marks, Qt::Key_Down);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m2");
}

TEST_F(TGridTest, MemoEditsTheDescription)
{
    Window->DBMemo1->setFocus();
    QTest::keyClick(Window->DBMemo1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(Window->DBMemo1, "!");
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Edit);
    QTest::keyClick(Window->DBMemo1, Qt::Key_Escape); // back to the field's value
    EXPECT_EQ(Window->DBMemo1->toPlainText().size(), 1500);
    QTest::keyClick(Window->DBMemo1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(Window->DBMemo1, Qt::Key_Return);
    QTest::keyClicks(Window->DBMemo1, "two");
    // Posting takes the memo's text, its line break written CR LF.
    Window->CDMarks.PostRow();
    EXPECT_EQ(Window->CDMarks.FieldNamed("descr").AsText().substr(1500), "\r\ntwo");
    EXPECT_EQ(Cell(Marks, 0, cDescr).size(), 1000);
}

TEST_F(TGridTest, NewWindowWithoutAFolder)
{
    Window->New1Click();
    EXPECT_EQ(Dialogs->Shown.back(), "folder: Select Main Directory");
    QWidget* other = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != Window.get() && qobject_cast<TfrmMain*>(w) && w->isVisible())
            other = w;
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->windowTitle(), "Edit Marks");
    // At left 546, top 214 where the screen has room; moved onto a smaller screen.
    const QRect screen = other->screen()->availableGeometry();
    const QRect frame = other->frameGeometry();
    const QPoint expected(std::min(546, screen.right() + 1 - frame.width()),
                          std::min(214, screen.bottom() + 1 - frame.height()));
    EXPECT_EQ(other->pos(), expected);
    EXPECT_TRUE(screen.contains(frame));
    // Commands that need a project are off until one is loaded.
    auto* empty = static_cast<TfrmMain*>(other);
    QStringList menu;
    for (QAction* a : empty->menuBar()->actions())
        menu << a->text() + (a->isEnabled() ? "" : "(off)");
    EXPECT_EQ(menu.join(","), "&Load,&Save(off),&Export(off),Import...(off),|(off),&Reindex(off),&New,|(off),Undo(off),Redo(off),|(off),Show Google,Find...(off)");
    for (QMenu* popup : {empty->PopupCats, empty->PopupMarks})
        for (QAction* a : popup->actions())
            EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    other->close();
}

namespace {

QColor Pixel(TDBGrid* grid, const QImage& image, int row, int column, int dx, int dy)
{
    const QRect r = grid->visualRect(grid->model()->index(row, column));
    const int x = dx >= 0 ? r.left() + dx : r.right() + 1 + dx;
    return image.pixelColor(x, r.top() + dy);
}

QImage Grab(TDBGrid* grid)
{
    grid->viewport()->repaint();
    return grid->viewport()->grab().toImage();
}

const QColor kEven = QColor(223, 240, 246);

} // namespace

TEST_F(TGridTest, PaintedColours)
{
    const QPalette& palette = Marks->palette();
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    const QColor button = palette.color(QPalette::Button);
    ASSERT_NE(base, kEven);
    ASSERT_NE(button, base);

    Click(Marks, 1, cName);
    Click(Marks, 3, cName, Qt::ControlModifier);
    Cats->setFocus(); // the highlight does not need the focus
    QImage image = Grab(Marks);
    EXPECT_EQ(Pixel(Marks, image, 2, cName, -5, 8), base);          // odd row
    EXPECT_EQ(Pixel(Marks, image, 4, cDescr, -5, 8), base);         // odd row
    EXPECT_EQ(Pixel(Marks, image, 1, cName, -5, 8), highlight);     // current cell of an even row
    EXPECT_EQ(Pixel(Marks, image, 1, cDescr, -5, 8), highlight);    // selected row
    EXPECT_EQ(Pixel(Marks, image, 3, cVisible, 0, 0), highlight);   // a selected row's checkbox cell too
    EXPECT_EQ(Pixel(Marks, image, 2, cVisible, 0, 0), button);      // odd row checkbox: button face
    Click(Marks, 0, cName);
    image = Grab(Marks);
    EXPECT_EQ(Pixel(Marks, image, 1, cDescr, -5, 8), kEven);        // even row, no longer selected
    EXPECT_EQ(Pixel(Marks, image, 3, cVisible, 0, 0), kEven);       // even row checkbox keeps the even colour
    EXPECT_EQ(Pixel(Marks, image, 0, cName, -5, 8), highlight);

    // The icon, found whatever the letter case, stretched to the row height at the
    // cell's left edge; a name without an icon starts with its text.
    Marks->scrollTo(Marks->model()->index(0, cPicname));
    image = Grab(Marks);
    const TIconPicture& fuel = Window->FIconCache.front().Picture;
    ASSERT_EQ(Window->FIconCache.front().Name, "Fuel.PNG");
    const QRect icon = Marks->visualRect(Marks->model()->index(0, cPicname));
    const int h = icon.height();
    const auto* centre = &fuel.Rgba[static_cast<size_t>((fuel.Height / 2) * fuel.Width + fuel.Width / 2) * 4];
    EXPECT_EQ(image.pixelColor(icon.left() + h / 2, icon.top() + h / 2), QColor(centre[0], centre[1], centre[2]));
    EXPECT_EQ(Pixel(Marks, image, 2, cPicname, 1, h / 2), base); // "none.png": plain text
    EXPECT_EQ(Cell(Marks, 2, cPicname), "none.png");

    // A drag over category row 3: every cell but the current one in 0xC0C0C0, the
    // text in 0x800000 (navy); the current cell keeps its highlight.
    Click(Cats, 2, 0);
    Window->FDropRow = 3;
    image = Grab(Cats);
    EXPECT_EQ(Pixel(Cats, image, 2, 1, -5, 8), QColor(192, 192, 192));
    EXPECT_EQ(Pixel(Cats, image, 2, 2, 0, 0), QColor(192, 192, 192)); // the checkbox stands on it
    EXPECT_EQ(Pixel(Cats, image, 2, 0, 1, 1), highlight);
    EXPECT_EQ(Pixel(Cats, image, 1, 1, -5, 8), kEven);
    int navy = 0;
    const QRect name = Cats->visualRect(Cats->model()->index(2, 1));
    for (int y = name.top(); y <= name.bottom(); ++y)
        for (int x = name.left(); x < name.left() + 40; ++x) {
            const QColor c = image.pixelColor(x, y);
            navy += c.red() < 60 && c.green() < 60 && c.blue() >= 100;
        }
    EXPECT_GT(navy, 5);
    Window->FDropRow = -1;
    image = Grab(Cats);
    EXPECT_EQ(Pixel(Cats, image, 2, 1, -5, 8), base);

    // Text is drawn in the text colour, grey while the grid is disabled.
    auto darkest = [&](const QImage& grabbed) {
        const QRect r = Cats->visualRect(Cats->model()->index(1, 1));
        QColor dark = Qt::white;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x < r.left() + 30; ++x)
                if (grabbed.pixelColor(x, y).lightness() < dark.lightness())
                    dark = grabbed.pixelColor(x, y);
        return dark;
    };
    // Glyph edges are blended, so the darkest pixel is near the colour.
    auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 24;
    };
    EXPECT_TRUE(near(darkest(Grab(Cats)), palette.color(QPalette::Active, QPalette::Text)));
    Cats->setEnabled(false);
    EXPECT_TRUE(near(darkest(Grab(Cats)), palette.color(QPalette::Disabled, QPalette::Text)));
    Cats->setEnabled(true);
}

// Text still in an open editor or in the memo is part of what Save writes.
TEST_F(TGridTest, SaveTakesTextNotYetLeft)
{
    Marks->setFocus();
    Type(Marks, "Typed");
    ASSERT_NE(Marks->Delegate()->Editor(), nullptr);
    Window->Save1Click();
    EXPECT_EQ(Errors(), "");
    EXPECT_NE(ReadWholeFile(Dir / kMarksFile).find("name=\"Typed\""), std::string::npos);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);

    Window->DBMemo1->setFocus();
    QTest::keyClicks(Window->DBMemo1, "memo");
    Window->Save1Click();
    EXPECT_NE(ReadWholeFile(Dir / kMarksFile).find("descr=\"memo"), std::string::npos);
}

// Closing and Load count typing not yet posted as a change; a value the field
// refuses keeps the window, the project and the typing.
TEST_F(TGridTest, CloseAndLoadAskAboutTypingNotYetPosted)
{
    const std::string project = Window->FProjectDir;
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString() + "/";
    auto typeName = [&](const char* text) {
        Marks->setFocus();
        Marks->setCurrentIndex(Marks->model()->index(0, cName));
        Type(Marks, text);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> typing = {
        {"open editor", [&] { typeName("Typed"); }},
        {"row in edit after Enter", [&] { typeName("Typed"); Key(Marks, Qt::Key_Return); }},
        {"memo", [&] { Window->DBMemo1->setFocus(); QTest::keyClicks(Window->DBMemo1, "Typed"); }},
    };
    for (const auto& [how, type] : typing) {
        Window->OpenProject(Dir.string());
        type();
        Dialogs->Shown.clear();
        Dialogs->Answers = {TAnswer::Cancel, TAnswer::Cancel};
        EXPECT_FALSE(Window->close()) << how;
        Window->Load1Click();
        EXPECT_EQ(Dialogs->Shown, std::vector<std::string>(2, "ask: Have changes... Save Changes?")) << how;
        EXPECT_EQ(Window->FProjectDir, project) << how;
        EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 1) << how; // posted, not lost
    }
    // Load: Yes saves, then loads the program's folder; No loads without saving.
    Dialogs->Answers = {TAnswer::Yes};
    Window->Load1Click();
    EXPECT_NE(ReadWholeFile(Dir / kMarksFile).find("Typed"), std::string::npos);
    EXPECT_EQ(Window->FProjectDir, programDir);
    Window->OpenProject(Dir.string());
    typeName("Dropped");
    Dialogs->Answers = {TAnswer::No};
    Window->Load1Click();
    EXPECT_EQ(Window->FProjectDir, programDir);
    EXPECT_EQ(ReadWholeFile(Dir / kMarksFile).find("Dropped"), std::string::npos);

    Window->OpenProject(Dir.string());
    Marks->setFocus();
    Marks->setCurrentIndex(Marks->model()->index(0, cScale1));
    Type(Marks, "abc");
    Dialogs->Shown.clear();
    EXPECT_FALSE(Window->close());
    Window->Load1Click();
    EXPECT_EQ(Errors(), "'abc' is not a valid integer value for field 'scale1'\n"
                        "'abc' is not a valid integer value for field 'scale1'\n");
    EXPECT_EQ(Window->FProjectDir, project);
    ASSERT_NE(Marks->Delegate()->Editor(), nullptr);
    EXPECT_EQ(Marks->Delegate()->Editor()->text(), "abc");
}

TEST_F(TGridTest, KeysMoveTheFocusBetweenTheGridsAndTheMemo)
{
    QWidget* memo = Window->DBMemo1;
    ASSERT_TRUE(Cats->hasFocus());
    const Qt::KeyboardModifiers back = Qt::ControlModifier | Qt::ShiftModifier;
    const std::vector<std::tuple<Qt::Key, Qt::KeyboardModifiers, QWidget*>> steps = {
        {Qt::Key_Tab, Qt::ControlModifier, Marks}, {Qt::Key_F6, Qt::NoModifier, memo},
        {Qt::Key_Tab, Qt::ControlModifier, Cats},  {Qt::Key_Backtab, back, memo},
        {Qt::Key_F6, Qt::ShiftModifier, Marks},    {Qt::Key_Backtab, back, Cats},
    };
    for (const auto& [key, modifiers, next] : steps) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        EXPECT_EQ(QApplication::focusWidget(), next) << key;
    }
    // Leaving an open cell editor takes its text.
    Key(Cats, Qt::Key_Tab, Qt::ControlModifier);
    Type(Marks, "Typed");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), memo);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "Typed");
}

TEST_F(TGridTest, CharactersTheFilesCannotHoldAreRefusedWhereTyped)
{
    const std::vector<std::pair<QString, std::string>> characters = {
        {"\u00df", "\"\u00df\" (U+00DF)"}, {"\u4e2d", "\"\u4e2d\" (U+4E2D)"}, {"\U0001F600", "\"\U0001F600\" (U+1F600)"}};
    for (const auto& [character, named] : characters) {
        const std::string error =
            "The character " + named + " cannot be stored: the marks files keep their text in Windows-1251.\n";
        Dialogs->Shown.clear();
        Marks->setFocus();
        Marks->setCurrentIndex(Marks->model()->index(0, cName));
        Type(Marks, "a");
        QTest::sendKeyEvent(QTest::Click, Marks->Delegate()->Editor(), Qt::Key_unknown, character, Qt::NoModifier);
        QApplication::processEvents();
        EXPECT_EQ(Errors(), error);
        EXPECT_EQ(Marks->Delegate()->Editor()->text(), "a");
        Key(Marks, Qt::Key_Escape);
        Key(Marks, Qt::Key_Escape);

        Dialogs->Shown.clear();
        Window->DBMemo1->setFocus();
        QTest::keyClick(Window->DBMemo1, Qt::Key_Home, Qt::ControlModifier);
        QTest::sendKeyEvent(QTest::Click, Window->DBMemo1, Qt::Key_unknown, "b" + character, Qt::NoModifier);
        QApplication::clipboard()->setText("c" + character);
        Window->DBMemo1->paste();
        EXPECT_EQ(Errors(), error + error);
        EXPECT_EQ(Window->DBMemo1->toPlainText(), QString(1500, 'd'));
        QTest::keyClick(Window->DBMemo1, Qt::Key_Escape);
    }
}

TEST_F(TGridTest, DeletingACategoryTakesItsMarks)
{
    Cats->setFocus();
    Dialogs->Confirms = {false, true};
    Key(Cats, Qt::Key_Delete, Qt::ControlModifier);
    Key(Cats, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Dialogs->Shown, std::vector<std::string>(2, "confirm: Delete the category and its 5 marks?"));
    EXPECT_EQ(Cell(Cats, 0, 1), "Beta");
    EXPECT_EQ(Cell(Marks, 0, cName), "other");
    std::vector<std::string> left;
    for (const TStoredRow& row : Window->CDMarks.Content().Rows)
        if (!(row.State & kHiddenStates))
            left.push_back(std::get<std::string>(row.Values[1]));
    EXPECT_EQ(left, std::vector<std::string>{"other"});
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 5);
    // An empty category asks as any row does.
    Key(Cats, Qt::Key_Down);
    Key(Cats, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Dialogs->Shown.back(), "confirm: Delete record?");
    EXPECT_EQ(Cats->model()->rowCount(), 1);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 5);
}

TEST_F(TGridTest, AClickOrSpaceTogglesACheckbox)
{
    Click(Marks, 1, cVisible);
    EXPECT_EQ(Window->CDMarks.FieldNamed("name").AsText(), "m2");
    EXPECT_EQ(Window->CDMarks.FieldNamed("visible").AsText(), "False");
    EXPECT_EQ(Window->CDMarks.State(), TTableState::Edit);
    Key(Marks, Qt::Key_Space);
    EXPECT_EQ(Window->CDMarks.FieldNamed("visible").AsText(), "True");
    Click(Marks, 1, cVisible);
    EXPECT_EQ(Window->CDMarks.FieldNamed("visible").AsText(), "False");
    EXPECT_EQ(Marks->Delegate()->Editor(), nullptr);
    Key(Marks, Qt::Key_Down);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 1);
    // The categories grid's checkbox too.
    Click(Cats, 2, 2);
    EXPECT_EQ(Window->CDCats.FieldNamed("name").AsText(), "Gamma");
    EXPECT_EQ(Window->CDCats.FieldNamed("visible").AsText(), "False");
}

TEST_F(TGridTest, KeysAndMenuUndoAndRedoWhatWasDone)
{
    auto menu = [&] { return (Window->Undo1->text() + "|" + Window->Redo1->text()).toStdString(); };
    // Selected marks deleted: Ctrl+Z, Ctrl+Y, Ctrl+Shift+Z and the menu item.
    Click(Marks, 0, cName);
    Click(Marks, 2, cName, Qt::ControlModifier);
    Key(Marks, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(menu(), "Undo Delete 2 Marks|Redo");
    Key(Marks, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Marks->model()->rowCount(), 5);
    EXPECT_EQ(Window->CDMarks.PendingChangeCount(), 0);
    EXPECT_EQ(menu(), "Undo|Redo Delete 2 Marks");
    Key(Marks, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Marks->model()->rowCount(), 3);
    Key(Marks, Qt::Key_Z, Qt::ControlModifier);
    Key(Marks, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Marks->model()->rowCount(), 3);
    Window->Undo1->trigger();
    EXPECT_EQ(Marks->model()->rowCount(), 5);

    // Typing in a cell, and in the memo, is posted by Ctrl+Z and taken back.
    Click(Marks, 1, cName);
    Key(Marks, Qt::Key_F2);
    Type(Marks, "x");
    Key(Marks, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Cell(Marks, 1, cName), "m2");
    EXPECT_EQ(menu(), "Undo|Redo Edit Mark");
    Window->DBMemo1->setFocus();
    QTest::keyClicks(Window->DBMemo1, "memo");
    QTest::keyClick(Window->DBMemo1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Window->DBMemo1->toPlainText().toStdString(), "");
    QTest::keyClick(Window->DBMemo1, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Window->DBMemo1->toPlainText().toStdString(), "memo");

    // A category deleted with its marks comes back with them; Load forgets it all.
    Cats->setFocus();
    Key(Cats, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(menu(), "Undo Delete Category and 5 Marks|Redo");
    Key(Cats, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Cell(Cats, 0, 1), "Alpha");
    EXPECT_EQ(Marks->model()->rowCount(), 5);
    Window->OpenProject(Dir.string());
    EXPECT_EQ(menu(), "Undo|Redo");
    EXPECT_TRUE(Errors().empty()) << Errors();
}
