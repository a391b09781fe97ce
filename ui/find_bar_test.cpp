#include "find_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <filesystem>

#include "data_packet.h"
#include "db_grid.h"
#include "file_io.h"
#include "grid_delegate.h"
#include "marks_schema.h"
#include "project_dir.h"
#include "table_text.h"
#include "tfrm_main.h"
#include "ui_test_support.h"

namespace fs = std::filesystem;

namespace {

TStoredRow Cat(int id, const char* name)
{
    return {0, {std::int64_t{id}, Utf8ToCp1251(name), true, TFieldValue{}, TFieldValue{}}};
}

TStoredRow Mark(int id, const char* name, int scale1, int category, const char* descr = "")
{
    TStoredRow row{0, std::vector<TFieldValue>(15)};
    row.Values[0] = std::int64_t{id};
    row.Values[1] = Utf8ToCp1251(name);
    if (*descr)
        row.Values[2] = Utf8ToCp1251(descr);
    row.Values[3] = std::int64_t{scale1};
    row.Values[14] = std::int64_t{category};
    return row;
}

// A window shown offscreen on a small project: categories Alpha (Well, Spring,
// Brook), Beta (North camp) and Озёра (two lakes), in that order.
struct TFindBarTest : ::testing::Test {
    fs::path Dir = fs::temp_directory_path() /
                   ("marks-find-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::unique_ptr<TfrmMain> Window;
    TFindBar* Bar = nullptr;

    void SetUp() override
    {
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        TPacketContent cats = EmptyCatsPacket();
        cats.Rows = {Cat(1, "Alpha"), Cat(2, "Озёра"), Cat(3, "Beta")};
        TPacketContent marks = EmptyMarksPacket();
        marks.Rows = {Mark(10, "Well", 1, 1), Mark(11, "Spring", 2, 1), Mark(12, "Brook", 3, 1),
                      Mark(20, "ОЗЕРО Круглое", 1, 2), Mark(21, "Ёлкино озеро", 2, 2, "На берегу\r\nвторая строка"),
                      Mark(30, "North camp", 1, 3)};
        marks.AutoIncValue = 31;
        WriteFileAtomically(Dir / kCatsFile, WriteXmlPacket(cats));
        WriteFileAtomically(Dir / kMarksFile, WriteXmlPacket(marks));
        Window = std::make_unique<TfrmMain>(std::make_unique<TScriptedDialogs>());
        Bar = Window->FindBar;
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        Window->OpenProject(Dir.string());
        QApplication::processEvents();
    }
    void TearDown() override
    {
        Window.reset();
        fs::remove_all(Dir);
    }

    // Types into the box and waits for the list to follow.
    void Search(const QString& text)
    {
        QSignalSpy published(Bar->FindModel, &QAbstractItemModel::modelReset);
        Bar->FindEdit->selectAll();
        // Key by key, as typed (QTest's own typing takes Latin-1 only).
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Bar->FindEdit, &press);
        }
        ASSERT_EQ(Bar->FindEdit->text(), text);
        ASSERT_TRUE(QTest::qWaitFor([&] { return published.count() > 0; }, 2000));
    }
    QString Row(int row) const
    {
        QStringList cells;
        for (int column = 0; column < Bar->FindModel->columnCount(); ++column)
            cells << Bar->FindModel->index(row, column).data().toString();
        return cells.join("|");
    }
    std::string Current() const
    {
        return Cp1251ToUtf8(Window->CDCats.FieldNamed("name").AsText() + "/" +
                            Window->CDMarks.FieldNamed("name").AsText());
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }
};

} // namespace

TEST_F(TFindBarTest, OpensSearchesAsYouTypeAndCloses)
{
    const int gridHeight = Window->GRMarks->height();
    EXPECT_FALSE(Bar->isVisible());
    EXPECT_EQ(Window->menuBar()->actions().constLast(), Window->mnFind);
    Key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(Bar->isVisible());
    EXPECT_TRUE(Bar->FindEdit->hasFocus());

    // Cyrillic case, "е" for "ё", anywhere in the name, every category.
    Search("озеро");
    EXPECT_EQ(Bar->FindCount->text(), "2 marks found");
    EXPECT_EQ(Row(0), "Озёра|ОЗЕРО Круглое|1|");
    EXPECT_EQ(Row(1), "Озёра|Ёлкино озеро|2|На берегу");
    Search("берегу");
    EXPECT_EQ(Bar->FindCount->text(), "No marks found");
    Bar->FindDescr->setChecked(true);
    EXPECT_EQ(Bar->FindCount->text(), "1 mark found");
    Search("∑");
    EXPECT_EQ(Bar->FindCount->text(), "No marks found");

    // The grids' look: their font and row height, every second row tinted.
    Search("r");
    EXPECT_EQ(Bar->FindList->font(), Window->GRMarks->font());
    EXPECT_EQ(Bar->FindList->rowHeight(0), Window->GRMarks->rowHeight(0));
    EXPECT_FALSE(Bar->FindModel->index(0, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(Bar->FindModel->index(1, 0).data(Qt::BackgroundRole).value<QColor>(),
              QColor::fromRgb(GridColors::kEvenRow));

    // From the keyboard alone: Down into the list, Enter on a result, Ctrl+F back.
    Key(Qt::Key_Down);
    EXPECT_TRUE(Bar->FindList->hasFocus());
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    EXPECT_EQ(Current(), "Alpha/Brook");
    EXPECT_TRUE(Window->GRMarks->hasFocus());
    Key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(Bar->FindEdit->hasFocus());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Bar->isVisible());
    EXPECT_TRUE(Window->GRMarks->hasFocus());
    QApplication::processEvents();
    EXPECT_EQ(Window->GRMarks->height(), gridHeight);
}

TEST_F(TFindBarTest, EnterAndF3GoToTheMarksFoundWithTheGridsRules)
{
    TDBGrid* marks = Window->GRMarks;
    auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(marks->viewport(), Qt::LeftButton, modifiers,
                          marks->visualRect(marks->model()->index(row, 0)).center());
    };
    click(0, Qt::NoModifier);
    click(2, Qt::ControlModifier);
    ASSERT_EQ(marks->SelectedRows().size(), 2u);

    Window->mnFind->trigger();
    Search("r"); // Spring, Brook, North camp
    Key(Qt::Key_Return);
    EXPECT_EQ(Current(), "Alpha/Spring");
    EXPECT_TRUE(marks->hasFocus());
    EXPECT_EQ(marks->currentIndex().row(), 1);
    EXPECT_TRUE(marks->SelectedRows().empty());
    Key(Qt::Key_F3);
    EXPECT_EQ(Current(), "Alpha/Brook");
    Key(Qt::Key_Up, Qt::ShiftModifier); // the selection extends from the mark found
    EXPECT_EQ(marks->SelectedRows().size(), 2u);
    Key(Qt::Key_F3);
    Key(Qt::Key_F3);
    EXPECT_EQ(Current(), "Alpha/Spring"); // round the end, through Beta
    Key(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(Current(), "Beta/North camp");
    EXPECT_EQ(marks->currentIndex().row(), 0);
    EXPECT_EQ(Bar->FindList->currentIndex().row(), 2);

    // Ctrl+Del acts on the mark found; the list follows, and F3 goes on.
    Key(Qt::Key_Delete, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Bar->FindCount->text() == "2 marks found"; }, 2000));
    Key(Qt::Key_F3);
    EXPECT_EQ(Current(), "Alpha/Spring");

    // A result whose mark went since the list was made is not followed.
    Key(Qt::Key_F3);
    EXPECT_EQ(Current(), "Alpha/Brook");
    Window->CDMarks.DeleteRow();
    Window->CDMarks.GoFirst();
    Bar->GoToResult(1);
    EXPECT_EQ(Current(), "Alpha/Well");
    EXPECT_EQ(Bar->FindModel->rowCount(), 1);

    // After an edit, and after Reindex, the marks found are the tables' marks.
    Window->CDMarks.BeginEdit();
    Window->CDMarks.FieldNamed("name").SetAsText("Well road");
    Window->CDMarks.PostRow();
    Window->Reindex1Click();
    Key(Qt::Key_F3);
    EXPECT_EQ(Current(), "Alpha/Well road");
    EXPECT_EQ(Bar->FindCount->text(), "2 marks found");
    Key(Qt::Key_F3);
    EXPECT_EQ(Current(), "Alpha/Spring");
}
