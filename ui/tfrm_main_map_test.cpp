// The window's map preview: Show/Hide and the double click, on a fake web view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSplitter>
#include <QTest>
#include <QVBoxLayout>

#include <unistd.h>

#include "code_page.h"
#include "db_grid.h"
#include "fake_web_view.h"
#include "grid_model.h"
#include "tfrm_main.h"
#include "ui_test_support.h"
#include "web_engine_loader.h"

namespace {

struct TWindowMap : ::testing::Test {
    TScriptedDialogs* Dialogs = nullptr;
    std::unique_ptr<TfrmMain> Window;
    TFakeWebView* View = nullptr;

    void SetUp() override
    {
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Dialogs = dialogs.get();
        Window = std::make_unique<TfrmMain>(std::move(dialogs));
        Window->MakeWebBrowser = [this](QWidget* panel) {
            View = new TFakeWebView;
            View->setParent(panel);
            return View;
        };
        Window->show();
        Window->OpenProject(std::string(MARKS_SOURCE_DIR) + "/sample/");
    }

    // Puts the categories grid on the first category with a mark of the shape; the
    // mark's row in the marks grid.
    int FindMark(TMarkShape shape)
    {
        for (Window->CDCats.GoFirst(); !Window->CDCats.AtEnd(); Window->CDCats.GoNext()) {
            int row = 0;
            for (Window->CDMarks.GoFirst(); !Window->CDMarks.AtEnd(); Window->CDMarks.GoNext(), ++row) {
                const TMarkData mark = Window->ReadCurrentMark();
                if (!mark.points.empty() && ShapeOf(mark.points) == shape)
                    return row;
            }
        }
        ADD_FAILURE() << "no mark of that shape in the sample";
        return 0;
    }

    void DoubleClickRow(int row)
    {
        QApplication::processEvents();
        const QRect cell = Window->GRMarks->visualRect(Window->DSMarks->index(row, 2));
        QTest::mouseDClick(Window->GRMarks->viewport(), Qt::LeftButton, {}, cell.center());
    }

    int PanelWidth() { return Window->Splitter2->sizes().value(1); }
};

} // namespace

TEST_F(TWindowMap, ShowAndHideChangeCaptionMapAndPanelTogether)
{
    EXPECT_EQ(Window->Show1->text(), "Show Google");
    EXPECT_FALSE(Window->FMapShown);
    EXPECT_EQ(Window->WebBrowser1, nullptr); // no browser engine until the map is shown

    Window->Show1->trigger();
    EXPECT_EQ(Window->Show1->text(), "Hide Google");
    EXPECT_TRUE(Window->FMapShown);
    EXPECT_TRUE(Window->GMMap1.Active());
    EXPECT_EQ(PanelWidth(), 400);
    ASSERT_NE(View, nullptr);
    View->Complete();
    EXPECT_EQ(Window->GMMap1.State(), TMapState::Live);
    EXPECT_EQ(View->Scripts.size(), 7);

    Window->Show1->trigger();
    EXPECT_EQ(Window->Show1->text(), "Show Google");
    EXPECT_FALSE(Window->GMMap1.Active());
    EXPECT_EQ(PanelWidth(), 2);
    EXPECT_TRUE(Dialogs->Shown.empty());
}

TEST_F(TWindowMap, DoubleClickShowsTheCurrentMarkOnlyWhileTheMapIsShown)
{
    const int row = FindMark(msPoint);
    DoubleClickRow(row);
    EXPECT_EQ(View, nullptr);

    Window->Show1Click();
    // Right after Show the page is still loading: the error box says so.
    DoubleClickRow(row);
    EXPECT_EQ(Dialogs->Shown, std::vector<std::string>{"error: Начальная страница не загружается."});
    View->Complete();
    View->Scripts.clear();

    DoubleClickRow(row);
    const QString name = QString::fromStdU16String(Cp1251ToUtf16(Window->ReadCurrentMark().name));
    ASSERT_GE(View->Scripts.size(), 3) << View->Scripts.join('\n').toStdString();
    EXPECT_TRUE(View->Scripts[0].startsWith("MapSetCenter("));
    EXPECT_EQ(View->Scripts[1], "MapGetCenter()");
    EXPECT_TRUE(View->Scripts.last().contains(",'" + name + "',true,")) << View->Scripts.last().toStdString();

    // A line: its whole path in one send.
    View->Scripts.clear();
    DoubleClickRow(FindMark(msLine));
    const QStringList sent = View->Scripts;
    ASSERT_EQ(sent.size(), 4) << sent.join('\n').toStdString();
    EXPECT_TRUE(sent[1].startsWith("MakePolyline(2,0,") && sent[1].contains(",false,'"));
    EXPECT_TRUE(sent[2].startsWith("MakePolyline(2,0,") && sent[2].contains(",true,'"));
    EXPECT_TRUE(sent[3].startsWith("MapZoomToPoints('"));

    // Another point in the last category: hidden line, centre, marker moved, shown.
    View->Scripts.clear();
    Window->CDCats.GoFirst();
    for (size_t i = 1; i < Window->CDCats.RecordCount(); ++i)
        Window->CDCats.GoNext();
    DoubleClickRow(0);
    ASSERT_EQ(View->Scripts.size(), 7);
    EXPECT_TRUE(View->Scripts[0].startsWith("MakePolyline(2,0,true,false,false,'#000000',1,2,false,"));
    EXPECT_TRUE(View->Scripts[1].startsWith("MapSetCenter("));
    EXPECT_TRUE(View->Scripts[6].startsWith("MakeMarker(1,") && View->Scripts[6].contains("',true,'',0,"));

    Window->Show1Click();
    View->Scripts.clear();
    DoubleClickRow(FindMark(msPoint));
    EXPECT_TRUE(View->Scripts.isEmpty());
    EXPECT_EQ(Dialogs->Shown.size(), 1u);
}

// The marks text of the last MarksShow call the page received: a string literal
// holding the JSON text.
QJsonObject SentMarks(const QStringList& scripts)
{
    QString call;
    for (const QString& script : scripts)
        if (script.startsWith("MarksShow("))
            call = script.mid(10, script.size() - 11);
    const QString text = QJsonDocument::fromJson(("[" + call + "]").toUtf8()).array().at(0).toString();
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

TEST_F(TWindowMap, ShowOnMapSendsACategoryOrTheSelectionAndAClickOnTheMapMakesTheMarkCurrent)
{
    // The category with the most marks.
    size_t most = 0;
    TRowRef category;
    for (Window->CDCats.GoFirst(); !Window->CDCats.AtEnd(); Window->CDCats.GoNext())
        if (Window->CDMarks.RecordCount() > most) {
            most = Window->CDMarks.RecordCount();
            category = Window->CDCats.CurrentRowRef();
        }
    Window->CDCats.GoToRow(category);
    QApplication::processEvents();
    Window->CDMarks.GoFirst();
    const TRowRef current = Window->CDMarks.CurrentRowRef();

    // On a hidden map: the map is shown, and the marks go once it is created.
    Window->mnShowCategoryOnMapClick();
    ASSERT_NE(View, nullptr);
    EXPECT_EQ(Window->Show1->text(), "Hide Google");
    EXPECT_TRUE(SentMarks(View->Scripts).isEmpty());
    View->Complete();
    QJsonObject sent = SentMarks(View->Scripts);
    EXPECT_EQ(sent["marks"].toArray().size(), qsizetype(most));
    EXPECT_FALSE(sent["icons"].toObject().isEmpty());
    EXPECT_EQ(Window->CDMarks.CurrentRowRef().Row, current.Row); // the walk leaves the grid alone
    EXPECT_FALSE(Window->GMMarker1.VisualObjects.front()->Visible()); // the map's first marker goes
    Window->mnShowCategoryOnMapClick();
    EXPECT_TRUE(SentMarks(View->Scripts)["icons"].toObject().isEmpty()); // each icon once per page

    // The marks selected in the grid.
    for (int row : {1, 3}) {
        const QRect cell = Window->GRMarks->visualRect(Window->DSMarks->index(row, 2));
        QTest::mouseClick(Window->GRMarks->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
    }
    ASSERT_EQ(Window->GRMarks->SelectedRows().size(), 2u);
    const TRowRef fourth = Window->GRMarks->SelectedRows()[1];
    Window->mnShowSelectedOnMapClick();
    sent = SentMarks(View->Scripts);
    ASSERT_EQ(sent["marks"].toArray().size(), 2);
    EXPECT_EQ(sent["marks"][1][0].toInt(), 1);

    // A click on the second one on the map, while the grid shows another category.
    Window->CDCats.GoFirst();
    if (Window->CDCats.CurrentRowRef().Row == category.Row)
        Window->CDCats.GoNext();
    View->SetField("eventsMarks", "markKey", "1");
    View->SetField("eventsMarks", "click", "1");
    View->SetField("eventsMarks", "eventfired", "1");
    Window->GMMap1.PollTick();
    EXPECT_EQ(Window->CDCats.CurrentRowRef().Row, category.Row);
    EXPECT_EQ(Window->CDMarks.CurrentRowRef().Row, fourth.Row);
    EXPECT_EQ(Window->GRMarks->currentIndex().row(), 3);
    EXPECT_EQ(View->Field("eventsMarks", "click"), "0");
    EXPECT_TRUE(Dialogs->Shown.empty());
}

TEST(WindowOsmMap, TheMenuNamesTheMap)
{
    qputenv("MARKS_MAP_PROVIDER", "osm");
    TfrmMain window(std::make_unique<TScriptedDialogs>());
    qputenv("MARKS_MAP_PROVIDER", "google");
    window.MakeWebBrowser = [](QWidget* panel) {
        auto* view = new TFakeWebView;
        view->setParent(panel);
        return view;
    };
    EXPECT_EQ(window.Show1->text(), "Show Map");
    window.Show1->trigger();
    EXPECT_EQ(window.Show1->text(), "Hide Map");
    EXPECT_EQ(window.GMMap1.Provider, TMapProvider::Osm);
    EXPECT_TRUE(window.GMMap1.PageText().contains("L.map("));
}

TEST_F(TWindowMap, ShowAsRootWithTheEngineSandboxOnRefusesAndTheEditorRuns)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root meets the engine's sandbox rule";
    const QByteArray disabled = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    Window->MakeWebBrowser = MakeWebEngineView;
    Window->Show1->trigger();
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", disabled);
    ASSERT_EQ(Dialogs->Shown.size(), 1u);
    EXPECT_NE(Dialogs->Shown[0].find("QTWEBENGINE_DISABLE_SANDBOX=1"), std::string::npos) << Dialogs->Shown[0];
    EXPECT_EQ(Window->Show1->text(), "Show Google");
    EXPECT_FALSE(Window->FMapShown);
    EXPECT_FALSE(Window->GMMap1.Active());
    EXPECT_EQ(Window->WebBrowser1, nullptr);
    EXPECT_EQ(PanelWidth(), 2);
}

// The web view the program makes on the first Show comes from the module beside
// it, which takes the map classes from the program; this test program exports its
// symbols for it as the editor does.
TEST(WebEngineModule, MakesTheViewInThePanel)
{
    QWidget panel;
    new QVBoxLayout(&panel);
    std::unique_ptr<TWebView> view(MakeWebEngineView(&panel));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->HasDocument());
    ASSERT_EQ(panel.layout()->count(), 1);
    EXPECT_TRUE(panel.layout()->itemAt(0)->widget()->inherits("QWebEngineView"));
    // A second view comes from the module already loaded.
    QWidget other;
    new QVBoxLayout(&other);
    std::unique_ptr<TWebView> second(MakeWebEngineView(&other));
    EXPECT_NE(second, nullptr);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's Google page, whatever a settings file beside the tests says.
    qputenv("MARKS_MAP_PROVIDER", "google");
    // The tests run as root: the web engine runs without its sandbox.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
