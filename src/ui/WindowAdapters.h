// What the window lends the scan session: the host of a scan run (the scan button, the details
// switch, the status bar, the panes and the troubleshooting log) and the memory of each tree's
// last container (the per-user settings file).
#pragma once

#include <span>
#include <string>

#include "rights/ScanSession.h"

class QWidget;

namespace trovalen {

class TMainForm;

class TWindowScanHost : public TScanHost {
public:
    // scanButton is disabled while the run goes; detailsSwitch shows whether there are details.
    TWindowScanHost(TMainForm& form, QWidget* scanButton, QWidget* detailsSwitch)
        : FForm(form), FScanButton(scanButton), FDetailsSwitch(detailsSwitch) {}
    void BeginRun() override;
    void EndRun() override;
    void DebugLine(const std::string& text) override;
    // The analysis's own status follows the entry's place in the run.
    void SetStatusText(const std::string& text) override;
    void DetailsAvailable(bool available) override;
    void EntryStarted(int index, int count, const std::string& entry) override;
    void LinesAdded(std::span<const TStringItem> summary,
                    std::span<const TStringItem> details) override;

private:
    TMainForm& FForm;
    QWidget* FScanButton;
    QWidget* FDetailsSwitch;
    std::string FProgress;
};

// Each tree's last container lives in the settings file, one key per tree in [Context].
class TSettingsContextMemory : public TContextMemory {
public:
    explicit TSettingsContextMemory(TMainForm& form) : FForm(form) {}
    std::string RecallContext(const std::string& tree) override;
    void KeepContext(const std::string& tree, const std::string& context) override;

private:
    TMainForm& FForm;
};

} // namespace trovalen
