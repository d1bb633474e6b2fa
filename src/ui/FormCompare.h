// The changes between a saved result and this scan (or two saved results) as a table: one row per
// change, marked by its kind (added, removed, changed, an entry's own change), a box per kind and
// a text filter, the count of the rows shown, the reasons of the chosen change beneath, and
// saving the changes shown in every format.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rights/ResultCompare.h"
#include "ui/SaveDialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace trovalen {

class TComparisonModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TComparisonModel(const TComparison& comparison, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the field; tool tip: the whole field and the reasons; background: the kind.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const TComparison& FComparison;
};

class TComparisonFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    TComparisonFilter(const TComparison& comparison, QObject* parent = nullptr);
    void SetKinds(uint32_t kinds);
    void SetText(const std::string& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const TComparison& FComparison;
    uint32_t FKinds = cfAll;
    std::string FText;
};

class TFormCompare : public QDialog {
    Q_OBJECT
public:
    TFormCompare(TComparison comparison, QWidget* parent = nullptr);

    const TComparison& Comparison() const { return FComparison; }
    QTableView* View() const { return FView; }
    QLineEdit* FilterEdit() const { return FFilter; }
    QLabel* NotesLabel() const { return FNotes; }
    QLabel* CountLabel() const { return FCount; }
    QPlainTextEdit* ReasonsPane() const { return FReasons; }
    // The box of a kind filter bit (cfAdded, cfRemoved, cfChanged, cfEntries).
    QCheckBox* KindBox(uint32_t bit) const;

    // The changes shown, in the order shown (positions in the comparison).
    std::vector<size_t> ShownChanges() const;
    // "3 of 7 changes".
    std::string CountText() const;
    // Writes the changes shown (with the notes) in the format; false with the reason in error.
    bool SaveShown(const std::string& fileName, TTableFormat format, std::string& error) const;

    // Replaceable for tests: the save dialog and the offer to open a spreadsheet.
    std::function<std::optional<TSaveChoice>(const std::string& folder,
                                             const std::string& proposed)>
        SaveDialog;
    std::function<bool(const std::string& fileName)> OfferOpen;
    // The folder saves start in; the window keeps it between dialogs.
    std::string SaveFolder;

public slots:
    void SaveShownInteractive();

private:
    void Refilter();
    void ShowReasons();

    TComparison FComparison;
    TComparisonModel* FModel = nullptr;
    TComparisonFilter* FProxy = nullptr;
    QLabel* FNotes = nullptr;
    QLabel* FCount = nullptr;
    QLineEdit* FFilter = nullptr;
    std::vector<std::pair<uint32_t, QCheckBox*>> FKindBoxes;
    QTableView* FView = nullptr;
    QPlainTextEdit* FReasons = nullptr;
    QPushButton* FSave = nullptr;
};

} // namespace trovalen
