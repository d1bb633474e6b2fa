// The back-end registry: the one place that knows which back ends are built in. It reads the
// options that name a directory (--tree FILE and TROVALEN_TREE for a tree file, --ldap and its
// options for a live tree), checks them together with one message each, gives their help lines,
// and opens the directory they name. The front ends call it and never name a back end.
//
// A new back end is one folder under backend/ and its options and opening here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/NWClient.h"

namespace trovalen {

// The options of a live directory as its back end reads them; only the registry looks inside.
struct TLiveDirectoryArgs;

// What a front end's command line says about the directory to read.
class TDirectoryArgs {
public:
    TDirectoryArgs();
    ~TDirectoryArgs();
    TDirectoryArgs(const TDirectoryArgs& other);
    TDirectoryArgs& operator=(const TDirectoryArgs& other);

    std::string TreeFile; // --tree FILE; empty: TROVALEN_TREE, else the bundled sample tree

    // A live directory is named (--ldap URI).
    bool Live() const;
    // --tree-name as the live directory's options took it; empty when not given (or when no
    // live-directory back end is built in, where the front end reads --tree-name itself).
    std::string TreeName() const;

private:
    friend struct TDirectoryArgsAccess;
    std::unique_ptr<TLiveDirectoryArgs> FLive;
};

// How a front end reads the options and what its messages call things.
struct TDirectoryFrontEnd {
    // How the eDirectory scan type is asked for, as the message about a live directory without
    // it names it: "--edir" (trovalen-scan), "trovalen-edir" (the window).
    std::string EdirHow;
    // --tree-name names only a live tree (the window): without --ldap it is a usage error.
    bool TreeNameNeedsLive = false;
    // --tree=FILE is read as well as --tree FILE (the window).
    bool TreeWithEquals = false;
};

enum class TDirectoryArgTake {
    NotMine, // not an option that names a directory: the front end looks at it
    Taken,   // taken with its value; i points at the last argument used
    Error,   // one of these options, but wrong: error says why
};

// Looks at args[i]. A value is checked as it is taken.
TDirectoryArgTake U_TakeDirectoryArg(const std::vector<std::string>& args, size_t& i,
                                     const TDirectoryFrontEnd& frontEnd, TDirectoryArgs& out,
                                     std::string& error);

// Checks the options together once all are taken: options that go with another one, two
// directories named at once, a live directory for a scan type it cannot serve (edirScan: the
// scan is of the eDirectory type). false with one message in error.
bool U_CheckDirectoryArgs(const TDirectoryArgs& args, const TDirectoryFrontEnd& frontEnd,
                          bool edirScan, std::string& error);

// The help lines of --tree as each front end lays out its options.
extern const char kTreeOptionHelpWindow[];
extern const char kTreeOptionHelpScan[];

// Whether a back end that reads a live directory (a server, not a file) is built in.
bool U_HaveLiveDirectory();
// The help lines of the live directory's options; empty when none is built in.
std::string U_LiveDirectoryHelp();

// A directory opened.
struct TOpenedDirectory {
    std::shared_ptr<TNWClient> Client; // null when it could not be opened; Error says why
    std::string Error;
    // What could not be opened, for a window that starts without a client; empty: the window's
    // own words.
    std::string NoClientHint;
    // The tree a live directory serves; empty for a tree file (whose connections name trees).
    std::string TreeName;
    // Where the data comes from, in words: "sample tree (simulated)", the tree file's path, or
    // the server's address and the identity bound ("ldap://host:389 as cn=admin,o=acme").
    std::string Source;
};

// Opens the directory the arguments name: the tree file (TROVALEN_TREE, else the sample tree
// when none is named), or the live tree (asking for its password on the terminal when it must).
TOpenedDirectory U_OpenDirectory(const TDirectoryArgs& args);

} // namespace trovalen
