// A test double of the client interface that records what the directory layer asks of it: every
// call by name, every filter token with its value, the buffers, filters and context copies that are
// still held. Searches answer from scripted batches; contexts keep their keys in a map. Every
// operation not scripted is recorded and answers ERR_BAD_VERB (the stub base).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/StubClient.h"
#include "util/Util.h"

namespace trovalen::testing {

struct TRecordedToken {
    uint32_t Token = 0;
    uint32_t Syntax = 0;
    bool HasValue = false;
    TAttrValue Value;
};

class TRecordingClient : public TStubClient {
public:
    // --- what was asked -----------------------------------------------------------------------
    std::vector<std::string> Calls;
    std::vector<TRecordedToken> Tokens;
    std::set<NWHandle> OpenBuffers;
    std::set<NWHandle> OpenFilters;
    std::set<NWHandle> OpenContexts; // copies and new contexts not yet freed
    int FiltersPut = 0;
    int FiltersFreed = 0;
    std::vector<std::string> SearchBases;
    std::vector<int> SearchScopes;

    // --- how to answer ------------------------------------------------------------------------
    std::map<std::string, uint32_t> Syntaxes; // attribute name (upper case) -> syntax
    std::vector<std::vector<std::string>> Batches;
    NWCCODE SearchFailsAtBatch = -1; // index of the batch whose call fails
    NWCCODE SearchFailCode = ERR_NO_ACCESS;
    std::string NextObjectFailsFor; // a name whose NextObject fails
    NWCCODE PutFilterCode = NW_OK;
    NWCCODE AddTokenCode = NW_OK;

    void SetSyntax(const std::string& attr, uint32_t syntax) {
        Syntaxes[U_UpperCase(attr)] = syntax;
    }

    // The tokens written compactly: "4 14(Title/3) 7 6(x/3) 5 0". Values that are not text are
    // shown by syntax only.
    std::string TokenText() const {
        std::string out;
        for (const TRecordedToken& t : Tokens) {
            if (!out.empty())
                out += ' ';
            out += std::to_string(t.Token);
            if (t.HasValue) {
                out += '(';
                if (const auto* s = std::get_if<TValString>(&t.Value.Data))
                    out += s->Text;
                else
                    out += "#";
                out += '/' + std::to_string(t.Syntax) + ')';
            }
        }
        return out;
    }

    bool Called(const std::string& name) const {
        for (const std::string& c : Calls)
            if (c == name)
                return true;
        return false;
    }

    // --- start-up and error texts --------------------------------------------------------------
    NWCCODE ClientStartup() override { return Rec("ClientStartup", NW_OK); }

    // --- contexts -----------------------------------------------------------------------------
    std::map<NWHandle, std::map<uint32_t, uint32_t>> CtxNumbers;
    std::map<NWHandle, std::map<uint32_t, std::string>> CtxTexts;
    NWHandle NextHandle = 1000;

    NWCCODE NewContext(NWHandle& ctx) override {
        ctx = NextHandle++;
        OpenContexts.insert(ctx);
        return Rec("NewContext", NW_OK);
    }
    NWCCODE CopyContext(NWHandle ctx, NWHandle& copy) override {
        copy = NextHandle++;
        CtxNumbers[copy] = CtxNumbers[ctx];
        CtxTexts[copy] = CtxTexts[ctx];
        OpenContexts.insert(copy);
        return Rec("CopyContext", NW_OK);
    }
    NWCCODE FreeContext(NWHandle ctx) override {
        OpenContexts.erase(ctx);
        return Rec("FreeContext", NW_OK);
    }
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, uint32_t& value) override {
        value = CtxNumbers[ctx][key];
        return Rec("GetContextValue", NW_OK);
    }
    NWCCODE GetContextValue(NWHandle ctx, uint32_t key, std::string& value) override {
        value = CtxTexts[ctx][key];
        return Rec("GetContextValue", NW_OK);
    }
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, uint32_t value) override {
        CtxNumbers[ctx][key] = value;
        return Rec("SetContextValue", NW_OK);
    }
    NWCCODE SetContextValue(NWHandle ctx, uint32_t key, const std::string& value) override {
        CtxTexts[ctx][key] = value;
        return Rec("SetContextValue", NW_OK);
    }

    // --- buffers --------------------------------------------------------------------------------
    NWCCODE AllocBuf(uint32_t, NWHandle& buf) override {
        buf = NextHandle++;
        OpenBuffers.insert(buf);
        return Rec("AllocBuf", NW_OK);
    }
    NWCCODE InitBuf(NWHandle, uint32_t, NWHandle) override { return Rec("InitBuf", NW_OK); }
    NWCCODE FreeBuf(NWHandle buf) override {
        OpenBuffers.erase(buf);
        return Rec("FreeBuf", NW_OK);
    }

    // --- lists ----------------------------------------------------------------------------------
    NWCCODE ObjectCount(NWHandle, NWHandle, uint32_t& count) override {
        count = static_cast<uint32_t>(Current.size());
        Taken = 0;
        return Rec("ObjectCount", NW_OK);
    }
    NWCCODE NextObject(NWHandle, NWHandle, std::string& name, uint32_t& attrCount,
                       TObjectSummary&) override {
        attrCount = 0;
        if (Taken >= Current.size())
            return Rec("NextObject", ERR_BUFFER_EMPTY);
        name = Current[Taken++];
        if (!NextObjectFailsFor.empty() && name == NextObjectFailsFor) {
            name.clear();
            return Rec("NextObject", ERR_BUFFER_EMPTY);
        }
        return Rec("NextObject", NW_OK);
    }

    // --- search ---------------------------------------------------------------------------------
    NWCCODE NewFilter(NWHandle, NWHandle& filter) override {
        filter = NextHandle++;
        OpenFilters.insert(filter);
        return Rec("NewFilter", NW_OK);
    }
    NWCCODE AddFilterToken(NWHandle filter, uint32_t token, const TAttrValue* value,
                           uint32_t syntax) override {
        if (OpenFilters.count(filter) == 0)
            return Rec("AddFilterToken", ERR_INVALID_HANDLE);
        TRecordedToken t;
        t.Token = token;
        t.Syntax = syntax;
        if (value != nullptr) {
            t.HasValue = true;
            t.Value = *value;
        }
        Tokens.push_back(t);
        return Rec("AddFilterToken", AddTokenCode);
    }
    NWCCODE AttrSyntax(NWHandle, const std::string& attr, uint32_t& syntax) override {
        auto it = Syntaxes.find(U_UpperCase(attr));
        if (it == Syntaxes.end())
            return Rec("AttrSyntax", ERR_NO_SUCH_ATTRIBUTE);
        syntax = it->second;
        return Rec("AttrSyntax", NW_OK);
    }
    NWCCODE PutFilter(NWHandle, NWHandle, NWHandle filter) override {
        OpenFilters.erase(filter);
        ++FiltersPut;
        return Rec("PutFilter", PutFilterCode);
    }
    NWCCODE FreeFilter(NWHandle filter) override {
        OpenFilters.erase(filter);
        ++FiltersFreed;
        return Rec("FreeFilter", NW_OK);
    }
    NWCCODE SearchObjects(NWHandle, const std::string& base, int scope, NWHandle, bool,
                          int32_t& iteration, uint32_t maxPerCall, uint32_t& count,
                          NWHandle) override {
        SearchBases.push_back(base);
        SearchScopes.push_back(scope);
        size_t index = iteration == -1 ? 0 : static_cast<size_t>(iteration);
        if (static_cast<NWCCODE>(index) == SearchFailsAtBatch)
            return Rec("SearchObjects", SearchFailCode);
        Current = index < Batches.size() ? Batches[index] : std::vector<std::string>{};
        if (Current.size() > maxPerCall)
            Current.resize(maxPerCall);
        count = static_cast<uint32_t>(Current.size());
        iteration = index + 1 < Batches.size() ? static_cast<int32_t>(index + 1) : -1;
        return Rec("SearchObjects", NW_OK);
    }

protected:
    NWCCODE Unsupported(const char* operation) override { return Rec(operation); }
    NWCCODE Rec(const std::string& name, NWCCODE code = ERR_BAD_VERB) {
        Calls.push_back(name);
        return code;
    }

private:
    std::vector<std::string> Current;
    size_t Taken = 0;
};

} // namespace trovalen::testing
