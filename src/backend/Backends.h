// The back-end registry: the one place that knows which back ends this build has. It reads the
// directory options of a command line (--tree FILE, TROVALEN_TREE, and the options of a live
// directory), checks them together with one message each, and opens the directory they name:
// a tree file (or the bundled sample tree) through the simulated client, or a live tree through
// its own client. The front ends call it and never name a back end themselves.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/NWClient.h"

// A live directory read over LDAP comes with the back end that reads it: its options and the
// fields of the window's connect dialog.
#if TROVALEN_HAVE_LDAP
#include "backend/ldap/LdapArgs.h"
#include "backend/ldap/LdapConnectSettings.h"
#endif

namespace trovalen {

// Whether this build reads a live directory (--ldap, the window's "Connect to directory").
#if TROVALEN_HAVE_LDAP
constexpr bool kHaveLiveDirectory = true;
#else
constexpr bool kHaveLiveDirectory = false;
#endif

// The directory options as given.
struct TDirectoryArgs {
    std::string TreeFile; // --tree FILE (empty: TROVALEN_TREE, else the bundled sample tree)
    std::string TreeName; // --tree-name, when the live back end took it
#if TROVALEN_HAVE_LDAP
    ldap::TLdapArgs Ldap; // --ldap URI and its options
#endif
    // Whether the options name a live directory rather than a tree file.
    bool Live() const;
};

// How a front end uses the directory: its words in the messages and what it allows.
struct TDirectoryUse {
    bool Edir = false;              // the scan reads directory objects (a live directory needs it)
    const char* EdirWord = "";      // how the front end names the eDirectory scan type
    bool TreeNameNeedsLive = false; // --tree-name means something only with a live directory
};

enum class TDirectoryArgTake {
    NotMine, // no directory option: the front end looks at it
    Taken,   // taken with its value; i points at the last argument used
    Error,   // a directory option, but wrong: error says why
};

// Looks at args[i]: --tree FILE, --tree=FILE and the options of a live directory.
TDirectoryArgTake U_TakeDirectoryArg(const std::vector<std::string>& args, size_t& i,
                                     TDirectoryArgs& out, std::string& error);

// Checks the directory options together once all are taken: false with one message in error.
bool U_CheckDirectoryArgs(const TDirectoryArgs& args, const TDirectoryUse& use, std::string& error);

// The help lines of the live directory's options, for a front end's --help; empty when this
// build reads none.
std::string U_LiveDirectoryHelp();

// A directory opened, or why it could not be.
struct TOpenedDirectory {
    std::shared_ptr<TNWClient> Client; // null when it could not be opened
    std::string Error;                 // why not (the loader's or the server's message)
    std::string Hint;                  // what could not be opened, for the window's empty lists
    std::string LiveTree;              // the tree a live directory serves; empty for a tree file
};

// Opens the directory the options name: the tree file (--tree, else TROVALEN_TREE, else the
// bundled sample tree), or the live tree (asking for the password on the terminal when it must).
TOpenedDirectory U_OpenDirectory(const TDirectoryArgs& args);

#if TROVALEN_HAVE_LDAP
// Connects to a live directory with the connect dialog's options.
TOpenedDirectory U_ConnectLiveDirectory(const TLdapClientOptions& options);
#endif

} // namespace trovalen
