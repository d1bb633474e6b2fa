// The helpers that touch the platform: command line, program file, folders and the mount root of
// the NetWare volumes, the OEM code page, and the message box, busy cursor and text pane hooks
// that a front end fills in (nothing here depends on a toolkit).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "util/StringList.h"

namespace trovalen {

// --- Command line -------------------------------------------------------------------------------

// The process's parameters (without the program name). Read from /proc/self/cmdline until a
// front end or a test sets them.
void U_SetCommandLine(const std::vector<std::string>& parameters);
const std::vector<std::string>& U_CommandLine();
bool U_HasSwitch(const std::string& keyword, int minLength);

// --- Program file -------------------------------------------------------------------------------

// Full path of the running executable; a test or front end may override it.
std::string U_ProgramFile();
void U_SetProgramFile(const std::string& path);
std::string U_AppFileName(const std::string& extension);
// A data file that lies beside the program (a build tree), else in share/trovalen beside the
// program's bin folder (an installation under any prefix), else in the data folder of the
// configured installation prefix; the path beside the program when none exists.
std::string U_DataFileName(const std::string& fileName);

// --- Folders and paths --------------------------------------------------------------------------

// Where the volumes of the file servers are mounted: TROVALEN_MOUNT, else
// $XDG_RUNTIME_DIR/trovalen, else ~/.cache/trovalen/mnt.
std::string U_MountRoot();
// Resolves a UNC path \\SERVER\VOLUME\DIR... (either slash) to the folder under the mount root,
// matching each component case-insensitively against the folders on disk. A component that does
// not exist is appended as written. Empty when the path is not a UNC path with a server.
std::string U_UncToLocal(const std::string& uncPath);
// The name a folder entry has on disk for the given path (the display name); nothing when the
// path cannot be resolved.
std::optional<std::string> U_DisplayName(const std::string& path);
bool U_IsUncPath(const std::string& path);
bool U_DirExists(const std::string& path);
// The modes of U_ConvertPath.
constexpr int PATH_SHORT_FORM = 0; // the short form (the path unchanged here)
constexpr int PATH_LONG_FORM = 4;  // the long display form
// Any other mode gives an empty text.
std::string U_ConvertPath(const std::string& path, int mode);

// --- Code pages ---------------------------------------------------------------------------------

// The OEM code page used for names exchanged with the file server (an iconv name, CP850 unless
// set otherwise). Returns false and keeps the current one when iconv does not know the name.
bool U_SetOemCodePage(const std::string& name);
std::string U_OemCodePage();

// --- Memory -------------------------------------------------------------------------------------

// Sets the C library's allocator up for analyses that build and free hundreds of MiB at a time.
// Large blocks (a trustee list, the lines of a big scan) come from the heap instead of mappings of
// their own, and up to 1 GiB of freed memory stays with the process for the next analysis: a
// mapping is returned to the system when freed, and every page of the next one is faulted in and
// cleared again, which made a scan of 200,000 trustees a third slower than one of 100,000 twice.
// The programs that scan call it first. Does nothing without the GNU C library.
void U_TuneAllocatorForScans();

// --- Messages, busy cursor, text panes ----------------------------------------------------------

enum class TMsgKind { Warning, Error, Information, Confirmation };
std::string U_MsgKindCaption(TMsgKind kind);

struct TUiHooks {
    // A modal message box with one OK button. Default: the caption and text on standard error.
    std::function<void(TMsgKind, const std::string& caption, const std::string& text)> MessageBox;
    // Shows the busy cursor and returns a token of the previous one; EndBusy restores it.
    std::function<int()> BeginBusy;
    std::function<void(int)> EndBusy;
    // Lets pending user-interface events run inside long loops.
    std::function<void()> ProcessEvents;
};
// Replaces the hooks (a missing function keeps the default behaviour) and returns the previous.
TUiHooks U_SetUiHooks(const TUiHooks& hooks);

void U_MessageBox(TMsgKind kind, const std::string& text);
void U_ShowError(long code, const std::string& operation);
int U_BeginBusy();
// Lets the front end process pending events (repaint, progress); nothing without a front end.
void U_ProcessMessages();
void U_EndBusy(int cursor);

// The busy cursor for the life of a scope: shown when made, restored when the scope ends, by
// an exception too.
class TBusyCursor {
public:
    TBusyCursor() : FCursor(U_BeginBusy()) {}
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    ~TBusyCursor() { U_EndBusy(FCursor); }

private:
    int FCursor;
};

// A text pane is its list of lines.
void U_LoadMemo(TStringList& pane, const std::string& fileName);
void U_LoadMemoFromAppTxt(TStringList& pane);

} // namespace trovalen
