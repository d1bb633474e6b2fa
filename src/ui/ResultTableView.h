// The summary as a table beside the text: the rows of a TResultTable in sortable columns, a
// filter box over every column, and the chosen trustee's reasons beneath. The rows live in the
// table; the view holds only models over it, so long results stay fast.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

#include <string>

#include "rights/ResultTable.h"

class QLineEdit;
class QPlainTextEdit;
class QTableView;

namespace trovalen {

class TResultTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultTableModel(const TResultTable& table, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The table was emptied, or it gained rows at its end.
    void Reset();
    void RowsAdded();

private:
    const TResultTable& FTable;
    int FRows = 0; // the rows the view has been told of
};

// Keeps the rows that hold the filter text in any column.
class TResultFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    TResultFilterModel(const TResultTable& table, QObject* parent = nullptr);
    void SetFilterText(const std::string& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const TResultTable& FTable;
    std::string FFilter;
};

class TResultTableView : public QWidget {
    Q_OBJECT
public:
    TResultTableView(const TResultTable& table, QWidget* parent = nullptr);
    void Reset();
    void RowsAdded();

    QTableView* View() const { return FView; }
    QLineEdit* FilterEdit() const { return FFilterEdit; }
    QPlainTextEdit* ReasonsPane() const { return FReasons; }
    // The table row shown in the view's row (-1 for none).
    int SourceRow(int viewRow) const;

private:
    void ShowReasons();

    const TResultTable& FTable;
    TResultTableModel* FModel;
    TResultFilterModel* FProxy;
    QLineEdit* FFilterEdit;
    QTableView* FView;
    QPlainTextEdit* FReasons;
};

} // namespace trovalen
