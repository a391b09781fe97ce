#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "mark_find.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableView;

// The marks found, as the result list shows them: category, name, scale1 and the
// first line of the description. A snapshot taken when the search ends; the texts
// are converted only for the rows painted.
class TFindModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetFound(std::vector<TFoundMark> found);
    const TFoundMark& Found(int row) const { return FFound[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<TFoundMark> FFound;
};

// What became of an attempt to go to a mark found.
enum class TFindJump : std::uint8_t {
    Landed,  // the mark is current
    Gone,    // the mark is not there any more; the next one may be tried
    Stopped, // something refused (an edit that cannot be posted): try no further
};

// The find bar above the marks grid: a box for the text, whether descriptions are
// searched too, the count, and the list of marks found. It searches every category
// a moment after the last key, in slices, so typing never waits for a search, and
// searches again when the tables change while it is shown.
class TFindBar : public QWidget, public TDataSetObserver {
    Q_OBJECT

public:
    TFindBar(TClientDataSet& cats, TClientDataSet& marks, QWidget* parent = nullptr);
    ~TFindBar() override;

    // How long after the last key the search starts, and how long one slice runs.
    static constexpr int kQuietMs = 120;
    static constexpr int kSliceMs = 8;

    // Shows the bar with the focus in the box, its text selected, and searches anew.
    void Open();
    // Hides the bar; OnClosed then gives the focus back to the grids.
    void Close();
    // Ends the search under way now (or searches afresh when the tables changed).
    void SearchNow();
    // Goes to the result at a row of the list; a mark that is gone is not followed.
    void GoToResult(int row);
    // F3 (1) and Shift+F3 (-1): the next or previous result, round the end of the
    // list, passing over marks that are gone.
    void GoToNext(int direction);

    // Goes to a mark found; set by the window.
    std::function<TFindJump(const TRowRef& mark)> OnGoTo;
    std::function<void()> OnClosed;

    QLineEdit* FindEdit = nullptr;
    QCheckBox* FindDescr = nullptr;
    QLabel* FindCount = nullptr;
    QTableView* FindList = nullptr;
    TFindModel* FindModel = nullptr;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    TClientDataSet& FCats;
    TClientDataSet& FMarks;
    std::unique_ptr<TMarkSearch> FSearch;
    QTimer FQuiet;
    QTimer FSlices;
    // The result gone to last (its row in the list, and its mark), for F3.
    int FCurrent = -1;
    TRowRef FCurrentMark;

    void StartSearch();
    void RunSlice();
    void Publish();
    void SetCurrent(int row);
    void DataSetChanged(TClientDataSet& dataSet) override;
};
