#include "directory/DSNames.h"

#include "directory/DSContext.h"
#include "model/NameForm.h"
#include "model/RightsModel.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

NWCCODE NoClient() {
    return ERR_CLIENT_NOT_STARTED;
}

} // namespace

std::string U_WideToStr(std::string_view data, size_t offset) {
    std::string out;
    size_t i = offset;
    auto unit = [&](size_t at) {
        return static_cast<uint16_t>(static_cast<uint8_t>(data[at]) |
                                     (static_cast<uint8_t>(data[at + 1]) << 8));
    };
    while (i < data.size() && data.size() - i >= 2) {
        uint16_t u = unit(i);
        i += 2;
        if (u == 0)
            break;
        uint32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            uint16_t low = data.size() - i >= 2 ? unit(i) : 0;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                cp = 0xFFFD;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

bool U_IsSpecialName(const std::string& name) {
    return name == kRoot || name == "[This]" || name == "[Public]" || name == "[Supervisor]";
}

std::string U_DSDotName(const std::string& name) {
    if (name.empty() || name[0] == '.' || U_IsSpecialName(name))
        return name;
    return "." + name;
}

std::string U_DSUndotName(const std::string& name) {
    if (!name.empty() && name[0] == '.')
        return name.substr(1);
    return name;
}

std::string U_DSTypelessName(const std::string& name) {
    std::string s = name;
    U_Replace(s, ",o", ".o", false, true);
    U_Replace(s, ",c", ".c", false, true);
    U_Replace(s, ",", ".", false, true);
    U_Replace(s, "ou=", "", false, true);
    U_Replace(s, "cn=", "", false, true);
    U_Replace(s, "o=", "", false, true);
    return s;
}

std::string U_DSAbbreviateName(TNWClient* client, NWHandle ctx, const std::string& name) {
    std::string out;
    if (client == nullptr || client->AbbreviateName(ctx, name, out) != NW_OK)
        return name;
    return out;
}

std::string U_DSCombineName(const std::string& base, const std::string& name) {
    if (name.empty() || name == ".")
        return base;
    if (name == ".." || name == "[ .. ]") {
        std::string parent = U_TrimLeftChars(base, ".");
        size_t dot = U_FindNameDot(parent);
        if (dot == std::string::npos)
            return std::string(kRoot);
        return parent.substr(dot + 1);
    }
    if (base == kRoot || base.empty() || name[0] == '.')
        return U_DSDotName(name);
    if (base[0] == '.')
        return "." + name + base;
    return name + "." + base;
}

std::string U_DSFullName(TNWClient* client, NWHandle ctx, const std::string& name) {
    return U_DSCombineName(U_DSGetNameContext(client, ctx), name);
}

NWCCODE U_PathToNWPath(TNWClient* client, const std::string& path, TNWPath& nwPath) {
    if (client == nullptr)
        return NoClient();
    // No file system takes a NUL inside a name: every call below would see the path cut short.
    if (path.find('\0') != std::string::npos)
        return ERR_INVALID_PATH;
    std::string server;
    std::string volume;
    std::string dirPath;
    NWHandle conn = NO_CONNECTION;
    TNWFileServer* fs = client->FileServer();
    if (fs == nullptr)
        return ERR_NO_FILE_SERVER;
    NWCCODE code = fs->ParsePath(path, server, conn, volume, dirPath);
    if (code != NW_OK)
        return code;
    nwPath.ConnHandle = conn;
    nwPath.Server = server;
    nwPath.DirPath = dirPath;
    nwPath.Volume = volume;
    return NW_OK;
}

std::string U_PathToUNC(TNWClient* client, const std::string& path) {
    TNWPath nw;
    if (U_PathToNWPath(client, path, nw) != NW_OK)
        return path;
    return U_Format("\\\\%s\\%s%s", U_OemToText(nw.Server).c_str(), U_OemToText(nw.Volume).c_str(),
                    U_WithPrefix(U_OemToText(nw.DirPath), "\\").c_str());
}

NWCCODE U_NWListDirEntries(TNWClient* client, const std::string& path, uint32_t attrMask,
                           const std::string& pattern, TStringList& list, int kind, int mode) {
    if (client == nullptr)
        return NoClient();
    TNWPath dir;
    NWCCODE code = U_PathToNWPath(client, U_ConvertPath(path, PATH_SHORT_FORM), dir);
    if (code != NW_OK)
        return code;
    std::string volPath = U_Format("%s:%s", dir.Volume.c_str(), dir.DirPath.c_str());
    // The entries' UNC texts; a volume root has no directory part, so no separator is doubled.
    std::string inner = U_TrimLeftChars(U_OemToText(dir.DirPath), "\\");
    std::string unc =
        U_Format("\\\\%s\\%s", U_OemToText(dir.Server).c_str(), U_OemToText(dir.Volume).c_str());
    if (!inner.empty())
        unc += "\\" + inner;
    std::string base = U_ConvertPath(unc, mode);

    uint8_t searchDir = 0;
    uint16_t dirNumber = 0;
    // A path parsed means a file-server part to ask.
    TNWFileServer* fs = client->FileServer();
    code = fs->StartDirSearch(dir.ConnHandle, 0, volPath, searchDir, dirNumber);
    uint16_t sequence = 0xFFFF;
    // One pass can never hold more entries than there are sequence numbers; this also ends the
    // walk when a client keeps answering the same entry.
    for (uint32_t taken = 0; code == NW_OK && taken <= 0xFFFF; ++taken) {
        TDirEntry entry;
        code = fs->NextDirEntry(dir.ConnHandle, searchDir, dirNumber, sequence, attrMask, pattern,
                                entry);
        if (code != NW_OK)
            break;
        U_ProcessMessages();
        if (taken > 0 && entry.Sequence == sequence)
            break;
        sequence = entry.Sequence;
        std::string name = U_OemToText(entry.Name);
        std::string text = U_ConvertPath(base + "\\" + name, mode);
        switch (kind) {
        case 0: {
            TNWPath sub;
            if (U_PathToNWPath(client, text, sub) != NW_OK)
                continue;
            list.Add(U_Format("%s:%s", sub.Volume.c_str(), sub.DirPath.c_str()));
            break;
        }
        case 2:
            if (!base.empty() && text.size() > base.size() &&
                U_SameText(std::string_view(text).substr(0, base.size()), base) &&
                text[base.size()] == '\\')
                list.Add(text.substr(base.size() + 1));
            else
                list.Add(name);
            break;
        default:
            list.Add(text);
            break;
        }
    }
    // The end of the directory is the normal end of the walk.
    if (code == ERR_NO_MORE_ENTRIES || (code & 0xFFFF) == 0xFFFF)
        return NW_OK;
    return code;
}

std::string U_NetAddressText(uint32_t type, const std::string& address, bool withType) {
    if (address.empty())
        return std::string();
    auto b = [&](size_t i) { return static_cast<unsigned>(static_cast<uint8_t>(address[i])); };
    std::string prefix = U_Format("(%u) ", type);
    std::string text;
    bool typed = false; // the type is already part of the text
    switch (type) {
    case 0:
        text = U_Format(
            "%s:%s", U_HexOf(std::string_view(address).substr(0, 4)).c_str(),
            U_HexOf(std::string_view(address).substr(std::min<size_t>(4, address.size()), 6))
                .c_str());
        break;
    case 1:
    case 7:
    case 10:
    case 11:
        if (address.size() >= 6)
            text = U_Format("%u.%u.%u.%u:%u", b(0), b(1), b(2), b(3), (b(4) << 8) | b(5));
        else
            text = "[" + U_HexOf(address) + "]";
        break;
    case 8:
    case 9:
        if (address.size() >= 6)
            text = U_Format("%u.%u.%u.%u:%u", b(2), b(3), b(4), b(5), (b(0) << 8) | b(1));
        else
            text = "[" + U_HexOf(address) + "]";
        break;
    case 13:
        text = U_WideToStr(address, 0);
        break;
    default:
        text = prefix + "[" + U_HexOf(std::string_view(address).substr(0, 12)) + "]";
        typed = true;
        break;
    }
    if (withType && !typed)
        text = prefix + text;
    return text;
}

std::string U_DSCompleteName(const std::string& nameContext, const std::string& name) {
    if (name.empty() || name[0] == '[')
        return name;
    std::string full;
    return U_CompleteName(name, U_DSUndotName(nameContext), true, full) ? full : name;
}

} // namespace trovalen
