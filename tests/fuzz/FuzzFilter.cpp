// The search filter language over a client that records what it is asked: any filter text either
// runs or fails with a code, never leaves a buffer or filter behind, and an equality search hands
// its value to the client exactly as given.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "directory/DSFilter.h"
#include "directory/filter/RecordingClient.h"
#include "util/Platform.h"

using namespace trovalen;
using trovalen::testing::TRecordingClient;

namespace {

struct TAttr {
    const char* Name;
    uint32_t Syntax;
};

constexpr TAttr kAttributes[] = {
    {"a", SYN_CI_STRING},
    {"dn", SYN_DIST_NAME},
    {"Object Class", SYN_CLASS_NAME},
    {"Security Equals", SYN_DIST_NAME},
    {"n", SYN_INTEGER},
    {"c", SYN_COUNTER},
    {"i", SYN_INTERVAL},
    {"b", SYN_BOOLEAN},
    {"o", SYN_OCTET_STRING},
    {"p", SYN_PATH},
    {"acl", SYN_OBJECT_ACL},
    {"t", SYN_TIME},
    {"ts", SYN_TIMESTAMP},
    {"tn", SYN_TYPED_NAME},
    {"l", SYN_CI_LIST},
    {"e", SYN_EMAIL_ADDRESS},
    {"f", SYN_FAX_NUMBER},
    {"tel", SYN_TEL_NUMBER},
    {"x", SYN_NET_ADDRESS},
    {"s", SYN_STREAM},
    {"u", SYN_UNKNOWN},
};

std::shared_ptr<TRecordingClient> MakeClient() {
    auto client = std::make_shared<TRecordingClient>();
    for (const TAttr& a : kAttributes)
        client->SetSyntax(a.Name, a.Syntax);
    client->Batches = {{"A.ORG", "B.ORG"}, {"C.ORG"}};
    return client;
}

bool IsStringSyntax(uint32_t syntax) {
    return (syntax >= SYN_DIST_NAME && syntax <= SYN_NU_STRING) || syntax == SYN_TEL_NUMBER ||
           syntax == SYN_CLASS_NAME;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        TUiHooks hooks;
        hooks.MessageBox = [](TMsgKind, const std::string&, const std::string&) {};
        U_SetUiHooks(hooks);
        return true;
    }();
    (void)quiet;

    FuzzedDataProvider in(data, size);
    int mode = in.ConsumeIntegralInRange(0, 2);
    auto client = MakeClient();
    TStringList found;

    if (mode == 0) {
        std::string filter = in.ConsumeRemainingBytesAsString();
        TStringList lines = U_DSNormalizeFilter(filter);
        (void)lines;
        NWCCODE code = U_DSFilteredSearch(client.get(), 1, "ORG", filter, found, DS_SEARCH_SUBTREE);
        FUZZ_CHECK(code != NW_OK || found.Count() == 3);
    } else if (mode == 1) {
        uint32_t syntax = in.ConsumeIntegralInRange<uint32_t>(0, SYN_COUNT + 2);
        std::string text = in.ConsumeRemainingBytesAsString();
        TAttrValue value;
        NWCCODE code = U_DSFilterValue(syntax, text, value);
        FUZZ_CHECK(code == NW_OK || code == ERR_NOT_CONVERTIBLE ||
                   code == ERR_SYNTAX_NOT_FILTERABLE);
        if (code == NW_OK && IsStringSyntax(syntax)) {
            const auto* s = std::get_if<TValString>(&value.Data);
            FUZZ_CHECK(s != nullptr && s->Text == text);
        }
    } else {
        const TAttr& attr = kAttributes[in.ConsumeIntegralInRange<size_t>(
            0, sizeof kAttributes / sizeof kAttributes[0] - 1)];
        std::string value = in.ConsumeRemainingBytesAsString();
        NWCCODE code =
            U_DSSearchEqual(client.get(), 1, "ORG", attr.Name, value, found, DS_SEARCH_SUBTREE);
        bool plainString = IsStringSyntax(attr.Syntax) && value.find('\0') == std::string::npos &&
                           value.size() < 2047 && !U_SameText(attr.Name, "Name");
        if (plainString) {
            // The value reaches the client as it stands, whatever characters it holds.
            FUZZ_CHECK(code == NW_OK);
            bool seen = false;
            for (const auto& t : client->Tokens)
                if (t.Token == FTOK_AVAL) {
                    const auto* s = std::get_if<TValString>(&t.Value.Data);
                    seen = s != nullptr && s->Text == value;
                }
            FUZZ_CHECK(seen);
        }
    }
    // Every buffer and filter of the search is given back.
    FUZZ_CHECK(client->OpenBuffers.empty());
    FUZZ_CHECK(client->OpenFilters.empty());
    return 0;
}
