// The program's start, shared by both executables: command line, client, window, event loop.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "backend/Backends.h"
#include "ui/MainForm.h"

namespace trovalen {

// The program's own arguments (Qt has taken its own).
struct TProgramArgs {
    bool Help = false;
    TDirectoryArgs Directory;            // --tree FILE, or a live directory's options
    std::vector<std::string> Parameters; // DEBUG and the like, for the window
};

// Reads the arguments: 0 when they are good, else 2 with one message in error.
int ParseProgramArgs(const std::vector<std::string>& given, const TStartConfig& config,
                     TProgramArgs& out, std::string& error);

// Opens the directory the arguments name: the tree file, or the live tree over LDAP (asking for
// the password on the terminal when it must). Null when it cannot be opened; start then holds why
// (ClientError) and what could not be opened (NoClientHint).
std::shared_ptr<TNWClient> OpenDirectory(const TProgramArgs& args, TStartConfig& start);

int RunProgram(int argc, char** argv, const TStartConfig& config);

} // namespace trovalen
