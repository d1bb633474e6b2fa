#include "util/FileIO.h"

#include "util/Util.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalen {

namespace {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Creates the folder and its missing parents with mode 0700.
bool MakeFolders(const std::string& folder, std::string& error) {
    if (folder.empty() || folder == "/" || folder == ".")
        return true;
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        error = folder + ": " + ErrnoText(ENOTDIR);
        return false;
    }
    if (!MakeFolders(U_DirName(folder), error))
        return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = folder + ": " + ErrnoText(errno);
        return false;
    }
    return true;
}

bool WriteAll(int fd, std::string_view content) {
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// The process's umask, read without changing it.
mode_t CurrentUmask() {
    std::string status, error;
    if (U_ReadFile("/proc/self/status", status, error)) {
        size_t at = status.find("\nUmask:");
        if (at != std::string::npos)
            return static_cast<mode_t>(std::strtoul(status.c_str() + at + 7, nullptr, 8) & 0777);
    }
    return 022;
}

// The folder is ours alone: a real folder (not a link), owned by us, closed to everyone else.
bool IsPrivateFolder(const std::string& folder, std::string& error) {
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0) {
        error = folder + ": " + ErrnoText(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = folder + ": not a folder";
        return false;
    }
    if (st.st_uid != geteuid()) {
        error = folder + ": belongs to another user";
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        error = folder + ": open to other users";
        return false;
    }
    return true;
}

std::string MakePrivateFolder(const std::string& folder, std::string& error) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = folder + ": " + ErrnoText(errno);
        return std::string();
    }
    if (!IsPrivateFolder(folder, error))
        return std::string();
    return folder;
}

// Writes into a target that is not a regular file (a device such as /dev/stdout, a pipe): it
// cannot be replaced by renaming, and must not be, so it is written where it is.
bool WriteInPlace(const std::string& target, std::string_view content, std::string& error) {
    int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = ErrnoText(errno);
        return false;
    }
    bool ok = WriteAll(fd, content);
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok)
        error = ErrnoText(saved);
    return ok;
}

} // namespace

std::string U_DirName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

TFileLock::TFileLock(const std::string& fileName, bool createFolders) {
    std::string error;
    if (createFolders && !MakeFolders(U_DirName(fileName), error))
        return;
    std::string lockName = fileName + ".lock";
    FFd = open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (FFd < 0)
        return;
    int rc;
    do
        rc = flock(FFd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(FFd);
        FFd = -1;
    }
}

TFileLock::~TFileLock() {
    if (FFd >= 0)
        close(FFd); // closing the descriptor releases the lock
}

bool U_WriteFileAtomic(const std::string& fileName, std::string_view content, std::string& error,
                       const TWriteOptions& options) {
    error.clear();
    if (fileName.empty()) {
        error = "no file name";
        return false;
    }
    std::string target = fileName;
    struct stat st {};
    bool exists = false;
    bool linked = lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (linked) {
        // Replace what the link points to, never the link itself.
        char resolved[PATH_MAX];
        if (realpath(target.c_str(), resolved) != nullptr) {
            target = resolved;
        } else if (options.OwnRegularFileOnly) {
            error = "a symbolic link to nothing (" + ErrnoText(errno) + ")";
            return false;
        }
    }
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = linked ? "a symbolic link to a folder" : ErrnoText(EISDIR);
            return false;
        }
        if (options.OwnRegularFileOnly && !S_ISREG(st.st_mode)) {
            error = linked ? "a symbolic link to something other than a regular file"
                           : "not a regular file";
            return false;
        }
        if (options.OwnRegularFileOnly && linked && st.st_uid != geteuid()) {
            error = "a symbolic link to a file of another user";
            return false;
        }
        if (!S_ISREG(st.st_mode))
            return WriteInPlace(target, content, error);
        exists = true;
    }
    std::string folder = U_DirName(target);
    if (options.CreateFolders && !MakeFolders(folder, error))
        return false;

    std::string base = target.substr(target.find_last_of('/') + 1);
    std::string temp = (folder == "/" ? std::string() : folder) + "/." + base + ".XXXXXX";
    if (target.find('/') == std::string::npos)
        temp = "." + base + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = ErrnoText(errno);
        return false;
    }
    bool ok = true;
    if (exists && fchmod(fd, st.st_mode & 07777) != 0)
        ok = false;
    if (!exists && !options.PrivateNewFile && fchmod(fd, 0666 & ~CurrentUmask()) != 0)
        ok = false;
    if (ok && !WriteAll(fd, content))
        ok = false;
    if (ok && options.Durable && fsync(fd) != 0)
        ok = false;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        error = ErrnoText(saved);
        return false;
    }
    return true;
}

bool U_ReadFile(const std::string& fileName, std::string& content, std::string& error) {
    content.clear();
    error.clear();
    int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            error = ErrnoText(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        error = ErrnoText(EISDIR);
        return false;
    }
    // Sized up front: growing by doubling would hold up to twice a large file's size.
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        content.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = ErrnoText(errno);
            close(fd);
            content.clear();
            return false;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

std::string U_PrivateTempDir(std::string& error) {
    error.clear();
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/') {
        std::string ignored;
        if (IsPrivateFolder(U_WithoutTrailingSlash(run), ignored)) {
            std::string folder =
                MakePrivateFolder(U_WithoutTrailingSlash(run) + "/trovalen-tmp", error);
            if (!folder.empty())
                return folder;
        }
    }
    std::string base = "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp == '/')
        base = U_WithoutTrailingSlash(tmp);
    // A TMPDIR of "/" (or "//") puts the folder right below the root.
    if (base == "/")
        base.clear();
    std::string folder = base + "/trovalen-" + std::to_string(geteuid());
    return MakePrivateFolder(folder, error);
}

std::string U_CreatePrivateTempFile(const std::string& prefix, const std::string& suffix,
                                    std::string& error) {
    std::string folder = U_PrivateTempDir(error);
    if (folder.empty())
        return std::string();
    std::string path = folder + "/" + prefix + "XXXXXX" + suffix;
    int fd = mkstemps(path.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        error = path + ": " + ErrnoText(errno);
        return std::string();
    }
    close(fd);
    return path;
}

} // namespace trovalen
