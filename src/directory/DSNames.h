// Object names (typeless, dotted, absolute with a leading dot) and file-system paths on NetWare
// volumes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// One start path on a NetWare volume, split for the client.
struct TNWPath {
    NWHandle ConnHandle = NO_CONNECTION;
    int32_t ConnRef = 0;
    std::string Path;        // as selected, short form
    std::string DisplayPath; // long display form
    std::string Tree;
    std::string Server;
    std::string Volume;
    std::string DirPath; // inside the volume, as the client returns it
    NWHandle Context = 0;
};

bool U_IsSpecialName(const std::string& name);
std::string U_DSDotName(const std::string& name);
std::string U_DSUndotName(const std::string& name);
std::string U_DSTypelessName(const std::string& name);
std::string U_DSAbbreviateName(TNWClient* client, NWHandle ctx, const std::string& name);
std::string U_DSCombineName(const std::string& base, const std::string& name);
// A name as a client hands it out under a name context (typeless: relative, trailing dots
// climbing from the name context, or complete with a leading dot) made complete, without a
// leading dot; "[Root]" stays. nameContext is typeless, "[Root]" or empty for the top.
std::string U_DSCompleteName(const std::string& nameContext, const std::string& name);
std::string U_DSFullName(TNWClient* client, NWHandle ctx, const std::string& name);

// Fills ConnHandle, Server, Volume and DirPath; changes nothing on failure.
NWCCODE U_PathToNWPath(TNWClient* client, const std::string& path, TNWPath& nwPath);
std::string U_PathToUNC(TNWClient* client, const std::string& path);
// The kinds of text U_NWListDirEntries lists.
constexpr int LDE_VOLUME_PATHS = 0;   // VOLUME:DIR\ENTRY
constexpr int LDE_FULL_TEXTS = 1;     // the entry's full UNC text
constexpr int LDE_RELATIVE_NAMES = 2; // names relative to the listed directory
// kind: one of LDE_*; mode: the U_ConvertPath mode of the entry texts.
NWCCODE U_NWListDirEntries(TNWClient* client, const std::string& path, uint32_t attrMask,
                           const std::string& pattern, TStringList& list, int kind, int mode);
std::string U_NetAddressText(uint32_t type, const std::string& address, bool withType);
// The NUL-terminated UTF-16LE string that starts at offset of data, as UTF-8. Stops at the end of
// data; an offset past the end gives an empty text; unpaired surrogates become U+FFFD.
std::string U_WideToStr(std::string_view data, size_t offset);

} // namespace trovalen
