// A small in-memory stand-in for the NetWare client: connections, contexts, parsed paths,
// directory entries, streams and error texts, each filled in by the test that needs it. Every
// operation that a test does not set up answers ERR_BAD_VERB (the stub base).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/StubClient.h"

namespace trovalen::testing {

class FakeClient : public TStubClient {
public:
    struct Conn {
        std::string Tree; // as the client reports it, padding included
        std::string Server;
        uint32_t DSNames = 1;
    };
    struct ParsedPath {
        std::string Server;
        NWHandle Conn = 0;
        std::string Volume;
        std::string DirPath;
    };
    struct Context {
        uint32_t Flags = 0;
        std::string NameContext;
        std::string Tree;
    };

    // Connection references are positions in Conns plus 1; handles are references plus 100.
    std::vector<Conn> Conns;
    uint32_t PrimaryRef = 0; // 0: no primary connection
    NWCCODE StartupCode = NW_OK;
    int OpenCalls = 0;
    std::map<NWCCODE, std::string> ErrorTexts;
    std::map<NWHandle, Context> Contexts;
    std::vector<std::pair<uint32_t, std::string>> ContextWrites; // key, value as text
    std::map<std::string, std::string> Abbreviations;
    std::map<std::string, ParsedPath> Paths;
    // Directory entries of a volume path (VOLUME:DIR), in order.
    std::map<std::string, std::vector<std::string>> DirEntries;
    // Stream contents by attribute name; a missing one fails to open.
    std::map<std::string, std::string> Streams;
    NWCCODE StreamReadCode = NW_OK;
    int OpenStreams = 0;

    NWCCODE ClientStartup() override { return StartupCode; }
    std::string ErrorText(NWCCODE code) override {
        auto it = ErrorTexts.find(code);
        return it == ErrorTexts.end() ? "Unknown error" : it->second;
    }

    NWCCODE NewContext(NWHandle& ctx) override {
        ctx = static_cast<NWHandle>(Contexts.size() + 1);
        Contexts[ctx];
        return NW_OK;
    }
    NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) override {
        NWCCODE code = NewContext(copy);
        Contexts[copy] = Contexts[ctx];
        return code;
    }
    NWCCODE FreeContext(NWHandle ctx) override { return Contexts.erase(ctx) ? NW_OK : Bad(); }
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) override {
        auto it = Contexts.find(ctx);
        if (it == Contexts.end() || key != DCK_FLAGS)
            return ERR_INVALID_HANDLE;
        value = it->second.Flags;
        return NW_OK;
    }
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, std::string& value) override {
        auto it = Contexts.find(ctx);
        if (it == Contexts.end())
            return ERR_INVALID_HANDLE;
        if (key == DCK_NAME_CONTEXT)
            value = it->second.NameContext;
        else if (key == DCK_TREE_NAME)
            value = it->second.Tree;
        else
            return Bad();
        return NW_OK;
    }
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) override {
        auto it = Contexts.find(ctx);
        if (it == Contexts.end() || key != DCK_FLAGS)
            return ERR_INVALID_HANDLE;
        ContextWrites.emplace_back(key, std::to_string(value));
        it->second.Flags = value;
        return NW_OK;
    }
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) override {
        auto it = Contexts.find(ctx);
        if (it == Contexts.end())
            return ERR_INVALID_HANDLE;
        ContextWrites.emplace_back(key, value);
        if (key == DCK_NAME_CONTEXT)
            it->second.NameContext = value;
        else if (key == DCK_TREE_NAME)
            it->second.Tree = value;
        else
            return Bad();
        return NW_OK;
    }

    NWCCODE AbbreviateName(NWHandle, const std::string& name, std::string& out) override {
        auto it = Abbreviations.find(name);
        if (it == Abbreviations.end())
            return ERR_INVALID_OBJECT_NAME;
        out = it->second;
        return NW_OK;
    }

    NWCCODE OpenAttrStream(NWHandle, const std::string&, const std::string& attr, uint32_t,
                           NWHandle& file) override {
        auto it = Streams.find(attr);
        if (it == Streams.end())
            return ERR_NO_SUCH_ATTRIBUTE;
        openStream = it->second;
        ++OpenStreams;
        file = 77;
        return NW_OK;
    }
    NWCCODE ReadStream(NWHandle file, uint32_t max, std::string& data) override {
        if (file != 77)
            return ERR_INVALID_HANDLE;
        if (StreamReadCode != NW_OK)
            return StreamReadCode;
        data = openStream.substr(0, max);
        return NW_OK;
    }
    NWCCODE CloseStream(NWHandle file) override {
        if (file != 77)
            return ERR_INVALID_HANDLE;
        --OpenStreams;
        return NW_OK;
    }

    NWCCODE EnumConnRefs(uint32_t& iterator, uint32_t& ref) override {
        if (iterator >= Conns.size())
            return ERR_NO_MORE_ENTRIES;
        ref = ++iterator;
        return NW_OK;
    }
    NWCCODE PrimaryConnRef(uint32_t& ref) override {
        if (PrimaryRef == 0)
            return ERR_NO_CONNECTION;
        ref = PrimaryRef;
        return NW_OK;
    }
    NWCCODE OpenConnByRef(uint32_t ref, uint32_t, uint32_t, NWHandle& conn) override {
        ++OpenCalls;
        if (ref == 0 || ref > Conns.size())
            return ERR_INVALID_CONNECTION;
        conn = static_cast<NWHandle>(ref + 100);
        return NW_OK;
    }
    NWCCODE CloseConn(NWHandle) override { return NW_OK; }
    NWCCODE ConnRefInfo(uint32_t ref, uint32_t item, std::string& text) override {
        const Conn* c = ByRef(ref);
        if (c == nullptr)
            return ERR_INVALID_CONNECTION;
        if (item == NWCC_INFO_TREE_NAME)
            text = c->Tree;
        else if (item == NWCC_INFO_SERVER_NAME)
            text = c->Server;
        else
            return Bad();
        return NW_OK;
    }
    NWCCODE ConnInfo(NWHandle conn, uint32_t item, std::string& text) override {
        return ConnRefInfo(static_cast<uint32_t>(conn - 100), item, text);
    }
    NWCCODE ConnInfo(NWHandle conn, uint32_t item, uint32_t& value) override {
        const Conn* c = ByRef(static_cast<uint32_t>(conn - 100));
        if (c == nullptr)
            return ERR_INVALID_CONNECTION;
        if (item == NWCC_INFO_CONN_REF)
            value = static_cast<uint32_t>(conn - 100);
        else if (item == NWCC_INFO_DS_NAMES)
            value = c->DSNames;
        else
            return Bad();
        return NW_OK;
    }

    NWCCODE ParsePath(const std::string& path, std::string& server, NWHandle& conn,
                      std::string& volume, std::string& dirPath) override {
        auto it = Paths.find(path);
        if (it == Paths.end())
            return ERR_INVALID_PATH;
        server = it->second.Server;
        conn = it->second.Conn;
        volume = it->second.Volume;
        dirPath = it->second.DirPath;
        return NW_OK;
    }
    NWCCODE StartDirSearch(NWHandle, uint8_t, const std::string& volPath, uint8_t& searchDir,
                           uint16_t& dirNumber) override {
        auto it = DirEntries.find(volPath);
        if (it == DirEntries.end())
            return ERR_INVALID_PATH;
        searchDir = 1;
        dirNumber = static_cast<uint16_t>(std::distance(DirEntries.begin(), it));
        return NW_OK;
    }
    // Sequence numbers are positions; 0xFFFF starts before the first entry.
    NWCCODE NextDirEntry(NWHandle, uint8_t, uint16_t dirNumber, uint16_t sequence, uint32_t,
                         const std::string&, TDirEntry& entry) override {
        auto it = std::next(DirEntries.begin(), dirNumber);
        size_t next = sequence == 0xFFFF ? 0 : size_t(sequence) + 1;
        if (next >= it->second.size())
            return ERR_NO_MORE_ENTRIES;
        entry.Sequence = static_cast<uint16_t>(next);
        entry.Name = it->second[next];
        return NW_OK;
    }

private:
    static NWCCODE Bad() { return ERR_BAD_VERB; }
    const Conn* ByRef(uint32_t ref) const {
        return ref >= 1 && ref <= Conns.size() ? &Conns[ref - 1] : nullptr;
    }
    std::string openStream;
};

} // namespace trovalen::testing
