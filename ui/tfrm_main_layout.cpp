#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

#include "category_delete.h"
#include "db_grid.h"
#include "db_memo.h"
#include "grid_columns.h"
#include "history_caption.h"
#include "table_text.h"
#include "tfrm_main.h"

// The window's layout, menus and popups.

namespace {

// "MS Sans Serif" at 8 points, or the system's sans-serif face at 8 points where
// that face is not installed.
QFont WindowFont()
{
    QFont font("MS Sans Serif", 8);
    if (QFontInfo(font).family() != font.family()) {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setPointSize(8);
    }
    return font;
}

// A splitter handle drawn as a bar with an edge line on each side and a grip in the
// middle, so it stands out between the white areas of the grids and the memo.
class TSplitterHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect r = rect();
        painter.fillRect(r, palette().color(QPalette::Button));
        painter.setPen(palette().color(QPalette::Mid));
        const bool across = orientation() == Qt::Horizontal;
        if (across) {
            painter.drawLine(r.topLeft(), r.bottomLeft());
            painter.drawLine(r.topRight(), r.bottomRight());
        } else {
            painter.drawLine(r.topLeft(), r.topRight());
            painter.drawLine(r.bottomLeft(), r.bottomRight());
        }
        painter.setPen(palette().color(QPalette::Dark));
        const QPoint c = r.center();
        for (int step = -8; step <= 8; step += 4)
            painter.drawPoint(across ? QPoint(c.x(), c.y() + step) : QPoint(c.x() + step, c.y()));
    }
};

class TSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle* createHandle() override { return new TSplitterHandle(orientation(), this); }
};

} // namespace

void TfrmMain::BuildLayout()
{
    setFont(WindowFont());
    auto* client = new QWidget(this);
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(8, 8, 8, 8);
    setCentralWidget(client);

    Splitter2 = new TSplitter(Qt::Horizontal, client);
    Splitter2->setObjectName("Splitter2");
    Splitter2->setHandleWidth(7);
    Splitter2->setChildrenCollapsible(false);
    clientLayout->addWidget(Splitter2);

    pnlMain = new QWidget(Splitter2);
    pnlMain->setObjectName("pnlMain");
    auto* mainLayout = new QVBoxLayout(pnlMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new TSplitter(Qt::Horizontal, pnlMain);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(6);
    Splitter1->setChildrenCollapsible(false);
    mainLayout->addWidget(Splitter1);

    GrCats = new TDBGrid(CDCats, CatsColumns(), false, Splitter1);
    GrCats->setObjectName("GrCats");
    DSCats = GrCats->Model();

    pn_Marks = new QWidget(Splitter1);
    pn_Marks->setObjectName("pn_Marks");
    auto* marksLayout = new QVBoxLayout(pn_Marks);
    marksLayout->setContentsMargins(0, 0, 0, 0);
    marksLayout->setSpacing(0);
    GRMarks = new TDBGrid(CDMarks, MarksColumns(), true, pn_Marks);
    GRMarks->setObjectName("GRMarks");
    DSMarks = GRMarks->Model();
    marksLayout->addWidget(GRMarks, 1);
    DBMemo1 = new TDBMemo(CDMarks, "descr", pn_Marks);
    DBMemo1->setObjectName("DBMemo1");
    DBMemo1->setFixedHeight(89);
    marksLayout->addWidget(DBMemo1);

    pnlGoogle = new QFrame(Splitter2);
    pnlGoogle->setObjectName("pnlGoogle");
    pnlGoogle->setFrameShape(QFrame::NoFrame);
    auto* googleLayout = new QVBoxLayout(pnlGoogle);
    googleLayout->setContentsMargins(3, 3, 3, 3);
    pnlGoogle->setMinimumWidth(2);

    const double scale = logicalDpiX() / 96.0;
    const int catsWidth = qRound(334 * scale);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter1->setSizes({catsWidth, 930 - catsWidth});
    Splitter2->setSizes({930, 2});

    for (TDBGrid* grid : {GrCats, GRMarks}) {
        grid->Model()->OnError = [this](const std::string& message) { ShowError(message); };
        grid->OnConfirm = [this](const std::string& question) { return FDialogs->AskOkCancel(question); };
    }
    DBMemo1->OnError = [this](const std::string& message) { ShowError(message); };
    GrCats->RowDeleteQuestion = [this] {
        const std::size_t marks = CategoryMarkCount(CDCats, CDMarks);
        if (marks == 0)
            return tr("Delete record?").toStdString();
        const int count = static_cast<int>(marks);
        return (marks == 1 ? tr("Delete the category and its %n mark?", nullptr, count)
                           : tr("Delete the category and its %n marks?", nullptr, count))
            .toStdString();
    };
    GrCats->DeleteCurrentRow = [this] {
        RunCommand([this] {
            THistoryStep step(&FHistory, "Delete");
            DeleteCategoryWithMarks(CDCats, CDMarks);
        });
    };
    for (TDBGrid* grid : {GrCats, GRMarks})
        grid->Model()->History = &FHistory;
    GrCats->Delegate()->IsDropRow = [this](int row) { return IsDropRow(row); };
    GRMarks->Delegate()->FindIcon = [this](const QString& name) { return FIconImages.Find(QStringToTable(name)); };

    // Another category shows other marks: the selection of the old ones goes.
    connect(DSCats, &TGridModel::CurrentRowMoved, GRMarks, [this] {
        std::string category = CDCats.FieldNamed("id").AsText();
        if (category != FSelectionCategory)
            GRMarks->ClearSelection();
        FSelectionCategory = std::move(category);
    });

    // Tab moves between the cells of a grid; these keys move between the grids and
    // the memo, so the keyboard alone reaches every part of the window.
    const std::pair<QList<QKeySequence>, int> focusKeys[] = {
        {{QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::Key_F6)}, 1},
        {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::SHIFT | Qt::Key_F6)}, -1},
    };
    for (const auto& [keys, step] : focusKeys) {
        auto* shortcut = new QShortcut(this);
        shortcut->setKeys(keys);
        connect(shortcut, &QShortcut::activated, this, [this, step] { MoveFocus(step); });
    }
}

void TfrmMain::MoveFocus(int step)
{
    QWidget* const parts[] = {GrCats, GRMarks, DBMemo1};
    const int count = static_cast<int>(std::size(parts));
    const QWidget* focus = QApplication::focusWidget();
    // From elsewhere (the map, the menu) the first or the last one comes next.
    int at = step > 0 ? -1 : 0;
    for (int i = 0; i < count; ++i)
        if (focus && (focus == parts[i] || parts[i]->isAncestorOf(focus)))
            at = i;
    parts[(at + step + count) % count]->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

bool TfrmMain::IsDropRow(int row) const
{
    return FDropRow > 0 && FDropRow == row - GrCats->rowAt(0) + 1;
}

void TfrmMain::BuildMenu()
{
    QMenuBar* bar = menuBar();
    Load1 = bar->addAction(tr("&Load"));
    Save1 = bar->addAction(tr("&Save"));
    mnExportMP = bar->addMenu(tr("&Export"));
    QAction* visibleKml = mnExportMP->addAction(tr("Visible to KML"));
    QAction* visibleKmz = mnExportMP->addAction(tr("Visible to KMZ"));
    QAction* visibleWpt = mnExportMP->addAction(tr("Visible to WPT"));
    QAction* visibleGpx = mnExportMP->addAction(tr("Visible to GPX"));
    QAction* visibleGeoJson = mnExportMP->addAction(tr("Visible to GeoJSON"));
    mnExportMP->addSeparator();
    QAction* visibleMp = mnExportMP->addAction(tr("Visible to MP"));
    N1 = bar->addAction("|");
    N1->setEnabled(false);
    Reindex1 = bar->addAction(tr("&Reindex"));
    New1 = bar->addAction(tr("&New"));
    QAction* separator = bar->addAction("|");
    separator->setEnabled(false);
    Undo1 = bar->addAction(tr("Undo"));
    Undo1->setShortcut(QKeySequence::Undo);
    Redo1 = bar->addAction(tr("Redo"));
    Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* action : {Undo1, Redo1})
        action->setShortcutContext(Qt::WindowShortcut);
    N2 = bar->addAction("|");
    N2->setEnabled(false);
    Show1 = bar->addAction(tr("Show Google"));
    connect(visibleKml, &QAction::triggered, this, [this] { mnExportVisiblelKMLClick(); });
    connect(visibleKmz, &QAction::triggered, this, [this] { mnExportVisibleKMZClick(); });
    connect(visibleWpt, &QAction::triggered, this, [this] { mnExportSelectedWPTClick(); });
    connect(visibleMp, &QAction::triggered, this, [this] { mnExportVisiblelMPClick(); });
    connect(visibleGpx, &QAction::triggered, this, [this] { mnExportVisibleGPXClick(); });
    connect(visibleGeoJson, &QAction::triggered, this, [this] { mnExportVisibleGeoJSONClick(); });
    connect(Load1, &QAction::triggered, this, [this] { Load1Click(); });
    connect(Save1, &QAction::triggered, this, [this] { Save1Click(); });
    connect(Reindex1, &QAction::triggered, this, [this] { Reindex1Click(); });
    connect(New1, &QAction::triggered, this, [this] { New1Click(); });
    connect(Show1, &QAction::triggered, this, [this] { Show1Click(); });
    connect(Undo1, &QAction::triggered, this, [this] { Undo1Click(); });
    connect(Redo1, &QAction::triggered, this, [this] { Redo1Click(); });
    FHistory.Changed = [this] { UpdateUndoCommands(); };
    UpdateUndoCommands();
    qApp->installEventFilter(this);
}

void TfrmMain::UpdateUndoCommands()
{
    const QString undo = HistoryCaption(THistoryCommand::Undo, TableToQString(FHistory.UndoName()));
    const QString redo = HistoryCaption(THistoryCommand::Redo, TableToQString(FHistory.RedoName()));
    // "&&" shows one "&" in a menu item.
    const auto show = [](QAction* action, const QString& text, const QString& whole) {
        action->setText(QString(text).replace("&", "&&"));
        action->setToolTip(whole);
    };
    show(Undo1, undo, undo);
    show(Redo1, redo, redo);
    Undo1->setEnabled(FHistory.CanUndo());
    Redo1->setEnabled(FHistory.CanRedo());

    // Long step names (Russian ones are) would push the last items of the menu bar
    // behind its overflow button: they are cut with "..." until the bar holds them
    // all, and the whole name stays in the tooltip.
    QMenuBar* bar = menuBar();
    if (!bar->isVisible())
        return;
    const QFontMetrics metrics(bar->font());
    const int shortest = metrics.horizontalAdvance(QStringLiteral("Undo..."));
    for (int width = std::max(metrics.horizontalAdvance(undo), metrics.horizontalAdvance(redo));
         bar->sizeHint().width() > bar->width() && width > shortest; width -= metrics.averageCharWidth()) {
        show(Undo1, metrics.elidedText(undo, Qt::ElideRight, width), undo);
        show(Redo1, metrics.elidedText(redo, Qt::ElideRight, width), redo);
    }
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    UpdateUndoCommands();
}

void TfrmMain::BuildPopups()
{
    PopupCats = new QMenu(this);
    PopupCats->setObjectName("PopupCats");
    connect(PopupCats->addAction(tr("Export To Kml")), &QAction::triggered, this, [this] { mnExportCatalogToKmlClick(); });
    connect(PopupCats->addAction(tr("Export To Wpt")), &QAction::triggered, this, [this] { mnExportCatalogToWptClick(); });
    connect(PopupCats->addAction(tr("Export To Kmz")), &QAction::triggered, this, [this] { ExportCatalogToKmzClick(); });
    connect(PopupCats->addAction(tr("Export To Gpx")), &QAction::triggered, this, [this] { mnExportCatalogToGpxClick(); });
    connect(PopupCats->addAction(tr("Export To GeoJSON")), &QAction::triggered, this,
            [this] { mnExportCatalogToGeoJsonClick(); });
    connect(PopupCats->addAction(tr("Show On Map")), &QAction::triggered, this, [this] { mnShowCategoryOnMapClick(); });
    PopupMarks = new QMenu(this);
    PopupMarks->setObjectName("PopupMarks");
    connect(PopupMarks->addAction(tr("Export To Kml")), &QAction::triggered, this, [this] { mnSaveSelectedToKmlClick(); });
    connect(PopupMarks->addAction(tr("Export To Wpt")), &QAction::triggered, this, [this] { mnSaveSelectedToWptClick(); });
    connect(PopupMarks->addAction(tr("Export To Kmz")), &QAction::triggered, this, [this] { mnExportToKmzClick(); });
    connect(PopupMarks->addAction(tr("Export To Gpx")), &QAction::triggered, this, [this] { mnSaveSelectedToGpxClick(); });
    connect(PopupMarks->addAction(tr("Export To GeoJSON")), &QAction::triggered, this,
            [this] { mnSaveSelectedToGeoJsonClick(); });
    connect(PopupMarks->addAction(tr("Show On Map")), &QAction::triggered, this, [this] { mnShowSelectedOnMapClick(); });
    connect(GrCats, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupCats->popup(GrCats->viewport()->mapToGlobal(at)); });
    connect(GRMarks, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMarks->popup(GRMarks->viewport()->mapToGlobal(at)); });
    // A table opens or closes with a reset of its grid.
    connect(DSCats, &QAbstractItemModel::modelReset, this, &TfrmMain::UpdateCommands);
    connect(DSMarks, &QAbstractItemModel::modelReset, this, &TfrmMain::UpdateCommands);
}

void TfrmMain::UpdateCommands()
{
    // The commands that work on the project wait until one is loaded: before that
    // they could only fail on the closed tables. Save writes whichever table loaded.
    const bool loaded = CDCats.IsOpen() && CDMarks.IsOpen();
    Save1->setEnabled(CDCats.IsOpen() || CDMarks.IsOpen());
    for (QAction* command : {mnExportMP->menuAction(), Reindex1, mnImport, mnFind})
        if (command)
            command->setEnabled(loaded);
    for (QMenu* popup : {PopupCats, PopupMarks})
        for (QAction* command : popup->actions())
            command->setEnabled(loaded);
}

void FitToScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const QSize border = frame.size() - window.geometry().size();
    const int width = std::min(frame.width(), available.width());
    const int height = std::min(frame.height(), available.height());
    window.resize(width - border.width(), height - border.height());
    window.move(std::clamp(frame.left(), available.left(), available.right() + 1 - width),
                std::clamp(frame.top(), available.top(), available.bottom() + 1 - height));
}
