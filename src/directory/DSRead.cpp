#include "directory/DSRead.h"

#include <algorithm>

#include "directory/DSContext.h"
#include "directory/DSHandles.h"
#include "directory/DSNames.h"
#include "directory/DSValues.h"
#include "model/RightsModel.h"
#include "util/Platform.h"
#include "util/Util.h"

namespace trovalen {

namespace {

constexpr uint32_t kTrusteesPerCall = 20;
// Subtrees deeper than this are not followed: no directory nests that far, and a loop through
// the tree (an alias that points up) must not run the stack out.
constexpr int kMaxTreeDepth = 128;

// Fetches the next batch of a running list.
NWCCODE FetchBatch(TNWClient* client, TNDSObj& obj) {
    NWCCODE code = obj.ContainersOnly ? client->ListContainers(obj.Context.Handle, obj.Container,
                                                               obj.Iteration, obj.Buffer.Handle)
                                      : client->ListSubordinates(obj.Context.Handle, obj.Container,
                                                                 obj.Iteration, obj.Buffer.Handle);
    obj.Count = 0;
    obj.Taken = 0;
    if (code != NW_OK)
        return code;
    uint32_t count = 0;
    code = client->ObjectCount(obj.Context.Handle, obj.Buffer.Handle, count);
    if (code != NW_OK)
        return code;
    obj.Count = static_cast<int32_t>(std::min<uint32_t>(count, 0x7FFFFFFF));
    return NW_OK;
}

// Fetches until a batch holds objects or the list has nothing more.
NWCCODE FetchNonEmpty(TNWClient* client, TNDSObj& obj) {
    NWCCODE code = FetchBatch(client, obj);
    while (code == NW_OK && obj.Count == 0 && obj.Iteration != -1)
        code = FetchBatch(client, obj);
    return code;
}

// Takes the next object out of the list's buffer.
NWCCODE TakeObject(TNWClient* client, TNDSObj& obj) {
    obj.Name.clear();
    obj.Summary = TObjectSummary{};
    if (obj.Count < 1)
        return NW_OK;
    std::string name;
    uint32_t attrCount = 0;
    NWCCODE code =
        client->NextObject(obj.Context.Handle, obj.Buffer.Handle, name, attrCount, obj.Summary);
    if (code == NW_OK)
        obj.Name = name;
    obj.AttrCount = static_cast<int32_t>(attrCount);
    obj.Taken += 1;
    return code;
}

void ListTreeLevel(TNWClient* client, NWHandle ctx, const std::string& base, TStringList& list,
                   bool recursive, bool withClass, const std::string& classFilter, int kind,
                   int depth, NWCCODE& code) {
    TNDSObj obj;
    code = U_DSListFirst(client, ctx, base, kind == 1, obj);
    while (code == NW_OK && obj.Count > 0) {
        U_ProcessMessages();
        bool container = (obj.Summary.Flags & DS_CONTAINER_ENTRY) != 0;
        bool taken = !(kind == 1 && !container) && !(kind == 2 && container) &&
                     U_DSClassMatches(classFilter, obj.Summary.ClassName);
        std::string full = U_DSCombineName(base, obj.Name);
        if (taken && !obj.Name.empty()) {
            std::string prefix = withClass ? obj.Summary.ClassName + ": " : std::string();
            list.Add(prefix + full, static_cast<uint32_t>(prefix.size()));
        }
        // An alias is listed, never followed: it may point back up the tree.
        if (recursive && container && !obj.Name.empty() &&
            (obj.Summary.Flags & DS_ALIAS_ENTRY) == 0 && depth < kMaxTreeDepth) {
            NWCCODE inner = NW_OK;
            ListTreeLevel(client, ctx, full, list, recursive, withClass, classFilter, kind,
                          depth + 1, inner);
        }
        code = U_DSListNext(obj);
    }
}

} // namespace

// --- TNDSObj
// --------------------------------------------------------------------------------------

// --- Information items -----------------------------------------------------------------------

NWCCODE U_DSGetObjectItem(TNWClient* client, NWHandle ctx, const std::string& name, uint32_t item,
                          std::string& text) {
    return TDSItemReader(client, ctx, item).Read(name, text);
}

TDSItemReader::TDSItemReader(TNWClient* client, NWHandle ctx, uint32_t item)
    : FClient(client), FContext(ctx), FItem(item) {}

NWCCODE TDSItemReader::Setup() {
    // Two copies: names are abbreviated in the caller's name context, and made complete against
    // it, so that items read at the top come back complete whatever that context is.
    FNames = TContextCopy(FClient, FContext);
    if (!FNames.Held)
        return FNames.Code;
    U_DSSetContextFlags(FClient, FNames.Handle, '+', DCV_CANONICALIZE_NAMES | DCV_TYPELESS_NAMES);
    FNameContext = U_DSGetNameContext(FClient, FNames.Handle);
    FItems = TContextCopy(FClient, FNames.Handle);
    if (!FItems.Held)
        return FItems.Code;
    uint32_t items = 0;
    NWCCODE code = FClient->SetContextValue(FItems.Handle, DCK_NAME_CONTEXT, std::string(kRoot));
    if (code == NW_OK)
        code = FClient->GetContextValue(FItems.Handle, DCK_DSI_FLAGS, items);
    if (code != NW_OK)
        return code;
    code = FClient->SetContextValue(FItems.Handle, DCK_DSI_FLAGS, items | FItem);
    if (code != NW_OK)
        return code;
    FBuf = TClientBuf(FClient, DEFAULT_MESSAGE_LEN);
    if (!FBuf.Held)
        return FBuf.Code;
    FReady = true;
    return NW_OK;
}

NWCCODE TDSItemReader::Read(const std::string& name, std::string& text) {
    text.clear();
    if (FClient == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    if (!FReady) {
        NWCCODE code = Setup();
        if (code != NW_OK)
            return code;
    }
    std::string n = U_DSDotName(
        U_DSCompleteName(FNameContext, U_DSAbbreviateName(FClient, FNames.Handle, name)));
    NWCCODE code = FClient->ReadObjectItems(FItems.Handle, n, DEFAULT_MESSAGE_LEN, FBuf.Handle);
    if (code != NW_OK)
        return code;
    TObjectItem out;
    code = FClient->ObjectItem(FItems.Handle, FBuf.Handle, 2 * DEFAULT_MESSAGE_LEN, FItem, out);
    if (code == NW_OK)
        text = out.Text;
    return code;
}

NWCCODE U_DSGetBaseClass(TNWClient* client, NWHandle ctx, const std::string& name,
                         std::string& text) {
    return U_DSGetObjectItem(client, ctx, name, DSI_BASE_CLASS, text);
}

NWCCODE U_DSGetRDN(TNWClient* client, NWHandle ctx, const std::string& name, std::string& text) {
    return U_DSGetObjectItem(client, ctx, name, DSI_RDN, text);
}

NWCCODE U_DSGetDN(TNWClient* client, NWHandle ctx, const std::string& name, std::string& text) {
    NWCCODE code = U_DSGetObjectItem(client, ctx, name, DSI_DN, text);
    text = U_DSDotName(text);
    return code;
}

NWCCODE U_DSGetParentDN(TNWClient* client, NWHandle ctx, const std::string& name,
                        std::string& text) {
    NWCCODE code = U_DSGetObjectItem(client, ctx, name, DSI_PARENT_DN, text);
    text = U_DSDotName(text);
    return code;
}

NWCCODE U_DSGetTimeItem(TNWClient* client, NWHandle ctx, const std::string& name, uint32_t item,
                        uint32_t& seconds) {
    seconds = 0;
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TContextCopy copy(client, ctx);
    if (!copy.Held)
        return copy.Code;
    NWCCODE code = client->SetContextValue(copy.Handle, DCK_DSI_FLAGS, item);
    if (code != NW_OK)
        return code;
    TClientBuf buf(client, DEFAULT_MESSAGE_LEN);
    if (!buf.Held)
        return buf.Code;
    code = client->ReadObjectItems(copy.Handle, name, DEFAULT_MESSAGE_LEN, buf.Handle);
    if (code != NW_OK)
        return code;
    TObjectItem out;
    code = client->ObjectItem(copy.Handle, buf.Handle, DEFAULT_MESSAGE_LEN, item, out);
    if (code == NW_OK)
        seconds = out.Number;
    return code;
}

double U_DSGetCreationTime(TNWClient* client, NWHandle ctx, const std::string& name) {
    uint32_t seconds = 0;
    if (U_DSGetTimeItem(client, ctx, name, DSI_CREATION_TIME, seconds) != NW_OK || seconds == 0)
        return 0;
    return U_UnixToDateTime(seconds);
}

double U_DSGetModificationTime(TNWClient* client, NWHandle ctx, const std::string& name) {
    uint32_t seconds = 0;
    if (U_DSGetTimeItem(client, ctx, name, DSI_MODIFICATION_TIME, seconds) != NW_OK || seconds == 0)
        return 0;
    return U_UnixToDateTime(seconds);
}

// --- One object --------------------------------------------------------------------------------

NWCCODE U_DSReadObject(TNWClient* client, NWHandle ctx, const std::string& name, TNDSObj& obj) {
    obj.Summary = TObjectSummary{};
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    std::string dn;
    TObjectSummary summary;
    NWCCODE code = client->ReadObjectSummary(ctx, name, dn, summary);
    if (code != NW_OK)
        return code;
    obj.Summary = summary;
    if (obj.BaseClass.empty())
        obj.BaseClass = obj.Summary.ClassName;
    obj.Name = dn;
    return NW_OK;
}

bool U_DSObjectExists(TNWClient* client, NWHandle ctx, const std::string& name, TNDSObj& obj,
                      NWCCODE* code) {
    obj.Name.clear();
    NWCCODE c = U_DSReadObject(client, ctx, name, obj);
    if (code != nullptr)
        *code = c;
    return c == NW_OK && !obj.Name.empty();
}

bool U_DSIsContainer(TNWClient* client, NWHandle ctx, const std::string& name) {
    TNDSObj obj;
    if (U_DSReadObject(client, ctx, name, obj) != NW_OK)
        return false;
    return (obj.Summary.Flags & DS_CONTAINER_ENTRY) != 0;
}

bool U_DSIsLeaf(TNWClient* client, NWHandle ctx, const std::string& name) {
    return !U_DSIsContainer(client, ctx, name);
}

bool U_DSClassMatches(const std::string& filter, const std::string& className) {
    std::string f = U_SameText(filter, "ou") ? std::string("Organizational Unit") : filter;
    if (f.empty() || f == "*")
        return true;
    return U_SameText(f, className);
}

// --- Lists -----------------------------------------------------------------------------------

NWCCODE U_DSListFirst(TNWClient* client, NWHandle ctx, const std::string& container,
                      bool containersOnly, TNDSObj& obj) {
    obj.Release();
    obj = TNDSObj{};
    std::string dotted = U_DSDotName(container);
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    obj.Context = TContextCopy(client, ctx);
    if (!obj.Context.Held)
        return obj.Context.Code;
    obj.Client = client;
    NWHandle listCtx = obj.Context.Handle;
    U_DSSetContextFlags(client, listCtx, '+', DCV_CANONICALIZE_NAMES | DCV_TYPELESS_NAMES);
    client->SetContextValue(listCtx, DCK_CONFIDENCE, 0u);
    NWCCODE code = client->SetContextValue(listCtx, DCK_NAME_CONTEXT, U_DSUndotName(dotted));
    if (code != NW_OK) {
        obj.Release();
        return code;
    }
    obj.Buffer = TClientBuf(client, DEFAULT_MESSAGE_LEN);
    if (!obj.Buffer.Held) {
        obj.Release();
        return obj.Buffer.Code;
    }
    obj.Iteration = -1;
    obj.Container = dotted;
    obj.ContainersOnly = containersOnly;
    // An empty first batch with more to come is passed over, as later batches are, so that a
    // count of 0 after the first step always means an empty container.
    code = FetchNonEmpty(client, obj);
    if (code != NW_OK) {
        obj.Release();
        return code;
    }
    if (obj.Count > 0)
        return TakeObject(client, obj);
    return NW_OK;
}

NWCCODE U_DSListNext(TNDSObj& obj) {
    TNWClient* client = obj.Client;
    if (client == nullptr || !obj.Context.Held || !obj.Buffer.Held) {
        obj.Name.clear();
        return ERR_END_OF_LIST;
    }
    if (obj.Taken >= obj.Count) {
        U_ProcessMessages();
        if (obj.Iteration == -1) {
            obj.Release();
            obj.Name.clear();
            return ERR_END_OF_LIST;
        }
        NWCCODE code = FetchNonEmpty(client, obj);
        if (code != NW_OK) {
            obj.Name.clear();
            return code;
        }
        if (obj.Count == 0) {
            obj.Release();
            obj.Name.clear();
            return ERR_END_OF_LIST;
        }
    }
    U_ProcessMessages();
    return TakeObject(client, obj);
}

NWCCODE U_DSListContainer(TNWClient* client, NWHandle ctx, const std::string& container,
                          TStringList* containers, bool withClass, const std::string& classFilter,
                          TStringList* objects) {
    TBusyCursor busy;
    TNDSObj obj;
    NWCCODE code = U_DSListFirst(client, ctx, container, objects == nullptr, obj);
    while (code == NW_OK) {
        U_ProcessMessages();
        if (!obj.Name.empty()) {
            if (containers != nullptr && (obj.Summary.Flags & DS_CONTAINER_ENTRY) != 0)
                containers->Add(obj.Name);
            std::string prefix = withClass ? obj.Summary.ClassName + ": " : std::string();
            if (objects != nullptr && (classFilter.empty() || classFilter == obj.Summary.ClassName))
                objects->Add(prefix + obj.Name, static_cast<uint32_t>(prefix.size()));
        }
        code = U_DSListNext(obj);
    }
    return code == ERR_END_OF_LIST ? NW_OK : code;
}

NWCCODE U_DSListTree(TNWClient* client, NWHandle ctx, const std::string& container,
                     TStringList& list, bool recursive, bool withClass,
                     const std::string& classFilter, int kind) {
    TBusyCursor busy;
    // A relative container is taken against the context's name context, for the listing as well
    // as for the names it yields.
    std::string base =
        container == kRoot ? std::string(kRoot) : U_DSDotName(U_DSFullName(client, ctx, container));
    NWCCODE code = NW_OK;
    ListTreeLevel(client, ctx, base, list, recursive, withClass, classFilter, kind, 0, code);
    return code == ERR_END_OF_LIST ? NW_OK : code;
}

// --- Attributes --------------------------------------------------------------------------------

NWCCODE U_DSReadAttrValues(TNWClient* client, NWHandle ctx, const std::string& object,
                           const std::string& attr, const TAttrValueSink& sink) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TContextCopy copy(client, ctx);
    if (!copy.Held)
        return copy.Code;
    if (U_SameText(attr, "Aliased Object Name"))
        U_DSSetContextFlags(client, copy.Handle, '-', DCV_DEREF_ALIASES);

    TClientBuf request(client, DEFAULT_MESSAGE_LEN);
    if (!request.Held)
        return request.Code;
    NWCCODE code = client->InitBuf(copy.Handle, DSV_READ, request.Handle);
    if (code == NW_OK)
        code = client->PutAttrName(copy.Handle, request.Handle, attr);
    if (code != NW_OK)
        return code;
    TClientBuf result(client, MAX_MESSAGE_LEN);
    if (!result.Held)
        return result.Code;
    code = client->InitBuf(copy.Handle, DSV_READ, result.Handle);
    if (code != NW_OK)
        return code;

    int32_t iteration = -1;
    do {
        code = client->ReadAttributes(copy.Handle, object, 1, false, request.Handle, iteration,
                                      result.Handle);
        if (code != NW_OK)
            break;
        uint32_t attrCount = 0;
        code = client->AttrCount(copy.Handle, result.Handle, attrCount);
        for (uint32_t a = 0; code == NW_OK && a < attrCount; ++a) {
            std::string name;
            uint32_t valueCount = 0;
            uint32_t syntax = 0;
            code = client->NextAttr(copy.Handle, result.Handle, name, valueCount, syntax);
            if (code != NW_OK)
                break;
            // A stream's content is not in the buffer: the sink reads it through the context.
            if (syntax == SYN_STREAM) {
                code = sink(copy.Handle, syntax, nullptr, 0, 1);
                continue;
            }
            for (uint32_t i = 1; code == NW_OK && i <= valueCount; ++i) {
                uint32_t size = 0;
                code = client->AttrValueSize(copy.Handle, result.Handle, syntax, size);
                if (code != NW_OK)
                    break;
                TAttrValue value;
                code = client->NextAttrValue(copy.Handle, result.Handle, syntax, value);
                if (code != NW_OK)
                    break;
                code = sink(copy.Handle, syntax, &value, size, i);
            }
        }
    } while (code == NW_OK && iteration != -1);
    return code;
}

// --- Names of IDs and users ----------------------------------------------------------------------

NWCCODE U_DSMapIDToName(TNWClient* client, NWHandle ctx, NWHandle conn, uint32_t id,
                        std::string& name) {
    name.clear();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    std::string n;
    NWCCODE code = client->MapIDToName(ctx, conn, id, n);
    if (code == NW_OK)
        name = n;
    return code;
}

NWCCODE U_DSMapIDToNameOnConn(TNWClient* client, NWHandle conn, uint32_t id, std::string& name) {
    name.clear();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TNewContext ctx(client);
    if (!ctx.Held)
        return ctx.Code;
    NWCCODE code = U_DSSetTreeOfConn(client, ctx.Handle, conn);
    if (code == NW_OK)
        code = U_DSMapIDToName(client, ctx.Handle, conn, id, name);
    return code;
}

NWCCODE U_GetObjectNameByID(TNWClient* client, NWHandle conn, uint32_t id, std::string& name) {
    name.clear();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    NWCCODE code =
        U_IsDSConnection(client, conn) ? U_DSMapIDToNameOnConn(client, conn, id, name) : -1;
    if (code != NW_OK) {
        std::string n;
        uint16_t type = 0;
        TNWFileServer* fs = client->FileServer();
        code = fs != nullptr ? fs->BinderyObjectName(conn, id, n, type) : ERR_NO_FILE_SERVER;
        name = code == NW_OK ? n : std::string();
    }
    return code & 0xFFFF;
}

std::string U_GetConnUserName(TNWClient* client, NWHandle conn) {
    std::string text = "<not authenticated>";
    if (client == nullptr)
        return text;
    uint32_t id = 0;
    if (client->ConnInfo(conn, NWCC_INFO_USER_ID, id) != NW_OK || id == 0)
        return text;
    U_GetObjectNameByID(client, conn, id, text);
    return text;
}

std::string U_DSCurrentUser(TNWClient* client, NWHandle ctx) {
    if (client == nullptr)
        return std::string();
    std::string name;
    if (client->CurrentUserDN(ctx, name) != NW_OK)
        return std::string();
    return name;
}

std::string U_DSDefaultContext(TNWClient* client, NWHandle ctx) {
    std::string user = U_DSCurrentUser(client, ctx);
    std::string parent;
    if (!user.empty())
        U_DSGetParentDN(client, ctx, user, parent);
    return parent.empty() ? std::string(kRoot) : parent;
}

// --- Rights --------------------------------------------------------------------------------------

NWCCODE U_DSEntryRights(TNWClient* client, NWHandle ctx, const std::string& subject,
                        const std::string& object, const std::string& attr, std::string& letters,
                        uint32_t& rights) {
    letters = "[n/a]";
    rights = 0;
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    std::string a = attr.empty() ? std::string(kEntryRights) : attr;
    std::string s = subject.empty() ? U_DSCurrentUser(client, ctx) : subject;
    uint32_t r = 0;
    NWCCODE code = client->EntryEffectiveRights(ctx, s, object, a, r);
    if (code == NW_OK) {
        rights = r;
        letters = U_RightsToStr(r, U_RightsTypeOfAttr(a));
    }
    return code;
}

// --- File system ---------------------------------------------------------------------------------

NWCCODE U_NWGetTrustees(TNWClient* client, NWHandle ctx, NWHandle conn, const std::string& volPath,
                        TStringList& list) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TNWFileServer* fs = client->FileServer();
    if (fs == nullptr)
        return ERR_NO_FILE_SERVER;
    uint32_t iteration = 0;
    NWCCODE code = NW_OK;
    while (code == NW_OK) {
        std::vector<TTrusteeEntry> entries;
        code = fs->PathTrustees(conn, 0, volPath, iteration, entries);
        if (code != NW_OK)
            break;
        size_t n = std::min<size_t>(entries.size(), kTrusteesPerCall);
        for (size_t i = 0; i < n; ++i) {
            std::string name;
            if (U_DSMapIDToName(client, ctx, conn, entries[i].ObjectID, name) == NW_OK)
                list.Add(U_DSDotName(name), entries[i].Rights);
            else
                list.Add(U_Format("ID: [%08X]", entries[i].ObjectID), entries[i].Rights);
        }
    }
    return (code & 0xFFFF) == ERR_NO_MORE_TRUSTEES ? NW_OK : code;
}

NWCCODE U_NWGetDirEntryInfo(TNWClient* client, const std::string& path, TDirEntryInfo& info) {
    if (!U_DirExists(path))
        return ERR_NOT_FOUND;
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TNWPath nw;
    NWCCODE code = U_PathToNWPath(client, path, nw);
    if (code != NW_OK)
        return code;
    TDirEntryInfo out;
    // A path parsed means a file-server part to ask.
    code = client->FileServer()->DirEntryInfo(nw.ConnHandle, 0, nw.Volume + ":" + nw.DirPath, out);
    if (code == NW_OK)
        info = out;
    return code;
}

NWCCODE U_NWGetVolumeDN(TNWClient* client, NWHandle ctx, NWHandle conn, uint32_t volumeNumber,
                        std::string& name) {
    name.clear();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TNWFileServer* fs = client->FileServer();
    if (fs == nullptr)
        return ERR_NO_FILE_SERVER;
    TVolumeInfo info;
    NWCCODE code = fs->VolumeInfo(conn, volumeNumber, info);
    if (code != NW_OK)
        return code;
    return U_DSMapIDToName(client, ctx, conn, info.VolumeObjectID, name);
}

NWCCODE U_DSGetServerDN(TNWClient* client, NWHandle conn, NWHandle ctx, std::string& name) {
    name.clear();
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    std::string n;
    NWCCODE code = client->ServerDN(ctx, conn, n);
    if (code == NW_OK)
        name = n;
    return code;
}

NWCCODE U_DSListClasses(TNWClient* client, NWHandle ctx, TStringList& list) {
    if (client == nullptr)
        return ERR_CLIENT_NOT_STARTED;
    TClientBuf request(client, DEFAULT_MESSAGE_LEN);
    if (!request.Held)
        return request.Code;
    NWCCODE code = client->InitBuf(ctx, DSV_READ_CLASS_DEF, request.Handle);
    if (code != NW_OK)
        return code;
    TClientBuf result(client, DEFAULT_MESSAGE_LEN);
    if (!result.Held)
        return result.Code;
    int32_t iteration = -1;
    do {
        code = client->ReadClassDefs(ctx, 3, true, request.Handle, iteration, result.Handle);
        if (code != NW_OK)
            break;
        uint32_t count = 0;
        code = client->ClassDefCount(ctx, result.Handle, count);
        for (uint32_t i = 0; code == NW_OK && i < count; ++i) {
            TClassDef def;
            code = client->NextClassDef(ctx, result.Handle, def);
            if (code == NW_OK)
                list.Add(def.Name, def.Flags);
        }
    } while (code == NW_OK && iteration != -1);
    return code;
}

} // namespace trovalen
