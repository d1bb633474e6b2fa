#include "ui/SaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

#include "ui/Widgets.h"
#include "util/Shell.h"
#include "util/Util.h"

namespace trovalen {

std::optional<TSaveChoice> U_AskSaveTable(QWidget* parent, const std::string& title,
                                          const std::string& folder, const std::string& proposed) {
    QFileDialog dialog(parent, Q(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    for (const auto& f : U_TableFormatFilters())
        filters << Q(f);
    dialog.setNameFilters(filters);
    dialog.setDirectory(Q(folder));
    dialog.selectFile(Q(proposed));
    dialog.setDefaultSuffix(U_TableFormatExtension(TTableFormat::Text));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        if (auto format = U_TableFormatOfFilter(S(f)))
            dialog.setDefaultSuffix(U_TableFormatExtension(*format));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    TSaveChoice choice;
    choice.FileName = S(dialog.selectedFiles().first());
    choice.Format =
        U_TableFormatOfFilter(S(dialog.selectedNameFilter())).value_or(TTableFormat::Text);
    choice.Format = U_TableFormatOfFile(choice.FileName).value_or(choice.Format);
    return choice;
}

std::string U_SaveStartFolder(const std::string& remembered) {
    if (!remembered.empty() && QDir(Q(remembered)).exists())
        return remembered;
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists())
        return S(documents);
    return S(QDir::homePath());
}

bool U_AskOpenSaved(QWidget* parent, const std::string& title, const std::string& fileName) {
    return QMessageBox::question(
               parent, Q(title), Q(U_Format("Saved to %s.\nOpen it now?", fileName.c_str())),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool U_OpenSaved(const std::string& fileName) {
    TShellCommand command;
    command.File = fileName;
    return U_ShellExecute(command).Code > 32;
}

} // namespace trovalen
