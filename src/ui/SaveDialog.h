// Saving a table the user sees: the file dialog with one filter per format, started in the
// folder last saved to (else the documents folder), and the offer to open a spreadsheet just
// saved, which is never required: a desktop without a spreadsheet program is no error.
#pragma once

#include <optional>
#include <string>

#include "rights/TableFile.h"

class QWidget;

namespace trovalen {

struct TSaveChoice {
    std::string FileName;
    TTableFormat Format = TTableFormat::Text;
};

// Asks for the file and the format; none when the user cancels. A name that ends in a known
// extension is written in that format, whatever filter was chosen.
std::optional<TSaveChoice> U_AskSaveTable(QWidget* parent, const std::string& title,
                                          const std::string& folder, const std::string& proposed);

// The folder a save dialog starts in: the given one while it exists, else the user's documents
// folder, else the home folder.
std::string U_SaveStartFolder(const std::string& remembered);

// Asks whether to open the file just saved (default: no).
bool U_AskOpenSaved(QWidget* parent, const std::string& title, const std::string& fileName);
// Opens the file with the desktop's program for it; false when none could be started.
bool U_OpenSaved(const std::string& fileName);

} // namespace trovalen
