#include "util/Platform.h"

#include "util/Iconv.h"
#include "util/Util.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iostream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace trovalen {

// --- Command line -------------------------------------------------------------------------------

namespace {
struct TCommandLine {
    bool Set = false;
    std::vector<std::string> Parameters;
};
TCommandLine& CommandLine() {
    static TCommandLine cl;
    return cl;
}
} // namespace

void U_SetCommandLine(const std::vector<std::string>& parameters) {
    CommandLine().Parameters = parameters;
    CommandLine().Set = true;
}

const std::vector<std::string>& U_CommandLine() {
    auto& cl = CommandLine();
    if (!cl.Set) {
        cl.Set = true;
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find('\0', start);
            if (end == std::string::npos)
                end = all.size();
            args.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        if (!args.empty())
            args.erase(args.begin());
        cl.Parameters = std::move(args);
    }
    return cl.Parameters;
}

bool U_HasSwitch(const std::string& keyword, int minLength) {
    if (static_cast<int>(keyword.size()) < minLength)
        return false;
    std::string key = U_UpperCase(keyword);
    const auto& params = U_CommandLine();
    size_t n = std::min<size_t>(params.size(), 255);
    for (size_t i = 0; i < n; ++i) {
        std::string p = U_TrimLeftChars(params[i], "/\\");
        if (U_IsAbbrevOf(p, key, minLength))
            return true;
    }
    return false;
}

// --- Program file -------------------------------------------------------------------------------

namespace {
std::string& ProgramFileOverride() {
    static std::string path;
    return path;
}
bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

void U_SetProgramFile(const std::string& path) {
    ProgramFileOverride() = path;
}

std::string U_ProgramFile() {
    if (!ProgramFileOverride().empty())
        return ProgramFileOverride();
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return "trovalen";
    buf.resize(static_cast<size_t>(n));
    return buf;
}

std::string U_AppFileName(const std::string& extension) {
    return U_ChangeExt(U_ProgramFile(), extension);
}

std::string U_DataFileName(const std::string& fileName) {
    std::string program = U_ProgramFile();
    size_t slash = program.find_last_of('/');
    std::string beside =
        (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + fileName;
    if (FileExists(beside))
        return beside;
    // An installed program finds its data relative to itself (bin/../share/trovalen), so that an
    // installation unpacked under another prefix or root finds its own files first.
    std::string relative = program.substr(0, slash == std::string::npos ? 0 : slash + 1) +
                           "../share/trovalen/" + fileName;
    if (slash != std::string::npos && FileExists(relative))
        return relative;
#ifdef TROVALEN_DATA_DIR
    std::string installed = std::string(TROVALEN_DATA_DIR) + "/" + fileName;
    if (FileExists(installed))
        return installed;
#endif
    return beside;
}

// --- Folders and paths --------------------------------------------------------------------------

std::string U_MountRoot() {
    if (const char* m = std::getenv("TROVALEN_MOUNT"); m && *m)
        return U_WithoutTrailingSlash(m);
    if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r)
        return U_WithoutTrailingSlash(r) + "/trovalen";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/trovalen/mnt";
}

bool U_IsUncPath(const std::string& path) {
    return path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
           (path[1] == '\\' || path[1] == '/') && path[2] != '\\' && path[2] != '/';
}

static bool IsDir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of folder whose name equals name ignoring case; an exact match wins.
static std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
    if (IsDir(folder + "/" + name))
        return name;
    DIR* d = opendir(folder.c_str());
    if (d == nullptr)
        return std::nullopt;
    std::optional<std::string> found;
    while (dirent* e = readdir(d)) {
        std::string entry = e->d_name;
        if (entry != "." && entry != ".." && U_SameText(entry, name)) {
            found = entry;
            break;
        }
    }
    closedir(d);
    return found;
}

std::string U_UncToLocal(const std::string& uncPath) {
    if (!U_IsUncPath(uncPath))
        return std::string();
    std::string local = U_MountRoot();
    std::string rest = uncPath.substr(2);
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = rest.size();
        std::string comp = rest.substr(start, end - start);
        start = end + 1;
        if (comp.empty())
            continue;
        // A path never leaves the mount root.
        if (comp == "." || comp == ".." || comp.find('\0') != std::string::npos)
            return std::string();
        auto entry = FindEntry(local, comp);
        local += "/" + (entry ? *entry : comp);
    }
    return local;
}

std::optional<std::string> U_DisplayName(const std::string& path) {
    std::string local = U_IsUncPath(path) ? U_UncToLocal(path) : path;
    if (local.empty() || local.find('\\') != std::string::npos)
        return std::nullopt;
    struct stat st {};
    if (stat(local.c_str(), &st) != 0)
        return std::nullopt;
    std::string trimmed = local;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    size_t slash = trimmed.find_last_of('/');
    std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty())
        return std::nullopt;
    return name;
}

bool U_DirExists(const std::string& path) {
    if (path.empty())
        return false;
    if (U_IsUncPath(path)) {
        std::string local = U_UncToLocal(path);
        return !local.empty() && IsDir(local);
    }
    return IsDir(path);
}

static std::string LongForm(const std::string& path) {
    std::string p = U_WithoutTrailingSlash(path);
    std::string result = p;
    size_t cut = p.find_last_of("\\:");
    std::string dir = cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
    std::string name = cut == std::string::npos ? p : p.substr(cut + 1);
    if (name.empty() || dir == "\\\\")
        return result;
    if (!dir.empty() && dir.substr(1) != ":\\") {
        dir = LongForm(U_WithoutTrailingSlash(dir));
        result = U_JoinPath(dir, name);
    }
    if (!U_StartsWith(dir, "\\\\") ||
        (dir.size() > 2 && dir.substr(2).find('\\') != std::string::npos)) {
        if (auto display = U_DisplayName(result))
            result = U_JoinPath(dir, *display);
    }
    return result;
}

std::string U_ConvertPath(const std::string& path, int mode) {
    switch (mode) {
    case 0:
        // There are no short names here: the short form is the path itself.
        return path;
    case 4:
        // A plain local path is already in its long form.
        if (path.find('\\') == std::string::npos && U_StartsWith(path, "/"))
            return path;
        return LongForm(path);
    default:
        return std::string();
    }
}

// --- Code pages ---------------------------------------------------------------------------------

namespace {
std::mutex oemMutex;
std::string& OemName() {
    static std::string name = "CP850";
    return name;
}

// Converts with iconv; a character the target cannot hold becomes "?" (or the transliteration
// iconv offers), a byte that is not valid input becomes "?". Never cuts the text short.
std::string Iconv(const std::string& from, const std::string& to, std::string_view in) {
    TIconv cd(to + "//TRANSLIT", from);
    if (!cd.Ok())
        return std::string(in);
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        size_t r = iconv(cd.Get(), &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: skip one input byte and write a question mark.
        if (dstLeft < 1) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

// The first max characters of UTF-8 text (a character is a lead byte and its continuations).
std::string_view CutUtf8(std::string_view s, size_t max) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80) {
            if (chars == max)
                return s.substr(0, i);
            ++chars;
        }
    }
    return s;
}
} // namespace

bool U_SetOemCodePage(const std::string& name) {
    if (!TIconv::Knows("UTF-8", name))
        return false;
    std::lock_guard lock(oemMutex);
    OemName() = name;
    return true;
}

std::string U_OemCodePage() {
    std::lock_guard lock(oemMutex);
    return OemName();
}

std::string U_ConvertOem(std::string_view s, bool toOem) {
    std::string cp = U_OemCodePage();
    if (toOem)
        return Iconv("UTF-8", cp, CutUtf8(s, 511));
    return Iconv(cp, "UTF-8", s.substr(0, 511));
}

std::string U_OemToText(const std::string& name) {
    return U_IsValidUtf8(name) ? name : U_ConvertOem(name, false);
}

// --- Messages, busy cursor, text panes ----------------------------------------------------------

namespace {
TUiHooks& Hooks() {
    static TUiHooks hooks;
    return hooks;
}
} // namespace

std::string U_MsgKindCaption(TMsgKind kind) {
    switch (kind) {
    case TMsgKind::Warning:
        return "Warning";
    case TMsgKind::Error:
        return "Error";
    case TMsgKind::Information:
        return "Information";
    case TMsgKind::Confirmation:
        return "Confirm";
    }
    return "Message";
}

TUiHooks U_SetUiHooks(const TUiHooks& hooks) {
    TUiHooks previous = Hooks();
    Hooks() = hooks;
    return previous;
}

void U_MessageBox(TMsgKind kind, const std::string& text) {
    std::string caption = U_MsgKindCaption(kind);
    if (Hooks().MessageBox)
        Hooks().MessageBox(kind, caption, text);
    else
        std::cerr << caption << ": " << text << std::endl;
}

void U_ShowError(long code, const std::string& operation) {
    if (code == 0)
        return;
    U_MessageBox(TMsgKind::Error,
                 U_Format("Error %04X: %s", static_cast<unsigned>(code), operation.c_str()));
}

int U_BeginBusy() {
    return Hooks().BeginBusy ? Hooks().BeginBusy() : 0;
}

void U_ProcessMessages() {
    if (Hooks().ProcessEvents)
        Hooks().ProcessEvents();
}

void U_EndBusy(int cursor) {
    if (Hooks().EndBusy)
        Hooks().EndBusy(cursor);
}

void U_LoadMemo(TStringList& pane, const std::string& fileName) {
    pane.Add("Could not find " + fileName);
    if (!FileExists(fileName))
        return;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return;
    TStringList lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.Add(line);
    }
    if (in.bad())
        return;
    pane = std::move(lines);
}

void U_LoadMemoFromAppTxt(TStringList& pane) {
    U_LoadMemo(pane, U_DataFileName(U_ChangeExt(
                         U_ProgramFile().substr(U_ProgramFile().find_last_of('/') + 1), "txt")));
}

// --- Memory -------------------------------------------------------------------------------------

void U_TuneAllocatorForScans() {
#if defined(__GLIBC__)
    constexpr int kHeldFreeBytes = 1 << 30;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, kHeldFreeBytes);
#endif
}

} // namespace trovalen
