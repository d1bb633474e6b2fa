// The simulated client's life: start-up, handles, injected failures and error texts.
#include "backend/sim/SimClient.h"

#include "backend/sim/SimInternal.h"
#include "util/Util.h"

#include <iterator>

namespace trovalen {

using namespace sim;

TSimClient::TSimClient(std::shared_ptr<const TSimWorld> world)
    : FWorld(std::move(world)), FRightsMemo(std::make_unique<TRightsMemo>()) {
    FConnections = MakeConnections(*FWorld);
    FPathConns.assign(FWorld->Conns.size(), 0);
    FFailureCalls.assign(FWorld->Failures.size(), 0);
}

TSimClient::~TSimClient() = default;

bool TSimClient::Injected(TSimOp op, const TSel& sel, NWCCODE& code) const {
    for (const TSimFailure& f : FWorld->Failures) {
        if (f.Operation != op)
            continue;
        if (!f.Tree.empty() &&
            (sel.Tree < 0 || U_LowerCase(FWorld->Trees[sel.Tree].Name) != f.Tree))
            continue;
        if (!f.Object.empty() &&
            (sel.Tree < 0 || sel.Object < 0 ||
             U_LowerCase(FWorld->Trees[sel.Tree].Objects[sel.Object].FullName) != f.Object))
            continue;
        if (!f.Attribute.empty() && (sel.Attr == nullptr || U_LowerCase(*sel.Attr) != f.Attribute))
            continue;
        if (!f.Server.empty() &&
            (sel.Server < 0 || U_LowerCase(FWorld->Servers[sel.Server].Name) != f.Server))
            continue;
        if (!f.Path.empty() && U_LowerCase(sel.Path) != f.Path)
            continue;
        if (f.HasId && (!sel.HasId || sel.Id != f.Id))
            continue;
        uint32_t calls = ++FFailureCalls[static_cast<size_t>(&f - FWorld->Failures.data())];
        if (f.Call != 0 && calls != f.Call)
            continue;
        code = f.Code;
        return true;
    }
    return false;
}

bool TSimClient::PlantedAgain(const TIter& it, NWCCODE& code) {
    static constexpr TSimOp kOps[] = {TSimOp::ReadAttributes, TSimOp::ListSubordinates,
                                      TSimOp::ListContainers, TSimOp::ReadClassDefs,
                                      TSimOp::SearchObjects};
    TSimOp op = kOps[static_cast<size_t>(it.Op)];
    TSel sel{it.Tree, it.Object};
    if (it.Names.empty())
        return Injected(op, sel, code);
    for (const std::string& attr : it.Names) {
        sel.Attr = &attr;
        if (Injected(op, sel, code))
            return true;
    }
    return false;
}

bool TSimClient::Planted(backend::TStep step, const backend::TStepOn& on, NWCCODE& code) {
    using backend::TStep;
    static constexpr TSimOp kOps[] = {
        TSimOp::NewContext,      TSimOp::CopyContext,  TSimOp::GetContextValue,
        TSimOp::SetContextValue, TSimOp::AllocBuf,     TSimOp::InitBuf,
        TSimOp::ObjectCount,     TSimOp::NextObject,   TSimOp::NextAttr,
        TSimOp::NextAttrValue,   TSimOp::ReadStream,   TSimOp::AddFilterToken,
        TSimOp::PutFilter,       TSimOp::EnumConnRefs, TSimOp::PrimaryConnRef,
        TSimOp::OpenConnByRef,   TSimOp::ConnRefInfo,  TSimOp::ConnInfo};
    static_assert(std::size(kOps) == static_cast<size_t>(TStep::ConnInfo) + 1);
    TSel sel{on.Tree, on.Object};
    sel.Attr = on.Attr;
    sel.Server = on.Server;
    return Injected(kOps[static_cast<size_t>(step)], sel, code);
}

bool TSimClient::Injected(TSimOp op, NWCCODE& code) const {
    return Injected(op, TSel{}, code);
}

NWCCODE TSimClient::ClientStartup() {
    if (FWorld->StartupCode != 0)
        return FWorld->StartupCode;
    if (!FStarted) {
        FStarted = true;
        Mount();
    }
    return NW_OK;
}

std::string TSimClient::ErrorText(NWCCODE code) {
    switch (code & 0xFFFF) {
    case 0:
        return "Success";
    case 0xFFFF:
        return "No more entries, or the request could not be carried out";
    case 30:
        return "The stream could not be read";
    case ERR_RIGHTS_NOT_COMPUTED & 0xFFFF:
        return kRightsNotComputedText;
    case 0xFDA7:
        return "No such entry";
    case 0xFDA6:
        return "No such value";
    case 0xFDA5:
        return "No such attribute";
    case 0xFDA4:
        return "No such class";
    case 0xFD9D:
        return "Not a container";
    case 0xFD60:
        return "No access";
    case 0xFEBE:
        return "Invalid handle";
    case 0xFED0:
        return "Buffer full";
    case 0xFECD:
        return "Buffer empty";
    case 0xFECC:
        return "Bad request";
    case 0xFEC6:
        return "Invalid object name";
    case 0xFEB8:
        return "Context creation failed";
    case 0xFEBA:
        return "Invalid filter";
    case 0xFD42:
        return "Value not convertible for its syntax";
    case 0xFD91:
        return "Syntax not usable in a filter";
    case 0xFF64:
        return "Directory or object does not exist";
    case 0xFD63:
        return "Not authenticated";
    case 0x880F:
        return "No connection to the server";
    case 0x8801:
        return "Invalid connection";
    case 0x899C:
        return "Invalid path, or no more trustees";
    case 0x89FF:
        return "No more entries";
    case 0x8998:
        return "Volume does not exist";
    case 0x89FC:
        return "No such object";
    default:
        return "Unknown error";
    }
}

} // namespace trovalen
