// Safe file replacement and the per-user private temporary folder.
#pragma once

#include <string>
#include <string_view>

namespace trovalen {

struct TWriteOptions {
    // Create missing parent folders (mode 0700) before writing.
    bool CreateFolders = false;
    // Flush the new file to the disk before it replaces the old one.
    bool Durable = true;
    // A new file gets 0666 less the process's umask, like any file the user saves (a report, an
    // export); with this set it is private to the user (0600), as settings are.
    bool PrivateNewFile = false;
    // For a file the program keeps for itself (settings): it must be a regular file, and a
    // symbolic link is followed only to a regular file the user owns. Anything else (a link to a
    // folder, a device, nothing, or a file of someone else's; a pipe) is refused.
    bool OwnRegularFileOnly = false;
};

// Replaces the content of fileName in one step: the content goes to a new file beside it, which
// is then renamed into place, so a reader (or a crash) never sees a half-written file. An existing
// file keeps its permissions; a new one gets 0666 less the umask, or 0600 when asked. A symbolic
// link is followed and its target replaced in the target's folder, so the link stays a link. A
// target that exists but is no regular file (a device, a pipe) is written where it is, never
// replaced. Returns false with the reason in error on failure, in which case the old file is
// untouched.
bool U_WriteFileAtomic(const std::string& fileName, std::string_view content, std::string& error,
                       const TWriteOptions& options = {});

// Reads a whole file. Returns false (and leaves content empty) when it cannot be read; error then
// holds the reason, or is empty when the file does not exist.
bool U_ReadFile(const std::string& fileName, std::string& content, std::string& error);

// A folder that only the current user can enter, for temporary files: $XDG_RUNTIME_DIR/trovalen-tmp
// when the runtime folder is usable, else trovalen-<uid> in $TMPDIR or /tmp. It is created when
// missing and refused when it is a link, belongs to someone else or is open to others. Empty, with
// the reason in error, when no such folder can be had.
std::string U_PrivateTempDir(std::string& error);

// Creates a new empty file of mode 0600 in the private temporary folder, named by the prefix, six
// random characters and the suffix. Returns its path, or empty with the reason in error.
std::string U_CreatePrivateTempFile(const std::string& prefix, const std::string& suffix,
                                    std::string& error);

// An exclusive advisory lock (flock) on the file "<fileName>.lock" beside a file, held for the
// holder's lifetime, so that two processes never interleave a read-modify-write of the file.
// The lock file is created when missing (and its folder, with createFolders) and left in place.
// When it cannot be had (a read-only folder) the holder holds nothing: the write that follows
// then fails on its own, with its own message.
class TFileLock {
public:
    explicit TFileLock(const std::string& fileName, bool createFolders = false);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    bool Held() const { return FFd >= 0; }

private:
    int FFd = -1;
};

// The folder part of a path, without the trailing slash ("." for a bare name, "/" for the root).
std::string U_DirName(const std::string& path);

} // namespace trovalen
