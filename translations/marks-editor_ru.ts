<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QProgressDialog</name>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>TDBGrid</name>
    <message>
        <source>Delete all selected records?</source>
        <translation>Удалить все выбранные записи?</translation>
    </message>
    <message>
        <source>Delete record?</source>
        <translation>Удалить запись?</translation>
    </message>
</context>
<context>
    <name>TFindBar</name>
    <message>
        <source>No marks found</source>
        <translation>Метки не найдены</translation>
    </message>
    <message>
        <source>1 mark found</source>
        <translation>Найдена 1 метка</translation>
    </message>
    <message numerus="yes">
        <source>%n marks found</source>
        <translation>
            <numerusform>Найдена %n метка</numerusform>
            <numerusform>Найдено %n метки</numerusform>
            <numerusform>Найдено %n меток</numerusform>
        </translation>
    </message>
    <message>
        <source>, the first %1 listed (%2 more)</source>
        <translation>, показаны первые %1 (ещё %2)</translation>
    </message>
    <message>
        <source>category</source>
        <translation>Категория</translation>
    </message>
    <message>
        <source>name</source>
        <translation>Название</translation>
    </message>
    <message>
        <source>scale1</source>
        <translation>Масш.</translation>
    </message>
    <message>
        <source>descr</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>Descriptions too</source>
        <translation>И в описаниях</translation>
    </message>
    <message>
        <source>Find marks by name</source>
        <translation>Поиск меток по названию</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>Поиск...</translation>
    </message>
</context>
<context>
    <name>TGridColumn</name>
    <message>
        <source>id</source>
        <translation>№</translation>
    </message>
    <message>
        <source>name</source>
        <translation>Название</translation>
    </message>
    <message>
        <source>visible</source>
        <translation>Видимость</translation>
    </message>
    <message>
        <source>AfterScale</source>
        <translation>С масштаба</translation>
    </message>
    <message>
        <source>BeforeScale</source>
        <translation>До масштаба</translation>
    </message>
    <message>
        <source>descr</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>scale1</source>
        <translation>С масштаба</translation>
    </message>
    <message>
        <source>scale2</source>
        <translation>До масштаба</translation>
    </message>
    <message>
        <source>picname</source>
        <translation>Значок</translation>
    </message>
</context>
<context>
    <name>THistoryCaption</name>
    <message>
        <source>Insert</source>
        <translation>вставку</translation>
    </message>
    <message>
        <source>Insert %1</source>
        <translation>вставку %1</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>правку</translation>
    </message>
    <message>
        <source>Edit %1</source>
        <translation>правку %1</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>удаление</translation>
    </message>
    <message>
        <source>Delete %1</source>
        <translation>удаление %1</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>изменение</translation>
    </message>
    <message>
        <source>Change %1</source>
        <translation>изменение %1</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>перемещение</translation>
    </message>
    <message>
        <source>Move %1</source>
        <translation>перемещение %1</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>копирование</translation>
    </message>
    <message>
        <source>Copy %1</source>
        <translation>копирование %1</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>импорт</translation>
    </message>
    <message>
        <source>Import %1</source>
        <translation>импорт %1</translation>
    </message>
    <message>
        <source>Reindex</source>
        <translation>перенумерацию</translation>
    </message>
    <message>
        <source>Reindex %1</source>
        <translation>перенумерацию %1</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>метки</translation>
    </message>
    <message>
        <source>Category</source>
        <translation>категории</translation>
    </message>
    <message numerus="yes">
        <source>%n Marks</source>
        <translation>
            <numerusform>%n метки</numerusform>
            <numerusform>%n меток</numerusform>
            <numerusform>%n меток</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n Categories</source>
        <translation>
            <numerusform>%n категории</numerusform>
            <numerusform>%n категорий</numerusform>
            <numerusform>%n категорий</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 и %2</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Отменить</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Undo %1</source>
        <translation>Отменить %1</translation>
    </message>
    <message>
        <source>Redo %1</source>
        <translation>Повторить %1</translation>
    </message>
</context>
<context>
    <name>TQtDialogs</name>
    <message>
        <source>Track Files</source>
        <translation>Файлы треков</translation>
    </message>
    <message>
        <source>Map Files</source>
        <translation>Файлы карт</translation>
    </message>
    <message>
        <source>All Files</source>
        <translation>Все файлы</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>Все файлы</translation>
    </message>
    <message>
        <source>GPX Files</source>
        <translation>Файлы GPX</translation>
    </message>
    <message>
        <source>GeoJSON Files</source>
        <translation>Файлы GeoJSON</translation>
    </message>
    <message>
        <source>GPX, KML, KMZ and GeoJSON files</source>
        <translation>Файлы GPX, KML, KMZ и GeoJSON</translation>
    </message>
</context>
<context>
    <name>TTableText</name>
    <message>
        <source>The character &quot;%1&quot; (U+%2) cannot be stored: the marks files keep their text in Windows-1251</source>
        <translation>Символ «%1» (U+%2) нельзя сохранить: файлы меток хранят текст в кодировке Windows-1251</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Edit Marks</source>
        <translation>Редактор меток</translation>
    </message>
    <message>
        <source>Project :%1</source>
        <translation>Проект: %1</translation>
    </message>
    <message>
        <source>Save Changes?</source>
        <translation>Сохранить изменения?</translation>
    </message>
    <message>
        <source>Have changes...</source>
        <translation>Есть изменения</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; was changed by another program after this window loaded or saved it.</source>
        <translation>Файл «%1» изменён другой программой после того, как это окно загрузило или сохранило его.</translation>
    </message>
    <message>
        <source>The files &quot;%1&quot; and &quot;%2&quot; were changed by another program after this window loaded or saved them.</source>
        <translation>Файлы «%1» и «%2» изменены другой программой после того, как это окно загрузило или сохранило их.</translation>
    </message>
    <message>
        <source>Overwrite the other program&apos;s changes?</source>
        <translation>Записать поверх изменений другой программы?</translation>
    </message>
    <message>
        <source>Create Backup File Error</source>
        <translation>Не удалось создать резервную копию</translation>
    </message>
    <message>
        <source>Select Main Directory</source>
        <translation>Выберите папку проекта</translation>
    </message>
    <message>
        <source>The folder &quot;%1&quot; is already open in another window, and a Save in either window overwrites what the other saved. Open it in this window as well?</source>
        <translation>Папка «%1» уже открыта в другом окне, и сохранение в любом из окон затрёт то, что сохранило другое. Всё равно открыть её в этом окне?</translation>
    </message>
    <message numerus="yes">
        <source>Exported %n objects</source>
        <translation>
            <numerusform>Экспортирован %n объект</numerusform>
            <numerusform>Экспортировано %n объекта</numerusform>
            <numerusform>Экспортировано %n объектов</numerusform>
        </translation>
    </message>
    <message>
        <source>There is no category to import into.</source>
        <translation>Нет категории, в которую можно импортировать метки.</translation>
    </message>
    <message>
        <source>Importing %1...</source>
        <translation>Импорт %1...</translation>
    </message>
    <message numerus="yes">
        <source>Importing %n files...</source>
        <translation>
            <numerusform>Импорт %n файла...</numerusform>
            <numerusform>Импорт %n файлов...</numerusform>
            <numerusform>Импорт %n файлов...</numerusform>
        </translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>Импорт...</translation>
    </message>
    <message>
        <source>Import Into Category...</source>
        <translation>Импорт в категорию...</translation>
    </message>
    <message>
        <source>Delete record?</source>
        <translation>Удалить запись?</translation>
    </message>
    <message numerus="yes">
        <source>Delete the category and its %n mark?</source>
        <translation>
            <numerusform>Удалить категорию и её %n метку?</numerusform>
            <numerusform>Удалить категорию и её %n метки?</numerusform>
            <numerusform>Удалить категорию и её %n меток?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Delete the category and its %n marks?</source>
        <translation>
            <numerusform>Удалить категорию и её %n метку?</numerusform>
            <numerusform>Удалить категорию и её %n метки?</numerusform>
            <numerusform>Удалить категорию и её %n меток?</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;Load</source>
        <translation>&amp;Загрузить</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Сохранить</translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation>&amp;Экспорт</translation>
    </message>
    <message>
        <source>Visible to KML</source>
        <translation>Видимые в KML</translation>
    </message>
    <message>
        <source>Visible to KMZ</source>
        <translation>Видимые в KMZ</translation>
    </message>
    <message>
        <source>Visible to WPT</source>
        <translation>Видимые в WPT</translation>
    </message>
    <message>
        <source>Visible to MP</source>
        <translation>Видимые в MP</translation>
    </message>
    <message>
        <source>&amp;Reindex</source>
        <translation>&amp;Перенумеровать</translation>
    </message>
    <message>
        <source>&amp;New</source>
        <translation>&amp;Новое окно</translation>
    </message>
    <message>
        <source>Show Google</source>
        <translation>Показать Google</translation>
    </message>
    <message>
        <source>Export To Kml</source>
        <translation>Экспорт в KML</translation>
    </message>
    <message>
        <source>Export To Wpt</source>
        <translation>Экспорт в WPT</translation>
    </message>
    <message>
        <source>Export To Kmz</source>
        <translation>Экспорт в KMZ</translation>
    </message>
    <message>
        <source>Show On Map</source>
        <translation>Показать на карте</translation>
    </message>
    <message>
        <source>Hide Google</source>
        <translation>Скрыть Google</translation>
    </message>
    <message>
        <source>Hide Map</source>
        <translation>Скрыть карту</translation>
    </message>
    <message>
        <source>Show Map</source>
        <translation>Показать карту</translation>
    </message>
    <message>
        <source>Find...</source>
        <translation>Найти...</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Отменить</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Visible to GPX</source>
        <translation>Видимые в GPX</translation>
    </message>
    <message>
        <source>Visible to GeoJSON</source>
        <translation>Видимые в GeoJSON</translation>
    </message>
    <message>
        <source>Export To Gpx</source>
        <translation>Экспорт в GPX</translation>
    </message>
    <message>
        <source>Export To GeoJSON</source>
        <translation>Экспорт в GeoJSON</translation>
    </message>
</context>
</TS>
