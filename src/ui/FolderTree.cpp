#include "ui/FolderTree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QStyle>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "ui/Widgets.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace fs = std::filesystem;

namespace {

constexpr int kFolderRole = Qt::UserRole + 1; // the entry's local folder
constexpr int kFilledRole = Qt::UserRole + 2; // its subfolders have been read

// The names of the folders directly inside a folder, sorted ignoring case.
std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code dirEc;
        if (it->is_directory(dirEc) && !it->is_symlink(dirEc))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int c = U_CompareText(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

bool HasSubFolder(const std::string& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code dirEc;
        if (it->is_directory(dirEc) && !it->is_symlink(dirEc))
            return true;
    }
    return false;
}

std::string WithoutSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

TFolderTree::TFolderTree(QWidget* parent)
    : QTreeView(parent), FModel(new QStandardItemModel(this)) {
    setModel(FModel);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A double click adds a start path; it does not fold the folder.
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    connect(this, &QTreeView::expanded, this, &TFolderTree::Expand);
    SetRoot(std::string());
}

std::string TFolderTree::ReportedPath(const std::string& localFolder) {
    std::string mount = WithoutSlash(U_MountRoot());
    std::string local = WithoutSlash(localFolder);
    if (!mount.empty() && local.size() > mount.size() + 1 && U_StartsWith(local, mount + "/")) {
        std::string rel = local.substr(mount.size() + 1);
        std::replace(rel.begin(), rel.end(), '/', '\\');
        return "\\\\" + rel;
    }
    return local;
}

QStandardItem* TFolderTree::AddFolder(QStandardItem* parent, const std::string& name,
                                      const std::string& folder) {
    auto* item = new QStandardItem(style()->standardIcon(QStyle::SP_DirIcon), Q(name));
    item->setData(Q(folder), kFolderRole);
    item->setData(false, kFilledRole);
    item->setEditable(false);
    // A placeholder gives the folder its expander until its subfolders are read.
    if (HasSubFolder(folder))
        item->appendRow(new QStandardItem());
    parent->appendRow(item);
    return item;
}

void TFolderTree::Fill(QStandardItem* parent, const std::string& folder) {
    parent->removeRows(0, parent->rowCount());
    for (const auto& name : SubFolders(folder))
        AddFolder(parent, name, folder == "/" ? "/" + name : folder + "/" + name);
}

void TFolderTree::Expand(const QModelIndex& index) {
    QStandardItem* item = FModel->itemFromIndex(index);
    if (!item || item->data(kFilledRole).toBool())
        return;
    item->setData(true, kFilledRole);
    Fill(item, S(item->data(kFolderRole).toString()));
}

void TFolderTree::SetRoot(const std::string& root) {
    FRoot = root;
    FRootFolder = root.empty() ? std::string() : WithoutSlash(U_UncToLocal(root));
    FModel->clear();
    if (!FRootFolder.empty())
        Fill(FModel->invisibleRootItem(), FRootFolder);
}

void TFolderTree::SetHint(const QString& hint) {
    FHint = hint;
    viewport()->update();
}

void TFolderTree::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    U_PaintEmptyHint(this, FHint);
}

void TFolderTree::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        emit EnterPressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TFolderTree::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (current.isValid())
        emit CurrentFolderChanged();
}

std::string TFolderTree::PathOf(const QModelIndex& index) const {
    if (!index.isValid())
        return std::string();
    return ReportedPath(S(index.data(kFolderRole).toString()));
}

std::string TFolderTree::SelectedPath() const {
    QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? std::string() : PathOf(selected.first());
}

bool TFolderTree::SelectPath(const std::string& path) {
    std::string local = U_IsUncPath(path) ? U_UncToLocal(path) : path;
    local = WithoutSlash(local);
    if (local.empty())
        return false;
    QStandardItem* parent = FModel->invisibleRootItem();
    QStandardItem* found = nullptr;
    while (parent) {
        QStandardItem* next = nullptr;
        for (int i = 0; i < parent->rowCount() && !next; ++i) {
            QStandardItem* child = parent->child(i);
            std::string folder = S(child->data(kFolderRole).toString());
            if (folder.empty())
                continue;
            if (folder == local)
                found = child;
            else if (U_StartsWith(local, folder + "/"))
                next = child;
        }
        if (found || !next)
            break;
        expand(next->index());
        parent = next;
    }
    if (!found)
        return false;
    setCurrentIndex(found->index());
    scrollTo(found->index());
    return true;
}

} // namespace trovalen
