#include "ui/WindowAdapters.h"

#include <QWidget>

#include "model/RightsModel.h"
#include "settings/Ini.h"
#include "ui/MainForm.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr char kContextSection[] = "Context";

} // namespace

void TWindowScanHost::BeginRun() {
    FScanButton->setEnabled(false);
}

void TWindowScanHost::EndRun() {
    FScanButton->setEnabled(true);
}

void TWindowScanHost::DebugLine(const std::string& text) {
    FForm.AddLogLine(text);
}

void TWindowScanHost::SetStatusText(const std::string& text) {
    FForm.SetStatusText(1, FProgress.empty() || text.empty() ? FProgress + text
                                                             : FProgress + " - " + text);
}

void TWindowScanHost::DetailsAvailable(bool available) {
    FDetailsSwitch->setVisible(available);
}

void TWindowScanHost::EntryStarted(int index, int count, const std::string& entry) {
    FProgress = U_Format("Scanning %d of %d: %s", index + 1, count, entry.c_str());
    FForm.SetStatusText(1, FProgress);
}

void TWindowScanHost::LinesAdded(std::span<const TStringItem> summary,
                                 std::span<const TStringItem> details) {
    FForm.AppendToPanes(summary, details);
}

std::string TSettingsContextMemory::RecallContext(const std::string& tree) {
    return U_IniReadText(*FForm.SettingsFile(), kContextSection, tree, std::string(kRoot));
}

void TSettingsContextMemory::KeepContext(const std::string& tree, const std::string& context) {
    U_IniWriteStr(*FForm.SettingsFile(), kContextSection, tree, context);
}

} // namespace trovalen
