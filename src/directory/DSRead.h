// The read side of the directory layer: objects, information items, container and subtree
// lists, attributes with pseudo attributes and chains, names of IDs, effective rights, directory
// trustees and entries, volume and server objects, class lists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "directory/DSHandles.h"
#include "model/NWClient.h"
#include "util/StringList.h"

namespace trovalen {

// One directory object as a list step or a read returns it, and the state of a running list.
// A running list owns its context copy and result buffer; they are released when the list ends
// or, when the caller stops early, with the record.
struct TNDSObj {
    int32_t Iteration = -1;
    std::string Name;
    std::string Container;
    int32_t AttrCount = 0;
    int32_t Count = 0;
    int32_t Taken = 0;
    std::string Reserved;
    std::string BaseClass;
    TObjectSummary Summary;
    TContextCopy Context;
    bool ContainersOnly = false;
    std::string Spare;
    TClientBuf Buffer;
    TNWClient* Client = nullptr; // the client that holds Context and Buffer

    // Frees the list's context copy and buffer, if any.
    void Release() {
        Buffer.Free();
        Context.Free();
    }
};

// Information items
NWCCODE U_DSGetObjectItem(TNWClient* client, NWHandle ctx, const std::string& name, uint32_t item,
                          std::string& text);
NWCCODE U_DSGetBaseClass(TNWClient* client, NWHandle ctx, const std::string& name,
                         std::string& text);
// Reads one information item of many objects, as U_DSGetObjectItem does for one: the context copy
// with its flags and the buffer are set up by the first read and serve every later one, so that a
// loop over many names asks the client three things per name instead of a dozen. The copies are
// of the context as it was at the first read; a setup that fails is tried again by the next read.
class TDSItemReader {
public:
    TDSItemReader(TNWClient* client, NWHandle ctx, uint32_t item);
    NWCCODE Read(const std::string& name, std::string& text);

private:
    NWCCODE Setup();

    TNWClient* FClient;
    NWHandle FContext;
    uint32_t FItem;
    TContextCopy FNames; // the caller's context, with canonical typeless names
    TContextCopy FItems; // the same at the top, asking for the item
    std::string FNameContext;
    TClientBuf FBuf;
    bool FReady = false;
};

NWCCODE U_DSGetRDN(TNWClient* client, NWHandle ctx, const std::string& name, std::string& text);
NWCCODE U_DSGetDN(TNWClient* client, NWHandle ctx, const std::string& name, std::string& text);
NWCCODE U_DSGetParentDN(TNWClient* client, NWHandle ctx, const std::string& name,
                        std::string& text);
// One time item (DSI_CREATION_TIME or DSI_MODIFICATION_TIME) as seconds since 1970.
NWCCODE U_DSGetTimeItem(TNWClient* client, NWHandle ctx, const std::string& name, uint32_t item,
                        uint32_t& seconds);
// Date-time values; 0 when unreadable.
double U_DSGetCreationTime(TNWClient* client, NWHandle ctx, const std::string& name);
double U_DSGetModificationTime(TNWClient* client, NWHandle ctx, const std::string& name);

// One object
NWCCODE U_DSReadObject(TNWClient* client, NWHandle ctx, const std::string& name, TNDSObj& obj);
bool U_DSObjectExists(TNWClient* client, NWHandle ctx, const std::string& name, TNDSObj& obj,
                      NWCCODE* code = nullptr);
bool U_DSIsContainer(TNWClient* client, NWHandle ctx, const std::string& name);
bool U_DSIsLeaf(TNWClient* client, NWHandle ctx, const std::string& name);
bool U_DSClassMatches(const std::string& filter, const std::string& className);

// Lists: U_DSListNext returns -1 at the end.
NWCCODE U_DSListFirst(TNWClient* client, NWHandle ctx, const std::string& container,
                      bool containersOnly, TNDSObj& obj);
NWCCODE U_DSListNext(TNDSObj& obj);
// containers / objects may be null.
NWCCODE U_DSListContainer(TNWClient* client, NWHandle ctx, const std::string& container,
                          TStringList* containers, bool withClass, const std::string& classFilter,
                          TStringList* objects);
// kind 0: every object, 1: containers only, 2: leaves only.
NWCCODE U_DSListTree(TNWClient* client, NWHandle ctx, const std::string& container,
                     TStringList& list, bool recursive, bool withClass,
                     const std::string& classFilter, int kind);

// Attributes. Each value is handed to sink with the context it was read under (null value for a
// stream attribute, whose content is read through that context); a sink's non-zero code ends the
// read and is returned. Formatting the values into lines is the business of src/attrinfo.
using TAttrValueSink = std::function<NWCCODE(
    NWHandle readCtx, uint32_t syntax, const TAttrValue* value, uint32_t size, uint32_t number)>;
NWCCODE U_DSReadAttrValues(TNWClient* client, NWHandle ctx, const std::string& object,
                           const std::string& attr, const TAttrValueSink& sink);

// Names of IDs and users
NWCCODE U_DSMapIDToName(TNWClient* client, NWHandle ctx, NWHandle conn, uint32_t id,
                        std::string& name);
NWCCODE U_DSMapIDToNameOnConn(TNWClient* client, NWHandle conn, uint32_t id, std::string& name);
NWCCODE U_GetObjectNameByID(TNWClient* client, NWHandle conn, uint32_t id, std::string& name);
std::string U_GetConnUserName(TNWClient* client, NWHandle conn);
std::string U_DSCurrentUser(TNWClient* client, NWHandle ctx);
std::string U_DSDefaultContext(TNWClient* client, NWHandle ctx);

// Rights: attr defaults to "[Entry Rights]", subject to the current user; letters "[n/a]" and
// rights 0 on failure.
NWCCODE U_DSEntryRights(TNWClient* client, NWHandle ctx, const std::string& subject,
                        const std::string& object, const std::string& attr, std::string& letters,
                        uint32_t& rights);

// File system. volPath is VOLUME:DIR\PATH.
NWCCODE U_NWGetTrustees(TNWClient* client, NWHandle ctx, NWHandle conn, const std::string& volPath,
                        TStringList& list);
NWCCODE U_NWGetDirEntryInfo(TNWClient* client, const std::string& path, TDirEntryInfo& info);
NWCCODE U_NWGetVolumeDN(TNWClient* client, NWHandle ctx, NWHandle conn, uint32_t volumeNumber,
                        std::string& name);
NWCCODE U_DSGetServerDN(TNWClient* client, NWHandle conn, NWHandle ctx, std::string& name);
NWCCODE U_DSListClasses(TNWClient* client, NWHandle ctx, TStringList& list);

} // namespace trovalen
