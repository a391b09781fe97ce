#include "translations.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <tuple>

#include "db_grid.h"
#include "grid_model.h"
#include "history_caption.h"
#include "tfrm_main.h"
#include "ui_test_support.h"

// This suite runs with a Russian system locale, as a person's desktop would; the
// other window suites run in English.

namespace fs = std::filesystem;

namespace {

QStringList Texts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

TEST(Translations, RussianOnlyForARussianInterfaceLanguage)
{
    const std::pair<const char*, bool> cases[] = {
        {"ru_RU", true}, {"ru_UA", true}, {"ru", true}, {"en_US", false}, {"uk_UA", false}, {"de_DE", false}, {"C", false},
    };
    for (const auto& [name, russian] : cases)
        EXPECT_EQ(SpeaksRussian(QLocale(QString::fromLatin1(name))), russian) << name;
}

TEST(Translations, TheWindowSpeaksRussian)
{
    ASSERT_TRUE(SpeaksRussian(QLocale::system()));
    const fs::path root = fs::temp_directory_path() / "marks-translations";
    fs::remove_all(root);
    CopySampleProject(root / "project");
    auto owned = std::make_unique<TScriptedDialogs>();
    TScriptedDialogs& dialogs = *owned;
    TfrmMain window(std::move(owned));
    EXPECT_EQ(window.windowTitle(), "Редактор меток");

    const std::pair<QStringList, QStringList> menus[] = {
        {Texts(window.menuBar()->actions()),
         {"&Загрузить", "&Сохранить", "&Экспорт", "Импорт...", "|", "&Перенумеровать", "&Новое окно", "|", "Отменить",
          "Повторить", "|", "Показать карту", "Найти..."}},
        {Texts(window.mnExportMP->actions()),
         {"Видимые в KML", "Видимые в KMZ", "Видимые в WPT", "Видимые в GPX", "Видимые в GeoJSON", "-", "Видимые в MP"}},
        {Texts(window.PopupCats->actions()),
         {"Экспорт в KML", "Экспорт в WPT", "Экспорт в KMZ", "Экспорт в GPX", "Экспорт в GeoJSON", "Показать на карте",
          "Импорт в категорию..."}},
        {Texts(window.PopupMarks->actions()),
         {"Экспорт в KML", "Экспорт в WPT", "Экспорт в KMZ", "Экспорт в GPX", "Экспорт в GeoJSON", "Показать на карте"}},
    };
    for (const auto& [shown, expected] : menus)
        EXPECT_EQ(shown, expected);

    // Column titles are translated; the fields keep the names the files use.
    window.OpenProject((root / "project").string());
    EXPECT_EQ(window.windowTitle(), "Проект: " + QString::fromStdString((root / "project/").string()));
    EXPECT_EQ(window.GrCats->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Название");

    // Messages of the window, with the plural form the count needs.
    dialogs.Files = {(root / "out.kml").string()};
    window.mnExportVisiblelKMLClick();
    window.CDCats.GoFirst();
    window.CDCats.BeginEdit();
    window.CDCats.FieldNamed("name").SetAsText("x");
    window.CDCats.PostRow();
    EXPECT_EQ(window.Undo1->text(), "Отменить правку категории");
    // Shown at its size, the menu bar cuts a long step name rather than hide its last items.
    window.show();
    window.resize(930, 516);
    QApplication::processEvents();
    EXPECT_LE(window.menuBar()->sizeHint().width(), window.menuBar()->width());
    EXPECT_EQ(window.Undo1->toolTip(), "Отменить правку категории");
    dialogs.Answers = {TAnswer::Cancel};
    EXPECT_FALSE(window.FormCloseQuery());
    EXPECT_EQ(dialogs.Shown, (std::vector<std::string>{
                                 "save: .kml Vexamarks.kml Track Files ( *.kml)|*.kml|All Files (*.* )|*.* 0",
                                 "info: Экспортировано 240 объектов",
                                 "ask: Есть изменения Сохранить изменения?",
                             }));

    // Qt's own buttons, from Qt's Russian translations.
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
            buttons << box->button(button)->text();
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(TQtDialogs(&window).AskYesNoCancel("?", "?"), TAnswer::Cancel);
    EXPECT_EQ(buttons, (QStringList{"&Да", "&Нет", "Отмена"}));
    fs::remove_all(root);
}

TEST(Translations, UndoAndRedoNameTheirStepInRussian)
{
    using enum THistoryCommand;
    const std::tuple<THistoryCommand, const char*, const char*> cases[] = {
        {Undo, "", "Отменить"},
        {Redo, "", "Повторить"},
        {Undo, "Edit Mark", "Отменить правку метки"},
        {Undo, "Delete Category and 5 Marks", "Отменить удаление категории и 5 меток"},
        {Redo, "Move 3 Marks", "Повторить перемещение 3 меток"},
        {Undo, "Import 21 Marks", "Отменить импорт 21 метки"},
        {Undo, "Change 2 Categories and 1000 Marks", "Отменить изменение 2 категорий и 1000 меток"},
        {Redo, "Reindex", "Повторить перенумерацию"},
        {Undo, "Rename 2 Marks", "Отменить Rename 2 Marks"},
        {Undo, "Delete 2 Pins", "Отменить Delete 2 Pins"},
    };
    for (const auto& [command, step, caption] : cases)
        EXPECT_EQ(HistoryCaption(command, QString::fromLatin1(step)), caption) << step;
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The OpenStreetMap page's caption, whatever a settings file beside the tests says.
    qputenv("MARKS_MAP_PROVIDER", "osm");
    // Qt reads the system's language from these variables itself, so no locale needs
    // to be generated on the machine. LANGUAGE would come first.
    qputenv("LC_ALL", "ru_RU.UTF-8");
    qunsetenv("LANGUAGE");
    QApplication app(argc, argv);
    InstallTranslations();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
