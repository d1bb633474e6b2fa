// The one interface through which the program reaches the directory, the connections and the
// file servers. Every operation answers a completion code (0 = success; callers keep the low 16
// bits). Contexts, buffers, filters, streams and connections are 32-bit handles into the client;
// an iteration handle starts at -1 and is -1 on return when nothing is left.
//
// The interface only reads: it has no operation that changes the directory or a server.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace trovalen {

using NWCCODE = int32_t;
using NWHandle = int32_t;

// --- Completion codes ---------------------------------------------------------------------------

constexpr NWCCODE NW_OK = 0;
constexpr NWCCODE ERR_END_OF_LIST = -1;             // 0xFFFF
constexpr NWCCODE ERR_STREAM_READ = 30;             // a stream could not be read
constexpr NWCCODE ERR_NO_SUCH_ENTRY = -601;         // 0xFDA7
constexpr NWCCODE ERR_NO_SUCH_VALUE = -602;         // 0xFDA6
constexpr NWCCODE ERR_NO_SUCH_ATTRIBUTE = -603;     // 0xFDA5
constexpr NWCCODE ERR_NO_SUCH_CLASS = -604;         // 0xFDA4
constexpr NWCCODE ERR_NOT_CONTAINER = -611;         // 0xFD9D
constexpr NWCCODE ERR_NO_ACCESS = -672;             // 0xFD60
constexpr NWCCODE ERR_INVALID_HANDLE = -322;        // 0xFEBE
constexpr NWCCODE ERR_BUFFER_FULL = -304;           // 0xFED0
constexpr NWCCODE ERR_BUFFER_EMPTY = -307;          // 0xFECD
constexpr NWCCODE ERR_BAD_VERB = -308;              // 0xFECC
constexpr NWCCODE ERR_INVALID_OBJECT_NAME = -314;   // 0xFEC6
constexpr NWCCODE ERR_CONTEXT_CREATION = -328;      // 0xFEB8
constexpr NWCCODE ERR_INVALID_FILTER = -326;        // 0xFEBA (the program's own filter check)
constexpr NWCCODE ERR_NOT_CONVERTIBLE = -702;       // 0xFD42 value not convertible for its syntax
constexpr NWCCODE ERR_SYNTAX_NOT_FILTERABLE = -623; // 0xFD91
constexpr NWCCODE ERR_NOT_FOUND = -156;             // 0xFF64 directory or object does not exist
constexpr NWCCODE ERR_NOT_AUTHENTICATED = -669;     // 0xFD63
// The server has no effective-rights computation of its own ("The server cannot compute
// effective rights"): the analysis skips the checks that compare with it.
constexpr NWCCODE ERR_RIGHTS_NOT_COMPUTED = -680; // 0xFD58
constexpr char kRightsNotComputedText[] = "The server cannot compute effective rights";
constexpr NWCCODE ERR_CLIENT_NOT_STARTED = 0xFFFF;
constexpr NWCCODE ERR_NO_CONNECTION = 0x880F;
constexpr NWCCODE ERR_INVALID_CONNECTION = 0x8801;
constexpr NWCCODE ERR_INVALID_PATH = 0x899C; // also: no more trustees
constexpr NWCCODE ERR_NO_MORE_TRUSTEES = 0x899C;
constexpr NWCCODE ERR_NO_MORE_ENTRIES = 0x89FF;
constexpr NWCCODE ERR_VOLUME_NOT_FOUND = 0x8998;
constexpr NWCCODE ERR_NO_SUCH_OBJECT = 0x89FC;
// What a file-server operation answers on a client without a file-server part.
constexpr NWCCODE ERR_NO_FILE_SERVER = ERR_NO_CONNECTION;

constexpr NWHandle NO_CONNECTION = 999;

// --- Context keys and flags ---------------------------------------------------------------------

constexpr uint32_t DCK_FLAGS = 1;
constexpr uint32_t DCK_CONFIDENCE = 2;
constexpr uint32_t DCK_NAME_CONTEXT = 3;
constexpr uint32_t DCK_TREE_NAME = 11;
constexpr uint32_t DCK_DSI_FLAGS = 12;

constexpr uint32_t DCV_DEREF_ALIASES = 0x01;
constexpr uint32_t DCV_TYPELESS_NAMES = 0x04;
constexpr uint32_t DCV_CANONICALIZE_NAMES = 0x10;

// Object information items (DCK_DSI_FLAGS bits).
constexpr uint32_t DSI_MODIFICATION_TIME = 0x20;
constexpr uint32_t DSI_CREATION_TIME = 0x40;
constexpr uint32_t DSI_BASE_CLASS = 0x800;
constexpr uint32_t DSI_RDN = 0x1000;
constexpr uint32_t DSI_DN = 0x2000;
constexpr uint32_t DSI_PARENT_DN = 0x8000;

// Buffer operations for InitBuf.
constexpr uint32_t DSV_READ = 3;
constexpr uint32_t DSV_READ_CLASS_DEF = 15;
constexpr uint32_t DSV_SEARCH_FILTER = 28;

constexpr uint32_t DEFAULT_MESSAGE_LEN = 4096;
constexpr uint32_t MAX_MESSAGE_LEN = 64512;

// Object summary flags.
constexpr uint32_t DS_CONTAINER_ENTRY = 0x04;
constexpr uint32_t DS_ALIAS_ENTRY = 0x01;

// Search scopes.
constexpr int DS_SEARCH_ENTRY = 0;
constexpr int DS_SEARCH_SUBORDINATES = 1;
constexpr int DS_SEARCH_SUBTREE = 2;

// Filter tokens.
constexpr uint32_t FTOK_END = 0;
constexpr uint32_t FTOK_OR = 1;
constexpr uint32_t FTOK_AND = 2;
constexpr uint32_t FTOK_NOT = 3;
constexpr uint32_t FTOK_LPAREN = 4;
constexpr uint32_t FTOK_RPAREN = 5;
constexpr uint32_t FTOK_AVAL = 6;
constexpr uint32_t FTOK_EQ = 7;
constexpr uint32_t FTOK_GE = 8;
constexpr uint32_t FTOK_LE = 9;
constexpr uint32_t FTOK_APPROX = 10;
constexpr uint32_t FTOK_ANAME = 14;
constexpr uint32_t FTOK_PRESENT = 15;
constexpr uint32_t FTOK_RDN = 16;
constexpr uint32_t FTOK_BASECLS = 17;

// Connection information items.
constexpr uint32_t NWCC_INFO_CONN_REF = 3;
constexpr uint32_t NWCC_INFO_TREE_NAME = 4;
constexpr uint32_t NWCC_INFO_USER_ID = 6;
constexpr uint32_t NWCC_INFO_SERVER_NAME = 7;
constexpr uint32_t NWCC_INFO_DS_NAMES = 8;

// Directory-entry attribute masks.
constexpr uint32_t SA_SUBDIR_ALL = 0x16; // subdirectories, hidden and system included
constexpr uint32_t SA_FILES_ALL = 0x06;  // files, hidden and system included

// --- Attribute syntaxes and values --------------------------------------------------------------

enum TSyntax : uint32_t {
    SYN_UNKNOWN = 0,
    SYN_DIST_NAME = 1,
    SYN_CE_STRING = 2,
    SYN_CI_STRING = 3,
    SYN_PR_STRING = 4,
    SYN_NU_STRING = 5,
    SYN_CI_LIST = 6,
    SYN_BOOLEAN = 7,
    SYN_INTEGER = 8,
    SYN_OCTET_STRING = 9,
    SYN_TEL_NUMBER = 10,
    SYN_FAX_NUMBER = 11,
    SYN_NET_ADDRESS = 12,
    SYN_OCTET_LIST = 13,
    SYN_EMAIL_ADDRESS = 14,
    SYN_PATH = 15,
    SYN_REPLICA_POINTER = 16,
    SYN_OBJECT_ACL = 17,
    SYN_PO_ADDRESS = 18,
    SYN_TIMESTAMP = 19,
    SYN_CLASS_NAME = 20,
    SYN_STREAM = 21,
    SYN_COUNTER = 22,
    SYN_BACK_LINK = 23,
    SYN_TIME = 24,
    SYN_TYPED_NAME = 25,
    SYN_HOLD = 26,
    SYN_INTERVAL = 27,
    SYN_COUNT = 28,
};

// Every value carries exactly the fields the program reads of it. Strings hold UTF-8 text;
// octet data and addresses hold raw bytes.
struct TValString { // 1-5, 10, 20: the string
    std::string Text;
};
struct TValCIList { // 6
    std::vector<std::string> Items;
};
struct TValBoolean { // 7
    uint8_t Value = 0;
};
struct TValInteger { // 8, 22
    int32_t Value = 0;
};
struct TValOctetString { // 9
    std::string Data;
};
struct TValFax { // 11
    std::string TelephoneNumber;
};
struct TValNetAddress { // 12
    uint32_t AddressType = 0;
    std::string Address;
};
struct TValOctetList { // 13
    std::vector<std::string> Items;
};
struct TValEMail { // 14
    uint32_t Type = 0;
    std::string Address;
};
struct TValPath { // 15
    uint32_t NameSpaceType = 0;
    std::string VolumeName;
    std::string Path;
};
struct TValReplicaPointer { // 16
    std::string ServerName;
    uint32_t ReplicaType = 0;
    uint32_t ReplicaNumber = 0;
};
struct TValObjectACL { // 17
    std::string ProtectedAttrName;
    std::string SubjectName;
    uint32_t Privileges = 0;
};
struct TValPostalAddress { // 18
    // Always six lines. Held apart from the value so that every value of every other syntax
    // stays small: six strings in place would make each value three times its size.
    std::vector<std::string> Lines = std::vector<std::string>(6);
};
struct TValTimestamp { // 19
    uint32_t WholeSeconds = 0;
    uint16_t ReplicaNum = 0;
    uint16_t EventID = 0;
};
struct TValStream { // 21: the content is read through OpenAttrStream
};
struct TValBackLink { // 23
    uint32_t RemoteID = 0;
    std::string ObjectName;
};
struct TValTime { // 24
    uint32_t Seconds = 0;
};
struct TValTypedName { // 25
    std::string ObjectName;
    uint32_t Level = 0;
    uint32_t Interval = 0;
};
struct TValHold { // 26
    std::string ObjectName;
    uint32_t Amount = 0;
};
struct TValInterval { // 27
    uint32_t Seconds = 0;
};
struct TValUnknown { // 0
    std::string AttrName;
    uint32_t Syntax = 0;
    std::string Value; // value length = Value.size()
};
struct TValRaw { // 28 and above: the bytes as they stand
    std::string Bytes;
};

using TAttrValueData =
    std::variant<TValString, TValCIList, TValBoolean, TValInteger, TValOctetString, TValFax,
                 TValNetAddress, TValOctetList, TValEMail, TValPath, TValReplicaPointer,
                 TValObjectACL, TValPostalAddress, TValTimestamp, TValStream, TValBackLink,
                 TValTime, TValTypedName, TValHold, TValInterval, TValUnknown, TValRaw>;

struct TAttrValue {
    uint32_t Syntax = SYN_UNKNOWN;
    TAttrValueData Data;
};

// --- Records ------------------------------------------------------------------------------------

struct TObjectSummary {
    uint32_t Flags = 0; // DS_CONTAINER_ENTRY
    uint32_t SubordinateCount = 0;
    uint32_t ModificationTime = 0;
    std::string ClassName; // base class
};

// One object information item: times are numbers, names are text.
struct TObjectItem {
    uint32_t Number = 0;
    std::string Text;
};

struct TClassDef {
    std::string Name;
    uint32_t Flags = 0; // bit 0x01 container class, 0x02 effective, 0x04 non-removable...
};

struct TTrusteeEntry {
    uint32_t ObjectID = 0;
    uint16_t Rights = 0;
};

struct TVolumeInfo {
    std::string Name;
    uint32_t VolumeObjectID = 0; // byte 124 of the client's record
};

struct TDirEntryInfo {
    std::string Name;    // up to 15 characters
    double DateTime = 0; // days since 1899-12-30
    uint32_t OwnerID = 0;
    uint8_t RightsMask = 0; // the directory's inherited rights mask
};

struct TDirEntry {
    uint16_t Sequence = 0;
    std::string Name;
    uint32_t Attributes = 0;
};

// The file-server part of a client: paths, volumes, directory entries and the trustees of files
// and directories. A client that reaches no file server has none (TNWClient::FileServer).
class TNWFileServer {
public:
    virtual ~TNWFileServer() = default;

    // Splits a UNC path, a path under the mount root or SERVER/VOLUME:PATH.
    virtual NWCCODE ParsePath(const std::string& path, std::string& server, NWHandle& conn,
                              std::string& volume, std::string& dirPath) = 0;
    virtual NWCCODE VolumeNumber(NWHandle conn, const std::string& volume, uint32_t& number) = 0;
    virtual NWCCODE VolumeInfo(NWHandle conn, uint32_t number, TVolumeInfo& info) = 0;
    virtual NWCCODE BinderyObjectName(NWHandle conn, uint32_t id, std::string& name,
                                      uint16_t& type) = 0;
    // At most 20 entries per call; iteration starts at 0. Ends with ERR_NO_MORE_TRUSTEES.
    virtual NWCCODE PathTrustees(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                                 uint32_t& iteration, std::vector<TTrusteeEntry>& entries) = 0;
    virtual NWCCODE DirEntryInfo(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                                 TDirEntryInfo& info) = 0;
    virtual NWCCODE StartDirSearch(NWHandle conn, uint8_t dirHandle, const std::string& volPath,
                                   uint8_t& searchDir, uint16_t& dirNumber) = 0;
    // sequence starts at 0xFFFF; the entry's own sequence comes back in entry.Sequence.
    virtual NWCCODE NextDirEntry(NWHandle conn, uint8_t searchDir, uint16_t dirNumber,
                                 uint16_t sequence, uint32_t attrMask, const std::string& pattern,
                                 TDirEntry& entry) = 0;
};

// --- The client ---------------------------------------------------------------------------------

// The directory part of a client, with its connections; the file servers it reaches, if any,
// through FileServer().
class TNWClient {
public:
    virtual ~TNWClient() = default;

    // The client's file servers; null when it reaches none (a directory read over LDAP has no
    // file server behind it).
    virtual TNWFileServer* FileServer() { return nullptr; }

    // Start-up and error texts
    virtual NWCCODE ClientStartup() = 0;
    // The client's text for a code; "Unknown error" when it knows none.
    virtual std::string ErrorText(NWCCODE code) = 0;

    // What the client met and could not hand on since the last call, in words: a name it cannot
    // represent, a value out of its syntax. The caller that reads on the client's answers takes
    // them, so that nothing the directory holds is left out without a word.
    virtual std::vector<std::string> TakeProblems() { return {}; }
    // Why the client can no longer answer for the whole directory (its connection was lost, or a
    // server limit cut a read short); empty while it can. Once set it stays set: a reader stops.
    virtual std::string BrokenReason() const { return {}; }
    // What the client says once of the directory it serves, whatever is read: a part it cannot
    // read at all (over LDAP the ACL of [Root], where the server offers none), in words.
    virtual std::vector<std::string> Notes() const { return {}; }

    // Read-ahead hints. A client whose every read is a round trip to a server may answer the
    // reads that follow a hint from what it read ahead in a few requests; one that reads from
    // memory ignores them. A hint never changes an answer: what was read ahead answers exactly
    // as the read itself would, and what the read-ahead could not read is read again when asked.
    // Both answer NW_OK when they read nothing ahead.
    //
    // What a hint read ahead serves the reads made through ctx and through the contexts copied
    // from ctx after the hint, until ctx is freed; a later hint of the same kind on ctx replaces
    // it. A reader that wants it gone when its run ends (a tree walk) gives the hint on a
    // context of its own and frees that context at the end.
    //
    // The objects below base (base itself included, at any depth) are about to be read: their
    // ACLs, inherited rights masks, equivalences and memberships, and their lists of
    // subordinates.
    virtual NWCCODE PrefetchSubtree(NWHandle ctx, const std::string& base) {
        (void)ctx;
        (void)base;
        return NW_OK;
    }
    // Whether the hints do anything here: a client that reads nothing ahead says no, and callers
    // need not gather what they would name.
    virtual bool ReadsAhead() const { return false; }
    // These objects are about to be read (their class and equivalences), and who names each of
    // them in "Security Equals" is about to be searched.
    virtual NWCCODE PrefetchObjects(NWHandle ctx, const std::vector<std::string>& names) {
        (void)ctx;
        (void)names;
        return NW_OK;
    }

    // Contexts
    virtual NWCCODE NewContext(NWHandle& ctx) = 0;
    virtual NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) = 0;
    virtual NWCCODE FreeContext(NWHandle ctx) = 0;
    virtual NWCCODE GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) = 0;
    virtual NWCCODE GetContextValue(NWHandle ctx, uint32_t key, std::string& value) = 0;
    virtual NWCCODE SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) = 0;
    virtual NWCCODE SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) = 0;

    // Names
    virtual NWCCODE CurrentUserDN(NWHandle ctx, std::string& name) = 0;
    virtual NWCCODE AbbreviateName(NWHandle ctx, const std::string& name, std::string& out) = 0;
    virtual NWCCODE MapIDToName(NWHandle ctx, NWHandle conn, uint32_t id, std::string& name) = 0;
    virtual NWCCODE ServerDN(NWHandle ctx, NWHandle conn, std::string& name) = 0;

    // Objects
    virtual NWCCODE ReadObjectSummary(NWHandle ctx, const std::string& name, std::string& dn,
                                      TObjectSummary& summary) = 0;
    // Reads the items selected by the context's DCK_DSI_FLAGS into buf.
    virtual NWCCODE ReadObjectItems(NWHandle ctx, const std::string& name, uint32_t size,
                                    NWHandle buf) = 0;
    virtual NWCCODE ObjectItem(NWHandle ctx, NWHandle buf, uint32_t size, uint32_t item,
                               TObjectItem& out) = 0;

    // Buffers
    virtual NWCCODE AllocBuf(uint32_t size, NWHandle& buf) = 0;
    virtual NWCCODE InitBuf(NWHandle ctx, uint32_t operation, NWHandle buf) = 0;
    virtual NWCCODE FreeBuf(NWHandle buf) = 0;

    // Attributes
    virtual NWCCODE PutAttrName(NWHandle ctx, NWHandle buf, const std::string& attr) = 0;
    // infoType 1 = names and values; allAttrs false = the names in request.
    virtual NWCCODE ReadAttributes(NWHandle ctx, const std::string& object, uint32_t infoType,
                                   bool allAttrs, NWHandle request, int32_t& iteration,
                                   NWHandle result) = 0;
    virtual NWCCODE AttrCount(NWHandle ctx, NWHandle buf, uint32_t& count) = 0;
    virtual NWCCODE NextAttr(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& valueCount,
                             uint32_t& syntax) = 0;
    virtual NWCCODE AttrValueSize(NWHandle ctx, NWHandle buf, uint32_t syntax, uint32_t& size) = 0;
    virtual NWCCODE NextAttrValue(NWHandle ctx, NWHandle buf, uint32_t syntax,
                                  TAttrValue& value) = 0;
    virtual NWCCODE OpenAttrStream(NWHandle ctx, const std::string& object, const std::string& attr,
                                   uint32_t flags, NWHandle& file) = 0;
    // Reads up to max bytes from an open stream into data.
    virtual NWCCODE ReadStream(NWHandle file, uint32_t max, std::string& data) = 0;
    virtual NWCCODE CloseStream(NWHandle file) = 0;

    // Lists
    virtual NWCCODE ListSubordinates(NWHandle ctx, const std::string& container, int32_t& iteration,
                                     NWHandle result) = 0;
    virtual NWCCODE ListContainers(NWHandle ctx, const std::string& container, int32_t& iteration,
                                   NWHandle result) = 0;
    virtual NWCCODE ObjectCount(NWHandle ctx, NWHandle buf, uint32_t& count) = 0;
    virtual NWCCODE NextObject(NWHandle ctx, NWHandle buf, std::string& name, uint32_t& attrCount,
                               TObjectSummary& summary) = 0;
    virtual NWCCODE ReadClassDefs(NWHandle ctx, uint32_t infoType, bool allClasses,
                                  NWHandle request, int32_t& iteration, NWHandle result) = 0;
    virtual NWCCODE ClassDefCount(NWHandle ctx, NWHandle buf, uint32_t& count) = 0;
    virtual NWCCODE NextClassDef(NWHandle ctx, NWHandle buf, TClassDef& def) = 0;

    // Search
    virtual NWCCODE NewFilter(NWHandle ctx, NWHandle& filter) = 0;
    // value is the comparison value as a record of the attribute's syntax (FTOK_AVAL) or the
    // attribute name as text (FTOK_ANAME); other tokens carry no value.
    virtual NWCCODE AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                                   uint32_t syntax) = 0;
    virtual NWCCODE AttrSyntax(NWHandle ctx, const std::string& attr, uint32_t& syntax) = 0;
    // Moves the filter into buf (the filter handle is consumed even on failure).
    virtual NWCCODE PutFilter(NWHandle ctx, NWHandle buf, NWHandle filter) = 0;
    virtual NWCCODE FreeFilter(NWHandle filter) = 0;
    // Results are read with ObjectCount and NextObject; at most maxPerCall objects per call.
    virtual NWCCODE SearchObjects(NWHandle ctx, const std::string& base, int scope,
                                  NWHandle filterBuf, bool namesOnly, int32_t& iteration,
                                  uint32_t maxPerCall, uint32_t& count, NWHandle result) = 0;

    // Rights
    virtual NWCCODE EntryEffectiveRights(NWHandle ctx, const std::string& subject,
                                         const std::string& object, const std::string& attr,
                                         uint32_t& rights) = 0;

    // Connections
    // iterator starts at 0; non-zero code when no connection is left.
    virtual NWCCODE EnumConnRefs(uint32_t& iterator, uint32_t& ref) = 0;
    virtual NWCCODE PrimaryConnRef(uint32_t& ref) = 0;
    virtual NWCCODE OpenConnByRef(uint32_t ref, uint32_t mode, uint32_t flags, NWHandle& conn) = 0;
    virtual NWCCODE CloseConn(NWHandle conn) = 0;
    // Items 4 (tree, "_"-padded to 32 characters) and 7 (server).
    virtual NWCCODE ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) = 0;
    // Item 4 (tree) as text.
    virtual NWCCODE ConnInfo(NWHandle conn, uint32_t item, std::string& text) = 0;
    // Items 3 (connection reference), 6 (logged-in object ID), 8 (non-zero = directory names).
    virtual NWCCODE ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) = 0;
};

} // namespace trovalen
