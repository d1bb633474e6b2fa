// Temporary files that must not outlive the program even when SIGTERM or SIGINT ends it: a
// handler removes every file still listed, then lets the signal end the program as it would
// have. A program ended normally removes its files itself and takes them off the list.
#pragma once

#include <string>

namespace trovalen {

// Lists a file for removal on SIGTERM or SIGINT; false when the list is full or the path too
// long (the file is then removed only by its owner, as before).
bool U_RemoveOnSignal(const std::string& path);
// Takes a file off the list (its owner removed it, or keeps it).
void U_ForgetOnSignal(const std::string& path);

} // namespace trovalen
