// The operations of the simulated client whose answers a tree file can replace with an injected
// completion code (its "failures" name them), with the one table of their names.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace trovalen::sim {

enum class TSimOp {
    NewContext,
    CopyContext,
    SetContextValue,
    GetContextValue,
    CurrentUserDN,
    AbbreviateName,
    MapIDToName,
    ServerDN,
    ReadObjectSummary,
    ReadObjectItems,
    AllocBuf,
    ReadAttributes,
    OpenAttrStream,
    ReadStream,
    ListSubordinates,
    ListContainers,
    ReadClassDefs,
    AttrSyntax,
    PutFilter,
    SearchObjects,
    EntryEffectiveRights,
    EnumConnRefs,
    PrimaryConnRef,
    OpenConnByRef,
    ConnRefInfo,
    ConnInfo,
    ParsePath,
    VolumeNumber,
    VolumeInfo,
    BinderyObjectName,
    PathTrustees,
    DirEntryInfo,
    StartDirSearch,
    NextDirEntry,
    // Steps through a buffer a batched operation filled, and filter building.
    InitBuf,
    ObjectCount,
    NextObject,
    NextAttr,
    NextAttrValue,
    AddFilterToken,
};

// Every operation, in the order of the enum.
std::span<const TSimOp> AllSimOps();
// The name a tree file writes for op (the client operation's own name).
std::string_view SimOpName(TSimOp op);
// The operation a tree file names; none for a name that is no operation (names are exact).
std::optional<TSimOp> SimOpByName(std::string_view name);
// Every name, in the enum's order, separated by ", " (for messages).
std::string SimOpNames();

} // namespace trovalen::sim
