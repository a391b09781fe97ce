#include "find_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "grid_delegate.h"
#include "table_text.h"

namespace {

enum { cCategory, cName, cScale1, cDescr, kColumns };

QString CountText(std::size_t total, std::size_t listed)
{
    if (total == 0)
        return TFindBar::tr("No marks found");
    if (total == 1)
        return TFindBar::tr("1 mark found");
    QString text = TFindBar::tr("%n marks found", nullptr, static_cast<int>(total));
    if (total > listed)
        text += TFindBar::tr(", the first %1 listed (%2 more)").arg(listed).arg(total - listed);
    return text;
}

} // namespace

void TFindModel::SetFound(std::vector<TFoundMark> found)
{
    beginResetModel();
    FFound = std::move(found);
    endResetModel();
}

int TFindModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FFound.size());
}

int TFindModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant TFindModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const TFoundMark& found = Found(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case cCategory: return TableToQString(found.Category);
        case cName: return TableToQString(found.Name);
        case cScale1: return TableToQString(found.Scale1);
        default: return TableToQString(found.FirstLine);
        }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue((index.column() == cScale1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // Tinted every second row, as the grids are.
        if (index.row() % 2 == 1)
            return QColor::fromRgb(GridColors::kEvenRow);
        return {};
    default:
        return {};
    }
}

QVariant TFindModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[kColumns] = {QT_TRANSLATE_NOOP("TFindBar", "category"),
                                                 QT_TRANSLATE_NOOP("TFindBar", "name"),
                                                 QT_TRANSLATE_NOOP("TFindBar", "scale1"),
                                                 QT_TRANSLATE_NOOP("TFindBar", "descr")};
    return section >= 0 && section < kColumns ? TFindBar::tr(titles[section]) : QVariant();
}

TFindBar::TFindBar(TClientDataSet& cats, TClientDataSet& marks, QWidget* parent)
    : QWidget(parent), FindEdit(new QLineEdit(this)), FindDescr(new QCheckBox(tr("Descriptions too"), this)),
      FindCount(new QLabel(this)), FindList(new QTableView(this)), FindModel(new TFindModel(this)), FCats(cats),
      FMarks(marks)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(2);
    auto* line = new QHBoxLayout;
    line->addWidget(FindEdit, 1);
    line->addWidget(FindDescr);
    line->addWidget(FindCount, 1);
    layout->addLayout(line);
    layout->addWidget(FindList);
    FindEdit->setObjectName("FindEdit");
    FindEdit->setPlaceholderText(tr("Find marks by name"));
    FindEdit->setClearButtonEnabled(true);
    FindDescr->setObjectName("FindDescr");
    FindCount->setObjectName("FindCount");
    FindList->setObjectName("FindList");

    // The list looks like the grids: their font, row height, lines and highlight,
    // which stays visible without the focus.
    FindList->setModel(FindModel);
    FindList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FindList->setSelectionMode(QAbstractItemView::SingleSelection);
    FindList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FindList->setTabKeyNavigation(false);
    FindList->setWordWrap(false);
    FindList->setCornerButtonEnabled(false);
    FindList->verticalHeader()->hide();
    const QFontMetrics metrics(font());
    const int rowHeight = metrics.height() + 3 + 1;
    FindList->verticalHeader()->setMinimumSectionSize(1);
    FindList->verticalHeader()->setDefaultSectionSize(rowHeight);
    FindList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FindList->horizontalHeader()->setMinimumSectionSize(1);
    FindList->horizontalHeader()->setFixedHeight(metrics.height() + 4);
    FindList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FindList->horizontalHeader()->setHighlightSections(false);
    FindList->horizontalHeader()->setStretchLastSection(true);
    const double scale = logicalDpiX() / 96.0;
    const int widths[] = {140, 200, 40};
    for (int column = 0; column < 3; ++column)
        FindList->setColumnWidth(column, qRound(widths[column] * scale));
    FindList->setFixedHeight(metrics.height() + 4 + 7 * rowHeight + 2 * FindList->frameWidth());
    QPalette palette = FindList->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    FindList->setPalette(palette);

    FQuiet.setSingleShot(true);
    FQuiet.setInterval(kQuietMs);
    connect(&FQuiet, &QTimer::timeout, this, [this] { StartSearch(); });
    FSlices.setInterval(0);
    connect(&FSlices, &QTimer::timeout, this, [this] { RunSlice(); });
    connect(FindEdit, &QLineEdit::textChanged, this, [this] { FQuiet.start(); });
    connect(FindDescr, &QCheckBox::toggled, this, [this] { StartSearch(); });
    connect(FindList, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { GoToResult(index.row()); });
    for (QWidget* widget : {static_cast<QWidget*>(FindEdit), static_cast<QWidget*>(FindDescr),
                            static_cast<QWidget*>(FindList)})
        widget->installEventFilter(this);
    FCats.AddObserver(this);
    FMarks.AddObserver(this);
}

TFindBar::~TFindBar()
{
    FCats.RemoveObserver(this);
    FMarks.RemoveObserver(this);
}

void TFindBar::Open()
{
    show();
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
    if (!FSearch || !FSearch->Current())
        StartSearch();
}

void TFindBar::Close()
{
    FQuiet.stop();
    FSlices.stop();
    hide();
    if (OnClosed)
        OnClosed();
}

void TFindBar::StartSearch()
{
    FQuiet.stop();
    FSlices.stop();
    const QString text = FindEdit->text();
    const std::string bytes = QStringToTable(text);
    // A character the code page lacks is in no mark: such a text finds nothing.
    if (text.isEmpty() || TableToQString(bytes) != text) {
        FSearch.reset();
        Publish();
        return;
    }
    FSearch = std::make_unique<TMarkSearch>(FCats, FMarks, bytes, FindDescr->isChecked());
    RunSlice();
}

void TFindBar::RunSlice()
{
    if (!FSearch || FSearch->Run(std::chrono::milliseconds(kSliceMs))) {
        FSlices.stop();
        Publish();
    } else if (!FSlices.isActive()) {
        FindCount->setText(tr("Searching..."));
        FSlices.start();
    }
}

void TFindBar::SearchNow()
{
    if (FQuiet.isActive() || !FSearch)
        StartSearch();
    if (FSearch && !FSearch->Current()) {
        FSlices.stop();
        FSearch->RunToEnd();
        Publish();
    }
}

void TFindBar::Publish()
{
    FindModel->SetFound(FSearch ? FSearch->Found() : std::vector<TFoundMark>());
    FindCount->setText(FSearch             ? CountText(FSearch->Total(), FSearch->Found().size())
                       : FindEdit->text().isEmpty() ? QString()
                                                    : CountText(0, 0));
    // The result gone to last keeps its place while its mark is still found.
    int current = -1;
    if (FCurrentMark.IsSet() && FMarks.OrderPlaceOf(FCurrentMark) != kNoRow)
        for (int row = 0; row < FindModel->rowCount() && current < 0; ++row)
            if (FindModel->Found(row).Mark.Row == FCurrentMark.Row)
                current = row;
    SetCurrent(current);
}

void TFindBar::SetCurrent(int row)
{
    FCurrent = row;
    FCurrentMark = row >= 0 ? FindModel->Found(row).Mark : TRowRef();
    if (row < 0) {
        FindList->selectionModel()->clear();
        return;
    }
    const QModelIndex index = FindModel->index(row, 0);
    FindList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FindList->scrollTo(index);
}

void TFindBar::GoToResult(int row)
{
    if (row < 0 || row >= FindModel->rowCount() || !OnGoTo)
        return;
    switch (OnGoTo(FindModel->Found(row).Mark)) {
    case TFindJump::Landed:
        SetCurrent(row);
        break;
    case TFindJump::Gone:
        // The list was older than the tables: it is brought up to date instead.
        SearchNow();
        break;
    case TFindJump::Stopped:
        break;
    }
}

void TFindBar::GoToNext(int direction)
{
    if (FindEdit->text().isEmpty()) {
        Open();
        return;
    }
    SearchNow();
    const int count = FindModel->rowCount();
    if (count == 0 || !OnGoTo)
        return;
    int row = FCurrent;
    for (int tried = 0; tried < count; ++tried) {
        row = row < 0 ? (direction > 0 ? 0 : count - 1) : (row + direction + count) % count;
        switch (OnGoTo(FindModel->Found(row).Mark)) {
        case TFindJump::Landed:
            SetCurrent(row);
            return;
        case TFindJump::Stopped:
            return;
        case TFindJump::Gone:
            break;
        }
    }
}

bool TFindBar::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(object, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (key == Qt::Key_Escape) {
        Close();
        return true;
    }
    if (object == FindEdit && enter) {
        SearchNow();
        const QModelIndex current = FindList->currentIndex();
        GoToResult(current.isValid() ? current.row() : 0);
        return true;
    }
    if (object == FindEdit && (key == Qt::Key_Down || key == Qt::Key_PageDown) && FindModel->rowCount() > 0) {
        FindList->setFocus(Qt::TabFocusReason);
        if (!FindList->currentIndex().isValid())
            FindList->selectionModel()->setCurrentIndex(FindModel->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                                     QItemSelectionModel::Rows);
        return true;
    }
    if (object == FindList && enter) {
        GoToResult(FindList->currentIndex().row());
        return true;
    }
    return QWidget::eventFilter(object, event);
}

void TFindBar::DataSetChanged(TClientDataSet&)
{
    // Rows changed while the bar is shown: the list follows a moment later. A search
    // under way starts over by itself.
    if (isVisible() && FSearch && FSearch->Done() && !FSearch->Current() && !FQuiet.isActive())
        FQuiet.start();
}
