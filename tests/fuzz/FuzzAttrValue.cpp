// Attribute values of every syntax, the decoded octet strings and the AOT streams: whatever the
// bytes, each decoder comes back with text and reads nothing outside the value.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "attrinfo/AttrInfo.h"
#include "directory/DSNames.h"
#include "directory/DSValues.h"
#include "directory/filter/RecordingClient.h"

using namespace trovalen;

namespace {

// Serves one stream whose bytes the input gives, in pieces of the size the reader asks for.
class TStreamClient : public trovalen::testing::TRecordingClient {
public:
    std::string Stream;
    size_t Offset = 0;
    bool Open = false;

    NWCCODE OpenAttrStream(NWHandle, const std::string&, const std::string&, uint32_t,
                           NWHandle& file) override {
        file = 77;
        Offset = 0;
        Open = true;
        return Rec("OpenAttrStream", NW_OK);
    }
    NWCCODE ReadStream(NWHandle, uint32_t max, std::string& data) override {
        size_t n = std::min<size_t>(max, Stream.size() - Offset);
        data = Stream.substr(Offset, n);
        Offset += n;
        return Rec("ReadStream", NW_OK);
    }
    NWCCODE CloseStream(NWHandle) override {
        Open = false;
        return Rec("CloseStream", NW_OK);
    }
};

// Every decoded octet attribute, the AOT stream attributes, and names that get neither.
const std::vector<std::string>& Attributes() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n = U_DecodedOctetAttributes();
        for (const char* extra : {"App:Macros", "App:Copy Files", "App:Inventory",
                                  "App:Program Groups", "Login Script", "Anything Else"})
            n.push_back(extra);
        return n;
    }();
    return names;
}

TAttrValue ValueOf(uint32_t syntax, FuzzedDataProvider& in) {
    TAttrValue v;
    v.Syntax = syntax;
    auto text = [&] { return in.ConsumeRandomLengthString(300); };
    auto number = [&] { return in.ConsumeIntegral<uint32_t>(); };
    switch (syntax) {
    case SYN_DIST_NAME:
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
    case SYN_CLASS_NAME:
        v.Data = TValString{text()};
        break;
    case SYN_CI_LIST:
    case SYN_OCTET_LIST: {
        std::vector<std::string> items(in.ConsumeIntegralInRange(0, 4));
        for (auto& item : items)
            item = text();
        if (syntax == SYN_CI_LIST)
            v.Data = TValCIList{items};
        else
            v.Data = TValOctetList{items};
        break;
    }
    case SYN_BOOLEAN:
        v.Data = TValBoolean{in.ConsumeIntegral<uint8_t>()};
        break;
    case SYN_INTEGER:
    case SYN_COUNTER:
        v.Data = TValInteger{in.ConsumeIntegral<int32_t>()};
        break;
    case SYN_OCTET_STRING:
        v.Data = TValOctetString{text()};
        break;
    case SYN_FAX_NUMBER:
        v.Data = TValFax{text()};
        break;
    case SYN_NET_ADDRESS:
        v.Data = TValNetAddress{number(), text()};
        break;
    case SYN_EMAIL_ADDRESS:
        v.Data = TValEMail{number(), text()};
        break;
    case SYN_PATH:
        v.Data = TValPath{number(), text(), text()};
        break;
    case SYN_REPLICA_POINTER:
        v.Data = TValReplicaPointer{text(), number(), number()};
        break;
    case SYN_OBJECT_ACL:
        v.Data = TValObjectACL{text(), text(), number()};
        break;
    case SYN_PO_ADDRESS: {
        TValPostalAddress p;
        for (auto& line : p.Lines)
            line = text();
        v.Data = p;
        break;
    }
    case SYN_TIMESTAMP:
        v.Data =
            TValTimestamp{number(), in.ConsumeIntegral<uint16_t>(), in.ConsumeIntegral<uint16_t>()};
        break;
    case SYN_STREAM:
        v.Data = TValStream{};
        break;
    case SYN_BACK_LINK:
        v.Data = TValBackLink{number(), text()};
        break;
    case SYN_TIME:
        v.Data = TValTime{number()};
        break;
    case SYN_TYPED_NAME:
        v.Data = TValTypedName{text(), number(), number()};
        break;
    case SYN_HOLD:
        v.Data = TValHold{text(), number()};
        break;
    case SYN_INTERVAL:
        v.Data = TValInterval{number()};
        break;
    case SYN_UNKNOWN:
        v.Data = TValUnknown{text(), number(), text()};
        break;
    default:
        v.Data = TValRaw{text()};
        break;
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string attr =
        Attributes()[in.ConsumeIntegralInRange<size_t>(0, Attributes().size() - 1)];
    int mode = in.ConsumeIntegralInRange(0, 3);

    if (mode == 0) {
        // One octet value through its decoder.
        uint32_t number = in.ConsumeIntegralInRange<uint32_t>(0, 3);
        std::string octet = in.ConsumeRemainingBytesAsString();
        // Only a layout that is one string may show as nothing, when that string is empty.
        static const std::vector<std::string> oneString = {
            "App:GUID",           "App:Drive Mappings",
            "App:Parameters",     "App:Path",
            "App:Version String", "App:Working Directory",
            "bhObjectGUID",       "DirXML-EntitlementResult",
            "ZEN:INV Disk Info",  "rbsTaskRights",
            "FW0 USER ADD"};
        FUZZ_CHECK(!U_FormatOctetValue(octet, attr, number).empty() || octet.empty() ||
                   std::find(oneString.begin(), oneString.end(), attr) != oneString.end());
    } else if (mode == 1) {
        // A stream as the client serves it, with or without the AOT head.
        bool aot = in.ConsumeBool();
        auto client = std::make_shared<TStreamClient>();
        client->Stream =
            (aot ? std::string("AOT FILE") : std::string()) + in.ConsumeRemainingBytesAsString();
        TStringList lines;
        TAttrValue value;
        value.Syntax = SYN_STREAM;
        value.Data = TValStream{};
        (void)U_FormatAttrValue(client.get(), 1, ".X.ORG", attr, lines, value, 0, 1);
        FUZZ_CHECK(!client->Open);
        std::string text;
        (void)U_StreamValueText(client.get(), 1, ".X.ORG", attr, text);
        // A record string over its limit raises an error that the readers show as the value's
        // text; nothing else may escape.
        try {
            (void)U_AOTStreamText(client->Stream, attr);
        } catch (const std::runtime_error& e) {
            FUZZ_CHECK(std::string(e.what()).find("AOT record string") == 0);
        }
    } else if (mode == 2) {
        // A value of any syntax.
        uint32_t syntax = in.ConsumeIntegralInRange<uint32_t>(0, SYN_COUNT + 1);
        TAttrValue value = ValueOf(syntax, in);
        TStringList lines;
        auto client = std::make_shared<TStreamClient>();
        client->Stream = in.ConsumeRemainingBytesAsString();
        (void)U_FormatAttrValue(client.get(), 1, ".X.ORG", attr, lines, value,
                                static_cast<uint32_t>(size), 1);
    } else {
        // Network addresses, wide strings and the small value texts.
        uint32_t type = in.ConsumeIntegralInRange<uint32_t>(0, 16);
        bool withType = in.ConsumeBool();
        size_t offset = in.ConsumeIntegralInRange<size_t>(0, 64);
        uint32_t number = in.ConsumeIntegral<uint32_t>();
        std::string bytes = in.ConsumeRemainingBytesAsString();
        (void)U_NetAddressText(type, bytes, withType);
        (void)U_WideToStr(bytes, offset);
        (void)U_ReplicaStateText(number);
        (void)U_ReplicaTypeText(number);
        (void)U_UnixTimeText(number, withType);
        double x = 0;
        uint32_t seconds = 0;
        if (U_TextToDateTime(bytes, x))
            (void)U_DateTimeToUnix(true, x, seconds);
    }
    return 0;
}
