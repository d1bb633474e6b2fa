// File > "Compare with saved result...": the changes since a saved result. The saved result is
// compared with the window's last run, or, before any run, with a second saved result; the
// changes show in a window of their own, which the next comparison replaces.
#pragma once

#include <QObject>

#include <functional>
#include <optional>
#include <string>

namespace trovalen {

class TFormCompare;
class TMainForm;

class TCompareCommand : public QObject {
public:
    explicit TCompareCommand(TMainForm& form);
    // Asks for the saved results, compares, and shows the changes. Ignored during a scan.
    void Execute();
    // Asks for a saved result to open; none when the user cancels. Tests replace it; without
    // it, a file dialog asks.
    std::function<std::optional<std::string>(const std::string& title)> OpenResultDialog;
    // The window of the last comparison (null before the first).
    TFormCompare* Form() const { return FFormCompare; }

private:
    std::optional<std::string> Ask(const std::string& title);

    TMainForm& FForm;
    TFormCompare* FFormCompare = nullptr;
};

} // namespace trovalen
