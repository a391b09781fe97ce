#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "client_dataset.h"
#include "dialogs.h"
#include "edit_history.h"
#include "export_driver.h"
#include "file_io.h"
#include "gm_map.h"
#include "gm_marker.h"
#include "gm_polyline.h"
#include "icon_cache.h"
#include "icon_images.h"
#include "mark_geometry.h"
#include "marks_on_map.h"
#include "mp_writer.h"
#include "zip_archive.h"

class QAction;
class QMimeData;
class QFrame;
class QMenu;
class QSplitter;
class TDBGrid;
class TDBMemo;
class TFindBar;
class TGridModel;
enum class TFindJump : std::uint8_t;

// The editor window: owns its tables, its project directory and icon cache, and
// the commands of its menu. Handlers stay thin; the work is done by the store.
class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    // dialogs: the window's dialogs; nullptr uses the window system's own.
    explicit TfrmMain(std::unique_ptr<TDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TClientDataSet CDCats;
    TClientDataSet CDMarks;
    // The undo and redo history of this window's tables.
    TEditHistory FHistory{{{&CDCats, "Category", "Categories"}, {&CDMarks, "Mark", "Marks"}}};
    std::string FProjectDir;
    TIconCache FIconCache;
    TExportState FExport;
    TIconTypes FIconTypes;
    ZipArchive FZipArchive;

    void OpenProject(const std::string& dir);
    void Load1Click();
    void Save1Click();
    void Reindex1Click();
    // Ctrl+Z and the menu's "Undo <step>"; Ctrl+Shift+Z, Ctrl+Y and "Redo <step>".
    // Typing not yet posted is posted first, as a step of its own.
    void Undo1Click();
    void Redo1Click();
    void New1Click();
    // Whether the window may close; asks "Save Changes?" when there are changes.
    bool FormCloseQuery();

    // Exports; an empty file name asks the user. selectedRows serve esSelected.
    void ExportKml(TExportScope scope, std::string fileName = {}, const std::vector<TRowRef>& selectedRows = {});
    void ExportWpt(TExportScope scope, std::string fileName = {}, const std::vector<TRowRef>& selectedRows = {});
    void ExportKmz(TExportScope scope, std::string fileName = {}, const std::vector<TRowRef>& selectedRows = {});
    void ExportMp(TExportScope scope, std::string fileName = {}, const std::vector<TRowRef>& selectedRows = {});
    void ExportGpx(TExportScope scope, std::string fileName = {}, const std::vector<TRowRef>& selectedRows = {});
    void ExportGeoJson(TExportScope scope, std::string fileName = {}, const std::vector<TRowRef>& selectedRows = {});
    std::string AskExportFile(const TExportFormat& format);
    void ShowExportCount();
    TMarkData ReadCurrentMark() { return ::ReadCurrentMark(CDMarks); }
    // The icon folder of the program's folder (ProgramFolder), with its trailing
    // separator.
    static std::string IconFolder();

    void mnExportVisiblelKMLClick();
    void mnExportVisibleKMZClick();
    void mnExportSelectedWPTClick();
    void mnExportVisiblelMPClick();
    void mnExportVisibleGPXClick();
    void mnExportVisibleGeoJSONClick();
    // The categories grid's popup: the current category.
    void mnExportCatalogToKmlClick();
    void mnExportCatalogToWptClick();
    void ExportCatalogToKmzClick();
    void mnExportCatalogToGpxClick();
    void mnExportCatalogToGeoJsonClick();
    // The marks grid's popup: the marks selected in the grid.
    void mnSaveSelectedToKmlClick();
    void mnSaveSelectedToWptClick();
    void mnExportToKmzClick();
    void mnSaveSelectedToGpxClick();
    void mnSaveSelectedToGeoJsonClick();
    // Shows or hides the map panel: the caption of Show1, the map view's Active and
    // the panel's width change together.
    void Show1Click();
    // A double click in the marks grid shows the current mark on the map.
    void GRMarksDblClick();
    void ShowMarkOnMap();
    void GMMap1AfterPageLoaded(TGMMap& sender, bool first);
    // "Show On Map" of the popups: every mark of the current category, or the marks
    // selected in the marks grid, on the map at once (the map is shown first when it
    // is hidden). A click on one of them on the map makes it the current mark.
    void mnShowCategoryOnMapClick();
    void mnShowSelectedOnMapClick();
    void MapMarkClicked(int key);

    // The map preview: the web view of pnlGoogle (made when the map is first shown),
    // the map view and its three overlay components with one item each.
    TWebView* WebBrowser1 = nullptr;
    TGMMap GMMap1;
    TGMMarker GMMarker1;
    TGMPolyline GMPolyline1;
    TGMPolygon GMPolygon1;
    bool FMapShown = false;
    // The marks last shown with Show On Map, by the key they went to the page with:
    // their category and their row.
    std::vector<std::pair<TRowRef, TRowRef>> FMapMarks;
    // Makes the panel's web view; tests put in one of their own.
    std::function<TWebView*(QWidget* panel)> MakeWebBrowser;

    // Imports of GPX, KML and KMZ files into the current category: from the main
    // menu, from the categories grid's popup, and files dropped on a category.
    void mnImportClick();
    void mnImportIntoCategoryClick();
    // Reads every file whole, then inserts their marks into the current category and
    // reports the counts; a file that cannot be read stops the import before any row
    // is inserted.
    void ImportFiles(const std::vector<std::string>& paths);

    // The find bar above the marks grid (Find..., Ctrl+F; F3 and Shift+F3).
    TFindBar* FindBar = nullptr;
    QAction* mnFind = nullptr;
    // Makes a mark found current in its category, with the focus in GRMarks.
    TFindJump GoToFound(const TRowRef& mark);

    // Runs a command; an error it raises is shown in the error box.
    void RunCommand(const std::function<void()>& command);
    void ShowError(const std::string& message);

    QAction* Load1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Reindex1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* New1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* Show1 = nullptr;
    QMenu* mnExportMP = nullptr;
    QMenu* PopupCats = nullptr;
    QMenu* PopupMarks = nullptr;
    QAction* mnImport = nullptr;
    QAction* mnImportIntoCategory = nullptr;

    // The layout: pnlMain (the categories grid, Splitter1, pn_Marks with the marks
    // grid over the description memo), Splitter2 and the map panel pnlGoogle.
    QSplitter* Splitter2 = nullptr;
    QWidget* pnlMain = nullptr;
    QSplitter* Splitter1 = nullptr;
    TDBGrid* GrCats = nullptr;
    QWidget* pn_Marks = nullptr;
    TDBGrid* GRMarks = nullptr;
    TDBMemo* DBMemo1 = nullptr;
    QFrame* pnlGoogle = nullptr;
    // The grids' data sources: the models over CDCats and CDMarks.
    TGridModel* DSCats = nullptr;
    TGridModel* DSMarks = nullptr;

    // The row of GrCats (title row 0, data rows from 1) that marks are being dragged
    // over, painted as the drop target; -1 when there is none.
    int FDropRow = 0;
    // Where the pointer was pressed in GRMarks (client pixels), or where the last
    // drag started: a drag starts after more than 10 pixels from there.
    QPoint FDragStart;

    // Dragging marks from GRMarks onto GrCats, of this window or another one.
    // Positions are in the grid's client pixels (the indicator column and the title
    // row included). A drag over GrCats carries its source control, or none when it
    // is not a drag of marks.
    void GRMarksMouseDown(const QPoint& pos);
    // Whether the move started a drag (which has ended when it returns).
    bool GRMarksMouseMove(Qt::MouseButtons buttons, const QPoint& pos);
    void GRMarksMouseUp();
    void GRMarksEndDrag();
    // Whether GrCats takes the drag at pos; FDropRow follows the row under it.
    bool GrCatsDragOver(QObject* source, const QPoint& pos);
    void GrCatsDragDrop(QObject* source, const QPoint& pos);
    // Files dragged from outside the program onto GrCats, a case of their own beside
    // marks: taken when every file is a local GPX, KML or KMZ file and the pointer is
    // on a category, which a drop makes current and imports the files into.
    bool GrCatsFileDragOver(const QMimeData* data, const QPoint& pos);
    void GrCatsFileDragDrop(const QMimeData* data, const QPoint& pos);
    // The icons as the marks grid draws them.
    TIconImages FIconImages;
    // The category whose marks the marks grid's selection was made in.
    std::string FSelectionCategory;

    TDialogs& Dialogs() { return *FDialogs; }

protected:
    // Undo and redo keys reach the window's commands also from a cell editor or
    // the memo, whose own undo would otherwise take them.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Drags GRMarks and returns when the drag has ended, dropped or not.
    virtual void StartMarksDrag();

private:
    std::unique_ptr<TDialogs> FDialogs;
    // Set when the change logs were merged but writing the files failed: the
    // changes are then only in memory, and closing must still ask.
    bool FUnsavedAfterFailedSave = false;

    int FSaveFilterIndex = 0;

    // The table files as this window last loaded or saved them, to notice another
    // program (or window) that wrote them since.
    TFileIdentity FCatsFile;
    TFileIdentity FMarksFile;

    // Saves, after asking whether to overwrite the table files another program
    // changed since; false when the person declined and nothing was saved.
    bool SaveProjectAndReport();
    bool MayOverwriteOtherChanges();
    void RememberTableFiles();
    // Puts typing not yet posted into the tables, as Save does: the text of an open
    // cell editor and of the memo, and a row being edited. False, with the error
    // shown and the typing kept, when a value is refused.
    bool PostTyping();
    bool HasUnsavedChanges() const;
    void BuildLayout();
    void BuildMenu();
    void BuildPopups();
    void BuildImportCommands();
    void ConnectDragAndDrop();
    void BuildMap();
    void BuildFind();
    // Enables the commands that need a project when one is loaded.
    void UpdateCommands();
    // Names the step Undo and Redo would take in their menu items.
    void UpdateUndoCommands();
    // After an undo or a redo the rows of the marks selection may be gone.
    void HistoryMoved();
    // Moves the focus to the next (step 1) or previous (-1) of the categories grid,
    // the marks grid and the memo.
    void MoveFocus(int step);
    TMarksOnMap FMarksOnMap;
    // Marks waiting for the map to be created.
    std::optional<std::vector<TMarkData>> FPendingMapMarks;
    void ShowMarksOnMap(const std::vector<TRowRef>* selected);
    void SendPendingMapMarks();
    // Whether a row of GrCats is the drop target.
    bool IsDropRow(int row) const;
    // Sets the file name from the prompt when it is empty; whether there is one.
    bool ChooseExportFile(const TExportFormat& format, std::string& fileName);
};

// The window's error text: a full stop is appended when the message's last
// character sorts after ".".
std::string ErrorBoxText(const std::string& message);

// The cell of a grid at a position in its client pixels, as (column, row): the
// indicator column and the title row are 0, the data cells count from 1 (rows among
// the rows shown); (-1, -1) where there is no cell.
QPoint GridCellAt(const TDBGrid& grid, const QPoint& pos);

// Shrinks and moves a window so it lies on the screen it opens on.
void FitToScreen(QWidget& window);
