// The one base of the test doubles of the client: every operation of the directory part and of
// the file-server part answers Unsupported(name), ERR_BAD_VERB unless a double says otherwise
// (a recording double notes the call there). A double overrides only what its test drives.
#pragma once

#include <string>
#include <vector>

#include "model/NWClient.h"

namespace trovalen::testing {

class TStubClient : public TNWClient, public TNWFileServer {
public:
    TNWFileServer* FileServer() override { return this; }

    NWCCODE ClientStartup() override { return Unsupported("ClientStartup"); }
    std::string ErrorText(NWCCODE) override { return "Unknown error"; }

    NWCCODE NewContext(NWHandle&) override { return Unsupported("NewContext"); }
    NWCCODE CopyContext(NWHandle, NWHandle&) override { return Unsupported("CopyContext"); }
    NWCCODE FreeContext(NWHandle) override { return Unsupported("FreeContext"); }
    NWCCODE GetContextValue(NWHandle, uint32_t, uint32_t&) override {
        return Unsupported("GetContextValue");
    }
    NWCCODE GetContextValue(NWHandle, uint32_t, std::string&) override {
        return Unsupported("GetContextValue");
    }
    NWCCODE SetContextValue(NWHandle, uint32_t, uint32_t) override {
        return Unsupported("SetContextValue");
    }
    NWCCODE SetContextValue(NWHandle, uint32_t, const std::string&) override {
        return Unsupported("SetContextValue");
    }

    NWCCODE CurrentUserDN(NWHandle, std::string&) override { return Unsupported("CurrentUserDN"); }
    NWCCODE AbbreviateName(NWHandle, const std::string&, std::string&) override {
        return Unsupported("AbbreviateName");
    }
    NWCCODE MapIDToName(NWHandle, NWHandle, uint32_t, std::string&) override {
        return Unsupported("MapIDToName");
    }
    NWCCODE ServerDN(NWHandle, NWHandle, std::string&) override { return Unsupported("ServerDN"); }

    NWCCODE ReadObjectSummary(NWHandle, const std::string&, std::string&,
                              TObjectSummary&) override {
        return Unsupported("ReadObjectSummary");
    }
    NWCCODE ReadObjectItems(NWHandle, const std::string&, uint32_t, NWHandle) override {
        return Unsupported("ReadObjectItems");
    }
    NWCCODE ObjectItem(NWHandle, NWHandle, uint32_t, uint32_t, TObjectItem&) override {
        return Unsupported("ObjectItem");
    }

    NWCCODE AllocBuf(uint32_t, NWHandle&) override { return Unsupported("AllocBuf"); }
    NWCCODE InitBuf(NWHandle, uint32_t, NWHandle) override { return Unsupported("InitBuf"); }
    NWCCODE FreeBuf(NWHandle) override { return Unsupported("FreeBuf"); }

    NWCCODE PutAttrName(NWHandle, NWHandle, const std::string&) override {
        return Unsupported("PutAttrName");
    }
    NWCCODE ReadAttributes(NWHandle, const std::string&, uint32_t, bool, NWHandle, int32_t&,
                           NWHandle) override {
        return Unsupported("ReadAttributes");
    }
    NWCCODE AttrCount(NWHandle, NWHandle, uint32_t&) override { return Unsupported("AttrCount"); }
    NWCCODE NextAttr(NWHandle, NWHandle, std::string&, uint32_t&, uint32_t&) override {
        return Unsupported("NextAttr");
    }
    NWCCODE AttrValueSize(NWHandle, NWHandle, uint32_t, uint32_t&) override {
        return Unsupported("AttrValueSize");
    }
    NWCCODE NextAttrValue(NWHandle, NWHandle, uint32_t, TAttrValue&) override {
        return Unsupported("NextAttrValue");
    }
    NWCCODE OpenAttrStream(NWHandle, const std::string&, const std::string&, uint32_t,
                           NWHandle&) override {
        return Unsupported("OpenAttrStream");
    }
    NWCCODE ReadStream(NWHandle, uint32_t, std::string&) override {
        return Unsupported("ReadStream");
    }
    NWCCODE CloseStream(NWHandle) override { return Unsupported("CloseStream"); }

    NWCCODE ListSubordinates(NWHandle, const std::string&, int32_t&, NWHandle) override {
        return Unsupported("ListSubordinates");
    }
    NWCCODE ListContainers(NWHandle, const std::string&, int32_t&, NWHandle) override {
        return Unsupported("ListContainers");
    }
    NWCCODE ObjectCount(NWHandle, NWHandle, uint32_t&) override {
        return Unsupported("ObjectCount");
    }
    NWCCODE NextObject(NWHandle, NWHandle, std::string&, uint32_t&, TObjectSummary&) override {
        return Unsupported("NextObject");
    }
    NWCCODE ReadClassDefs(NWHandle, uint32_t, bool, NWHandle, int32_t&, NWHandle) override {
        return Unsupported("ReadClassDefs");
    }
    NWCCODE ClassDefCount(NWHandle, NWHandle, uint32_t&) override {
        return Unsupported("ClassDefCount");
    }
    NWCCODE NextClassDef(NWHandle, NWHandle, TClassDef&) override {
        return Unsupported("NextClassDef");
    }

    NWCCODE NewFilter(NWHandle, NWHandle&) override { return Unsupported("NewFilter"); }
    NWCCODE AddFilterToken(NWHandle, uint32_t, const TAttrValue*, uint32_t) override {
        return Unsupported("AddFilterToken");
    }
    NWCCODE AttrSyntax(NWHandle, const std::string&, uint32_t&) override {
        return Unsupported("AttrSyntax");
    }
    NWCCODE PutFilter(NWHandle, NWHandle, NWHandle) override { return Unsupported("PutFilter"); }
    NWCCODE FreeFilter(NWHandle) override { return Unsupported("FreeFilter"); }
    NWCCODE SearchObjects(NWHandle, const std::string&, int, NWHandle, bool, int32_t&, uint32_t,
                          uint32_t&, NWHandle) override {
        return Unsupported("SearchObjects");
    }

    NWCCODE EntryEffectiveRights(NWHandle, const std::string&, const std::string&,
                                 const std::string&, uint32_t&) override {
        return Unsupported("EntryEffectiveRights");
    }

    NWCCODE EnumConnRefs(uint32_t&, uint32_t&) override { return Unsupported("EnumConnRefs"); }
    NWCCODE PrimaryConnRef(uint32_t&) override { return Unsupported("PrimaryConnRef"); }
    NWCCODE OpenConnByRef(uint32_t, uint32_t, uint32_t, NWHandle&) override {
        return Unsupported("OpenConnByRef");
    }
    NWCCODE CloseConn(NWHandle) override { return Unsupported("CloseConn"); }
    NWCCODE ConnRefInfo(uint32_t, uint32_t, std::string&) override {
        return Unsupported("ConnRefInfo");
    }
    NWCCODE ConnInfo(NWHandle, uint32_t, std::string&) override { return Unsupported("ConnInfo"); }
    NWCCODE ConnInfo(NWHandle, uint32_t, uint32_t&) override { return Unsupported("ConnInfo"); }

    // The file-server part.
    NWCCODE ParsePath(const std::string&, std::string&, NWHandle&, std::string&,
                      std::string&) override {
        return Unsupported("ParsePath");
    }
    NWCCODE VolumeNumber(NWHandle, const std::string&, uint32_t&) override {
        return Unsupported("VolumeNumber");
    }
    NWCCODE VolumeInfo(NWHandle, uint32_t, TVolumeInfo&) override {
        return Unsupported("VolumeInfo");
    }
    NWCCODE BinderyObjectName(NWHandle, uint32_t, std::string&, uint16_t&) override {
        return Unsupported("BinderyObjectName");
    }
    NWCCODE PathTrustees(NWHandle, uint8_t, const std::string&, uint32_t&,
                         std::vector<TTrusteeEntry>&) override {
        return Unsupported("PathTrustees");
    }
    NWCCODE DirEntryInfo(NWHandle, uint8_t, const std::string&, TDirEntryInfo&) override {
        return Unsupported("DirEntryInfo");
    }
    NWCCODE StartDirSearch(NWHandle, uint8_t, const std::string&, uint8_t&, uint16_t&) override {
        return Unsupported("StartDirSearch");
    }
    NWCCODE NextDirEntry(NWHandle, uint8_t, uint16_t, uint16_t, uint32_t, const std::string&,
                         TDirEntry&) override {
        return Unsupported("NextDirEntry");
    }

protected:
    // What every operation the double does not override answers.
    virtual NWCCODE Unsupported(const char* /*operation*/) { return ERR_BAD_VERB; }
};

} // namespace trovalen::testing
