// ACL value texts and rights letters: parsing never fails, and a value the program writes itself
// reads back as written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include "model/RightsModel.h"

using namespace trovalen;

namespace {

uint32_t FamilyBits(TRightsType family) {
    switch (family) {
    case rtFileSystem:
        return FS_ALL_RIGHTS & ~FS_OPEN;
    case rtEntry:
        return 0x1F | DS_INHERIT_CTL;
    default:
        return DS_ATTR_ALL_RIGHTS | DS_INHERIT_CTL;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view whole(reinterpret_cast<const char*>(data), size);

    // The whole input as one ACL value and as rights letters of each family.
    TACL acl = U_ParseACL(whole);
    (void)U_ACLRightsText(whole);
    (void)U_ACLSubject(whole);
    (void)U_IRMScope(whole);
    for (TRightsType family : {rtFileSystem, rtEntry, rtAttribute}) {
        uint32_t mask = U_StrToRights(whole, family);
        (void)U_RightsToStr(mask, family);
        (void)U_IsInheritable(mask, family);
        (void)U_AddImpliedRights(mask, family);
    }
    TACL target = acl;
    U_ApplyIRM(acl, target);
    FUZZ_CHECK(target.Rights.size() == acl.Rights.size());

    FuzzedDataProvider in(data, size);
    std::string subject = in.ConsumeRandomLengthString(256);
    std::string attr = in.ConsumeRandomLengthString(256);
    uint32_t mask = in.ConsumeIntegral<uint32_t>();
    std::string rest = in.ConsumeRemainingBytesAsString();

    // Letters written for a mask read back as that mask, within the family's rights.
    for (TRightsType family : {rtFileSystem, rtEntry, rtAttribute}) {
        uint32_t bits = mask & FamilyBits(family);
        FUZZ_CHECK(U_StrToRights(U_RightsToStr(bits, family), family) == bits);
    }

    // A value the program formats parses back into its parts, unless the separator " / " shows
    // up before the real one (the split is on its first occurrence) or the attribute name is
    // quoted.
    std::string text = U_FormatACL(mask, subject, attr);
    TACL parsed = U_ParseACL(text);
    bool plain = ("] " + subject + " / ").find(" / ") == subject.size() + 2 &&
                 (attr.empty() || (attr.front() != '"' && attr.back() != '"'));
    if (plain) {
        FUZZ_CHECK(parsed.Subject == subject);
        FUZZ_CHECK(parsed.AttrName == attr);
        FUZZ_CHECK(parsed.Privileges == (mask & FamilyBits(U_RightsTypeOfAttr(attr))));
    }

    // Comparison: equal texts are equal, and the result is always one of -1, 0, 1.
    int r = U_CompareACL(text, rest);
    FUZZ_CHECK(r >= -1 && r <= 1);
    FUZZ_CHECK(U_CompareACL(rest, rest) == 0);
    r = U_CompareDottedNames(subject, rest);
    FUZZ_CHECK(r >= -1 && r <= 1);
    (void)U_SameRightsLetters(subject, rest);
    TACL merged = parsed;
    (void)U_MergeACL(merged, U_ParseACL(rest));
    return 0;
}
