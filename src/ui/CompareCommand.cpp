#include "ui/CompareCommand.h"

#include <QFileDialog>

#include <utility>

#include "rights/ResultCompare.h"
#include "ui/FormCompare.h"
#include "ui/MainForm.h"
#include "ui/Widgets.h"
#include "util/Platform.h"

namespace trovalen {

TCompareCommand::TCompareCommand(TMainForm& form) : QObject(&form), FForm(form) {}

std::optional<std::string> TCompareCommand::Ask(const std::string& title) {
    if (OpenResultDialog)
        return OpenResultDialog(title);
    QString file = QFileDialog::getOpenFileName(&FForm, Q(title), QString(),
                                                "Scan results (*.json);;All files (*)");
    if (file.isEmpty())
        return std::nullopt;
    return S(file);
}

void TCompareCommand::Execute() {
    if (FForm.Scanning())
        return;
    std::optional<std::string> beforeFile = Ask("Compare with saved result");
    if (!beforeFile)
        return;
    TComparison comparison;
    std::string error;
    bool compared = false;
    const TScanResult& last = FForm.LastResult();
    if (!last.Entries.empty()) {
        TSavedResult before;
        compared = U_ReadScanResultFile(*beforeFile, before, error) &&
                   U_CompareWithScan(before, *beforeFile, last, comparison, error);
    } else {
        // Before any run there is nothing of this window's to compare: a second saved result
        // stands for the newer state.
        std::optional<std::string> afterFile = Ask("Compare with a newer saved result");
        if (!afterFile)
            return;
        compared = U_CompareFiles(*beforeFile, *afterFile, comparison, error);
    }
    if (!compared) {
        U_MessageBox(TMsgKind::Error, "Cannot compare: " + error);
        return;
    }
    std::string folder = FFormCompare ? FFormCompare->SaveFolder : std::string();
    if (FFormCompare)
        FFormCompare->deleteLater();
    FFormCompare = new TFormCompare(std::move(comparison), &FForm);
    FFormCompare->SaveFolder = folder;
    FFormCompare->show();
    FFormCompare->raise();
}

} // namespace trovalen
