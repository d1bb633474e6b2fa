// The folder tree of the start-path page: the folders (no files) below a root, read from disk
// when a folder is first expanded and not refreshed by itself. Folders below the mount root of
// the file servers are reported in UNC form (\\SERVER\VOLUME\DIR), others by their local path.
#pragma once

#include <QTreeView>

#include <string>

class QStandardItem;
class QStandardItemModel;

namespace trovalen {

class TFolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit TFolderTree(QWidget* parent = nullptr);

    // A UNC root "\\SERVER\" shows that server's volumes; an empty root shows nothing (no
    // folder outside the mounted volumes is ever offered).
    void SetRoot(const std::string& root);
    const std::string& Root() const { return FRoot; }
    // The local folder shown as the root.
    const std::string& RootFolder() const { return FRootFolder; }

    // The reported path of an entry, and of the selected entry (empty when none).
    std::string PathOf(const QModelIndex& index) const;
    std::string SelectedPath() const;
    // Selects the entry of a reported path, expanding the folders above it; false when the path
    // is not below the root.
    bool SelectPath(const std::string& path);

    // The reported form of a local folder.
    static std::string ReportedPath(const std::string& localFolder);

    // What the empty tree says (why it is empty, or what to do next).
    void SetHint(const QString& hint);
    const QString& Hint() const { return FHint; }

signals:
    // Enter (or Return) on the selected folder.
    void EnterPressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

signals:
    // The current folder changed (by a click or by the arrow keys).
    void CurrentFolderChanged();

private:
    void Fill(QStandardItem* parent, const std::string& folder);
    void Expand(const QModelIndex& index);
    QStandardItem* AddFolder(QStandardItem* parent, const std::string& name,
                             const std::string& folder);

    QStandardItemModel* FModel;
    std::string FRoot;
    std::string FRootFolder;
    QString FHint;
};

} // namespace trovalen
