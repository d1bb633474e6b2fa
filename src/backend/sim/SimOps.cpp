#include "backend/sim/SimOps.h"

#include <array>
#include <utility>

namespace trovalen::sim {

namespace {

struct TOpName {
    TSimOp Op;
    std::string_view Name;
};

constexpr TOpName kOpNames[] = {
    {TSimOp::NewContext, "NewContext"},
    {TSimOp::CopyContext, "CopyContext"},
    {TSimOp::SetContextValue, "SetContextValue"},
    {TSimOp::GetContextValue, "GetContextValue"},
    {TSimOp::CurrentUserDN, "CurrentUserDN"},
    {TSimOp::AbbreviateName, "AbbreviateName"},
    {TSimOp::MapIDToName, "MapIDToName"},
    {TSimOp::ServerDN, "ServerDN"},
    {TSimOp::ReadObjectSummary, "ReadObjectSummary"},
    {TSimOp::ReadObjectItems, "ReadObjectItems"},
    {TSimOp::AllocBuf, "AllocBuf"},
    {TSimOp::ReadAttributes, "ReadAttributes"},
    {TSimOp::OpenAttrStream, "OpenAttrStream"},
    {TSimOp::ReadStream, "ReadStream"},
    {TSimOp::ListSubordinates, "ListSubordinates"},
    {TSimOp::ListContainers, "ListContainers"},
    {TSimOp::ReadClassDefs, "ReadClassDefs"},
    {TSimOp::AttrSyntax, "AttrSyntax"},
    {TSimOp::PutFilter, "PutFilter"},
    {TSimOp::SearchObjects, "SearchObjects"},
    {TSimOp::EntryEffectiveRights, "EntryEffectiveRights"},
    {TSimOp::EnumConnRefs, "EnumConnRefs"},
    {TSimOp::PrimaryConnRef, "PrimaryConnRef"},
    {TSimOp::OpenConnByRef, "OpenConnByRef"},
    {TSimOp::ConnRefInfo, "ConnRefInfo"},
    {TSimOp::ConnInfo, "ConnInfo"},
    {TSimOp::ParsePath, "ParsePath"},
    {TSimOp::VolumeNumber, "VolumeNumber"},
    {TSimOp::VolumeInfo, "VolumeInfo"},
    {TSimOp::BinderyObjectName, "BinderyObjectName"},
    {TSimOp::PathTrustees, "PathTrustees"},
    {TSimOp::DirEntryInfo, "DirEntryInfo"},
    {TSimOp::StartDirSearch, "StartDirSearch"},
    {TSimOp::NextDirEntry, "NextDirEntry"},
    {TSimOp::InitBuf, "InitBuf"},
    {TSimOp::ObjectCount, "ObjectCount"},
    {TSimOp::NextObject, "NextObject"},
    {TSimOp::NextAttr, "NextAttr"},
    {TSimOp::NextAttrValue, "NextAttrValue"},
    {TSimOp::AddFilterToken, "AddFilterToken"},
};

// The table holds every operation once, at the place of its enum value, so that an operation
// added to the enum without a name fails the build.
constexpr bool TableInEnumOrder() {
    for (size_t i = 0; i < std::size(kOpNames); ++i)
        if (static_cast<size_t>(kOpNames[i].Op) != i || kOpNames[i].Name.empty())
            return false;
    return std::size(kOpNames) == static_cast<size_t>(TSimOp::AddFilterToken) + 1;
}
static_assert(TableInEnumOrder(), "kOpNames names every TSimOp once, in the enum's order");

constexpr auto kAllOps = [] {
    std::array<TSimOp, std::size(kOpNames)> ops{};
    for (size_t i = 0; i < ops.size(); ++i)
        ops[i] = kOpNames[i].Op;
    return ops;
}();

} // namespace

std::span<const TSimOp> AllSimOps() {
    return kAllOps;
}

std::string_view SimOpName(TSimOp op) {
    return kOpNames[static_cast<size_t>(op)].Name;
}

std::optional<TSimOp> SimOpByName(std::string_view name) {
    for (const TOpName& entry : kOpNames)
        if (entry.Name == name)
            return entry.Op;
    return std::nullopt;
}

std::string SimOpNames() {
    std::string list;
    for (const TOpName& entry : kOpNames)
        list += std::string(list.empty() ? "" : ", ") + std::string(entry.Name);
    return list;
}

} // namespace trovalen::sim
