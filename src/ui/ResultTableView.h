// The summary as a table beside the text: the rows of a TResultTable in sortable columns sized to
// their contents, a filter box over every column and a rights filter (the letters a trustee must
// hold), the count of the rows shown, the chosen trustee's reasons beneath, and saving the rows
// shown as a file. Rows of entries that are not whole carry a mark and their reason. The rows
// live in the table; the view holds only models over it, so long results stay fast.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rights/ResultTable.h"
#include "ui/SaveDialog.h"

class QAction;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace trovalen {

class TIniFile;

class TResultTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultTableModel(const TResultTable& table, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the field; tool tip: the whole field, and the reason of a marked row; background
    // and (entry column) icon: the mark of a row whose entry is not whole.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // The table was emptied, or it gained rows at its end, or rows were marked.
    void Reset();
    void RowsAdded();
    void RowsChanged();

private:
    const TResultTable& FTable;
    int FRows = 0; // the rows the view has been told of
};

// Keeps the rows that hold the filter text in any column and every letter of the rights filter;
// sorts Rights by the rights held, every other column as text ignoring case.
class TResultFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    TResultFilterModel(const TResultTable& table, QObject* parent = nullptr);
    void SetFilterText(const std::string& text);
    void SetRightsLetters(const std::string& letters);
    const std::string& RightsLetters() const { return FLetters; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const TResultTable& FTable;
    std::string FFilter;
    std::string FLetters;
};

class TResultTableView : public QWidget {
    Q_OBJECT
public:
    // The settings key (in the section SetSettings names) of the folder rows were last saved to.
    static constexpr char kSaveFolderKey[] = "TableSaveFolder";

    TResultTableView(const TResultTable& table, QWidget* parent = nullptr);

    // The table was cleared (a new scan: the rights letters follow its scan type), or gained
    // rows at its end, or MarkEntries changed or added rows.
    void Reset();
    void RowsAdded();
    void EntriesMarked();

    // Where the save folder is remembered; without it, only while the view lives.
    void SetSettings(TIniFile* file, const std::string& section);

    QTableView* View() const { return FView; }
    QLineEdit* FilterEdit() const { return FFilterEdit; }
    QPlainTextEdit* ReasonsPane() const { return FReasons; }
    QLabel* CountLabel() const { return FCount; }
    QAction* SaveShownRowsAction() const { return FActionSave; }
    // The rights filter's box of a letter, null for a letter the scan type does not offer.
    QCheckBox* RightsBox(char letter) const;
    // The table row shown in the view's row (-1 for none).
    int SourceRow(int viewRow) const;
    // The rows shown, in the order shown (table indices), and the columns shown, in the order
    // shown.
    std::vector<int> ShownRows() const;
    std::vector<TResultColumn> ShownColumns() const;
    // "12 of 55": the rows shown of all rows.
    std::string CountText() const;

    // Adds the view's own actions (save the rows shown, column widths) to a context menu.
    void AddActionsTo(QMenu& menu) const;

    // Sizes the columns to their contents and fits them into the view's width: the widest
    // columns give up room first, none below a few characters; the last one takes what is left.
    void FitColumns();
    // Makes the current column wider or narrower by a step (Ctrl+Shift+Right / Left).
    void ResizeCurrentColumn(int steps);

    // Writes the rows shown to the file in the format; false with the reason in error.
    bool SaveShownRows(const std::string& fileName, TTableFormat format, std::string& error) const;

    // The dialog that picks the file and format, given the folder to start in and the name
    // proposed; replaceable for tests. Default: a file dialog with a filter per format.
    using TSaveChoice = trovalen::TSaveChoice;
    std::function<std::optional<TSaveChoice>(const std::string& folder,
                                             const std::string& proposed)>
        SaveDialog;
    // Asks whether to open the spreadsheet just saved; replaceable for tests. Default: a question
    // whose default answer is no.
    std::function<bool(const std::string& fileName)> OfferOpen;
    // The folder the save dialog starts in: the one last saved to, else the user's documents
    // folder (else the home folder).
    std::string SaveFolder() const;

public slots:
    // Asks for a file and format, writes the rows shown, remembers the folder, and for a
    // spreadsheet offers to open it. A viewer that cannot be started is said in the status text,
    // not as an error.
    void SaveShownRowsInteractive();

signals:
    // A line for the status bar: what was saved where, or why it was not.
    void StatusText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowReasons();
    void UpdateCount();
    void BuildRightsFilter();
    void RightsFilterChanged();
    void UpdateColumns();

    const TResultTable& FTable;
    TResultTableModel* FModel;
    TResultFilterModel* FProxy;
    QLineEdit* FFilterEdit;
    QHBoxLayout* FRightsLayout;
    QWidget* FRightsPanel;
    std::vector<QCheckBox*> FRightsBoxes;
    bool FRightsEdir = false;
    QLabel* FCount;
    QPushButton* FSaveButton;
    QAction* FActionSave;
    QAction* FActionWiden;
    QAction* FActionNarrow;
    QAction* FActionFit;
    QTableView* FView;
    QPlainTextEdit* FReasons;
    TIniFile* FSettings = nullptr;
    std::string FSettingsSection;
    std::string FSaveFolder;  // without settings: the folder last saved to
    bool FUserSized = false;  // a column was resized by hand: the view's width no longer fits them
    bool FFitting = false;    // the view itself is sizing columns
    bool FFittedRows = false; // the columns were fitted to rows (not only to the titles)
    std::vector<int> FPressSizes; // column widths when a mouse button went down on the header
};

} // namespace trovalen
